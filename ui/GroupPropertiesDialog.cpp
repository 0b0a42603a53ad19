#include "ui/GroupPropertiesDialog.h"

#include <QRegularExpressionValidator>

#include "config/Settings.h"
#include "ui/DisplayText.h"
#include "ui_GroupPropertiesDialog.h"

GroupPropertiesDialog::GroupPropertiesDialog(QWidget* parent, const GroupEntry& group)
    : QDialog(parent), ui_(std::make_unique<Ui::GroupPropertiesDialog>()) {
    ui_->setupUi(this);
    setWindowTitle(DisplayText(group.Name));
    auto* number = new QRegularExpressionValidator(QRegularExpression("-?[0-9]{1,18}"), this);
    ui_->cullSizeEdit->setValidator(number);
    ui_->nextArticleEdit->setValidator(number);
    ui_->cullSizeEdit->setText(QString::number(group.MinSizeK));
    ui_->nextArticleEdit->setText(QString::number(group.NextArticle));
    ui_->skippedCheck->setChecked(group.Skip != 0);
}

GroupPropertiesDialog::~GroupPropertiesDialog() = default;

void GroupPropertiesDialog::Apply(GroupEntry& group) const {
    group.MinSizeK = ui_->cullSizeEdit->text().toLong();
    group.NextArticle = ui_->nextArticleEdit->text().toLong();
    group.Skip = ui_->skippedCheck->isChecked() ? 1 : 0;
}
