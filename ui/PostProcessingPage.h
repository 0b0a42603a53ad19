#pragma once

#include <memory>

#include "ui/ConfigPage.h"

namespace Ui {
class PostProcessingPage;
}
class Dialogs;
struct Settings;

// "Post Processing": the command run on every new file and its switch.
class PostProcessingPage : public ConfigPage {
    Q_OBJECT

  public:
    PostProcessingPage(Settings& settings, Dialogs& dialogs, QWidget* parent = nullptr);
    ~PostProcessingPage() override;

    bool Store() override;

  public slots:
    void onBrowseCommand();

  private:
    std::unique_ptr<Ui::PostProcessingPage> ui_;
    Settings& settings_;
    Dialogs& dialogs_;
};
