#include "ui/AddGroupsDialog.h"

#include <QRegularExpressionValidator>

#include "ui/CaptionColour.h"
#include "ui/Dialogs.h"
#include "ui/DisplayText.h"
#include "ui/SelectGroupsDialog.h"
#include "ui/ServerGroups.h"
#include "ui_AddGroupsDialog.h"

AddGroupsDialog::AddGroupsDialog(QWidget* parent, const std::string& server, const Settings& settings,
                                 Dialogs& dialogs, std::string directory)
    : QDialog(parent), ui_(std::make_unique<Ui::AddGroupsDialog>()), server_(server), settings_(settings),
      dialogs_(dialogs), directory_(std::move(directory)) {
    ui_->setupUi(this);
    setWindowTitle(QString("Add new group(s) for %1").arg(DisplayText(server)));
    UseCaptionColour({ui_->groupsLabel, ui_->cullSizeLabel, ui_->nextArticleLabel, ui_->cullSizeUnit});
    ui_->cullSizeEdit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), this));
    ui_->nextArticleEdit->setValidator(new QRegularExpressionValidator(QRegularExpression("-?[0-9]*"), this));
    connect(ui_->browseButton, &QPushButton::clicked, this, &AddGroupsDialog::onBrowse);
}

AddGroupsDialog::~AddGroupsDialog() = default;

QString AddGroupsDialog::Groups() const {
    return ui_->groupsEdit->text();
}

long AddGroupsDialog::CullSize() const {
    return ui_->cullSizeEdit->text().toLong();
}

long AddGroupsDialog::NextArticle() const {
    return ui_->nextArticleEdit->text().toLong();
}

void AddGroupsDialog::onBrowse() {
    SelectGroupsDialog selection(this, server_, settings_, dialogs_, directory_);
    selection.exec();
    ui_->groupsEdit->setText(selection.Result());
}

void AddGroupsDialog::accept() {
    if (std::optional<std::string> included =
            FirstIncludedGroup(settings_, server_, ui_->groupsEdit->text().toStdString())) {
        dialogs_.Message(
            this, QString("%1 is already included for %2").arg(DisplayText(*included), DisplayText(server_)),
            "Spindrel", Dialogs::Icon::Warning);
        return;
    }
    QDialog::accept();
}
