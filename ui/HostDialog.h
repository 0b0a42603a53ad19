#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class HostDialog;
}
struct ServerEntry;

// "Add Host for News Server", and the same form as a server's properties.
class HostDialog : public QDialog {
    Q_OBJECT

  public:
    explicit HostDialog(QWidget* parent);
    ~HostDialog() override;

    // The server's properties: captioned with its address, which is shown but cannot be changed.
    void ShowProperties(const ServerEntry& server);
    QString Address() const;
    QString User() const;
    QString Password() const;

  private:
    std::unique_ptr<Ui::HostDialog> ui_;
};
