#include "ui/DownloadPage.h"

#include "config/Settings.h"
#include "parts/PartsPaths.h"
#include "ui/CaptionColour.h"
#include "ui/Dialogs.h"
#include "ui/EditBytes.h"
#include "ui/NumberFields.h"
#include "ui/PathDialog.h"
#include "ui_DownloadPage.h"

namespace {

constexpr double kMinFreeSpace = 1.0;
constexpr double kMaxFreeSpace = 1000000.0;

} // namespace

DownloadPage::DownloadPage(Settings& settings, Dialogs& dialogs, QWidget* parent)
    : ConfigPage(parent), ui_(std::make_unique<Ui::DownloadPage>()), settings_(settings), dialogs_(dialogs) {
    ui_->setupUi(this);
    UseCaptionColour(this);
    SetEditBytes(ui_->outputDirEdit, settings.OutputDir);
    SetEditBytes(ui_->logFileEdit, settings.LogFile);
    ui_->maxDownloadEdit->setText(QString::number(settings.MaxDownloadSize));
    ui_->lineCullEdit->setText(QString::number(settings.LineCullAmount));
    ui_->loggingCheck->setChecked(settings.LoggingEnabled != 0);
    ui_->minFreeSpaceEdit->setText(NumberText(settings.MinFreeSpace));
    connect(ui_->outputDirBrowse, &QToolButton::clicked, this, &DownloadPage::onBrowseOutputDir);
    connect(ui_->logFileBrowse, &QToolButton::clicked, this, &DownloadPage::onBrowseLogFile);
}

DownloadPage::~DownloadPage() = default;

bool DownloadPage::Validate() {
    return CheckInteger(ui_->maxDownloadEdit, dialogs_) && CheckInteger(ui_->lineCullEdit, dialogs_) &&
           CheckNumberBetween(ui_->minFreeSpaceEdit, kMinFreeSpace, kMaxFreeSpace, dialogs_);
}

bool DownloadPage::Store() {
    settings_.OutputDir = WithTrailingSlash(EditBytes(ui_->outputDirEdit));
    settings_.LogFile = EditBytes(ui_->logFileEdit);
    settings_.MaxDownloadSize = IntegerIn(ui_->maxDownloadEdit);
    settings_.LineCullAmount = IntegerIn(ui_->lineCullEdit);
    settings_.LoggingEnabled = ui_->loggingCheck->isChecked() ? 1 : 0;
    settings_.MinFreeSpace = NumberIn(ui_->minFreeSpaceEdit);
    return true;
}

void DownloadPage::onBrowseOutputDir() {
    BrowseForDirectory(ui_->outputDirEdit, dialogs_);
}

void DownloadPage::onBrowseLogFile() {
    QString chosen = dialogs_.OpenFileName(this, ui_->logFileEdit->text(), ".log",
                                           "Log Files (*.log);;Text Files (*.txt);;All Files (*)");
    if (!chosen.isEmpty()) {
        ui_->logFileEdit->setText(chosen);
    }
}
