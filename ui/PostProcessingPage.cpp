#include "ui/PostProcessingPage.h"

#include <QRegularExpression>

#include "config/Settings.h"
#include "ui/CaptionColour.h"
#include "ui/Dialogs.h"
#include "ui/EditBytes.h"
#include "ui_PostProcessingPage.h"

namespace {

// The command is shell syntax: a chosen program whose path holds blanks or other special characters is
// quoted so that it stays one word.
QString ShellWord(const QString& path) {
    static const QRegularExpression plain(R"(^[A-Za-z0-9_./,:+@%=-]+$)");
    if (plain.match(path).hasMatch()) {
        return path;
    }
    QString quoted = path;
    return "'" + quoted.replace("'", R"('\'')") + "'";
}

} // namespace

PostProcessingPage::PostProcessingPage(Settings& settings, Dialogs& dialogs, QWidget* parent)
    : ConfigPage(parent), ui_(std::make_unique<Ui::PostProcessingPage>()), settings_(settings),
      dialogs_(dialogs) {
    ui_->setupUi(this);
    UseCaptionColour(this);
    SetEditBytes(ui_->commandEdit, settings.PostProcessCommand);
    ui_->postProcessCheck->setChecked(settings.PostProcessEnabled != 0);
    connect(ui_->commandBrowse, &QToolButton::clicked, this, &PostProcessingPage::onBrowseCommand);
}

PostProcessingPage::~PostProcessingPage() = default;

bool PostProcessingPage::Store() {
    settings_.PostProcessCommand = EditBytes(ui_->commandEdit);
    settings_.PostProcessEnabled = ui_->postProcessCheck->isChecked() ? 1 : 0;
    return true;
}

// On Linux the command is a program or a shell script: no default suffix, since programs have none.
void PostProcessingPage::onBrowseCommand() {
    QString chosen = dialogs_.OpenFileName(this, ui_->commandEdit->text(), QString(),
                                           "Shell Scripts (*.sh);;All Files (*)");
    if (!chosen.isEmpty()) {
        ui_->commandEdit->setText(ShellWord(chosen));
    }
}
