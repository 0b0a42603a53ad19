#include "ui/HostDialog.h"

#include "config/Settings.h"
#include "ui/DisplayText.h"
#include "ui_HostDialog.h"

HostDialog::HostDialog(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::HostDialog>()) {
    ui_->setupUi(this);
}

HostDialog::~HostDialog() = default;

void HostDialog::ShowProperties(const ServerEntry& server) {
    QString address = DisplayText(server.Address);
    setWindowTitle("Properties for " + address);
    ui_->addressEdit->setText(address);
    ui_->addressEdit->setEnabled(false);
    ui_->userEdit->setText(QString::fromStdString(server.User));
    ui_->passwordEdit->setText(QString::fromStdString(server.Password));
}

QString HostDialog::Address() const {
    return ui_->addressEdit->text();
}

QString HostDialog::User() const {
    return ui_->userEdit->text();
}

QString HostDialog::Password() const {
    return ui_->passwordEdit->text();
}
