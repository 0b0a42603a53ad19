#pragma once

#include <memory>

#include "ui/ConfigPage.h"

namespace Ui {
class OptionsPage;
}
class Dialogs;
struct Settings;

// "Options": hiding in the tray, which files the tree lists, and unattended mode with its loops and wait.
class OptionsPage : public ConfigPage {
    Q_OBJECT

  public:
    OptionsPage(Settings& settings, Dialogs& dialogs, QWidget* parent = nullptr);
    ~OptionsPage() override;

    bool Validate() override;
    bool Store() override;

  private:
    std::unique_ptr<Ui::OptionsPage> ui_;
    Settings& settings_;
    Dialogs& dialogs_;
};
