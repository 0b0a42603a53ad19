#pragma once

#include <memory>

#include "ui/ConfigPage.h"

namespace Ui {
class PriorityPage;
}
class Dialogs;
struct Settings;

// "Priority": the download threads' priority on a six-position slider and the bandwidth limit.
class PriorityPage : public ConfigPage {
    Q_OBJECT

  public:
    PriorityPage(Settings& settings, Dialogs& dialogs, QWidget* parent = nullptr);
    ~PriorityPage() override;

    bool Validate() override;
    bool Store() override;

  private:
    std::unique_ptr<Ui::PriorityPage> ui_;
    Settings& settings_;
    Dialogs& dialogs_;
};
