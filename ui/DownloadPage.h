#pragma once

#include <memory>

#include "ui/ConfigPage.h"

namespace Ui {
class DownloadPage;
}
class Dialogs;
struct Settings;

// "Download": output path, log file, download limit, the stored cull amount, logging and the free-space
// limit.
class DownloadPage : public ConfigPage {
    Q_OBJECT

  public:
    DownloadPage(Settings& settings, Dialogs& dialogs, QWidget* parent = nullptr);
    ~DownloadPage() override;

    bool Validate() override;
    bool Store() override;

  public slots:
    void onBrowseOutputDir();
    void onBrowseLogFile();

  private:
    std::unique_ptr<Ui::DownloadPage> ui_;
    Settings& settings_;
    Dialogs& dialogs_;
};
