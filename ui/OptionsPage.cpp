#include "ui/OptionsPage.h"

#include "config/Settings.h"
#include "ui/CaptionColour.h"
#include "ui/NumberFields.h"
#include "ui_OptionsPage.h"

OptionsPage::OptionsPage(Settings& settings, Dialogs& dialogs, QWidget* parent)
    : ConfigPage(parent), ui_(std::make_unique<Ui::OptionsPage>()), settings_(settings), dialogs_(dialogs) {
    ui_->setupUi(this);
    UseCaptionColour(this);
    ui_->hideOnMinCheck->setChecked(settings.HideOnMin != 0);
    (settings.ViewAllFiles ? ui_->viewAllFilesRadio : ui_->viewNewFilesRadio)->setChecked(true);
    ui_->unattendedCheck->setChecked(settings.UnAttendedMode != 0);
    ui_->loopEdit->setText(QString::number(settings.NumLoops));
    ui_->waitEdit->setText(QString::number(settings.InterLoopWait));
}

OptionsPage::~OptionsPage() = default;

bool OptionsPage::Validate() {
    return CheckInteger(ui_->loopEdit, dialogs_) && CheckInteger(ui_->waitEdit, dialogs_);
}

bool OptionsPage::Store() {
    settings_.HideOnMin = ui_->hideOnMinCheck->isChecked() ? 1 : 0;
    settings_.ViewAllFiles = ui_->viewAllFilesRadio->isChecked() ? 1 : 0;
    settings_.UnAttendedMode = ui_->unattendedCheck->isChecked() ? 1 : 0;
    settings_.NumLoops = IntegerIn(ui_->loopEdit);
    settings_.InterLoopWait = IntegerIn(ui_->waitEdit);
    return true;
}
