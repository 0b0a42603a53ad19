#include "ui/PartsPage.h"

#include <limits>

#include "config/Settings.h"
#include "parts/PartsPaths.h"
#include "ui/CaptionColour.h"
#include "ui/EditBytes.h"
#include "ui/NumberFields.h"
#include "ui/PartsBrowserDialog.h"
#include "ui/PathDialog.h"
#include "ui_PartsPage.h"

PartsPage::PartsPage(Settings& settings, Dialogs& dialogs, QWidget* parent)
    : ConfigPage(parent), ui_(std::make_unique<Ui::PartsPage>()), settings_(settings), dialogs_(dialogs) {
    ui_->setupUi(this);
    UseCaptionColour(this);
    fullStop_ = {{{ui_->stopDownloadingRadio, 1}, {ui_->disablePartsRadio, 0}, {ui_->deleteOldestRadio, 2}}};
    SetEditBytes(ui_->partsDirEdit, settings.PartsDir);
    ui_->maxPartAgeEdit->setText(QString::number(settings.MaxPartAge));
    ui_->maxNumPartsEdit->setText(QString::number(settings.MaxNumParts));
    ui_->partsEnabledCheck->setChecked(settings.PartsEnabled != 0);
    for (auto [radio, value] : fullStop_) {
        radio->setChecked(settings.MultipartFullStop == value);
    }
    connect(ui_->partsDirBrowse, &QToolButton::clicked, this, &PartsPage::onBrowsePartsDir);
    connect(ui_->browsePartsButton, &QPushButton::clicked, this, &PartsPage::onBrowseParts);
}

PartsPage::~PartsPage() = default;

bool PartsPage::Validate() {
    return CheckInteger(ui_->maxPartAgeEdit, dialogs_) &&
           CheckInteger(ui_->maxNumPartsEdit, dialogs_, std::numeric_limits<int>::min(),
                        std::numeric_limits<int>::max());
}

bool PartsPage::Store() {
    settings_.MaxPartAge = IntegerIn(ui_->maxPartAgeEdit);
    settings_.MaxNumParts = static_cast<int>(IntegerIn(ui_->maxNumPartsEdit));
    settings_.PartsDir = WithTrailingSlash(EditBytes(ui_->partsDirEdit));
    settings_.PartsEnabled = ui_->partsEnabledCheck->isChecked() ? 1 : 0;
    // A value none of the buttons stands for stays as it was until one is chosen.
    for (auto [radio, value] : fullStop_) {
        if (radio->isChecked()) {
            settings_.MultipartFullStop = value;
        }
    }
    return true;
}

void PartsPage::onBrowsePartsDir() {
    BrowseForDirectory(ui_->partsDirEdit, dialogs_);
}

void PartsPage::onBrowseParts() {
    std::string typed = EditBytes(ui_->partsDirEdit);
    if (typed != settings_.PartsDir) {
        settings_.PartsDir = WithTrailingSlash(typed);
    }
    PartsBrowserDialog browser(settings_.PartsDir, settings_.MaxPartAge, dialogs_, this);
    browser.exec();
}
