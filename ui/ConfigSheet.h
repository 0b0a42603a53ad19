#pragma once

#include <QDialog>

#include <memory>
#include <vector>

namespace Ui {
class ConfigSheet;
}
class ConfigPage;
class Dialogs;
struct Settings;

// "Spindrel Properties": six pages on a copy of the settings, OK and Cancel, no Apply. OK checks every
// page's fields first, then lets each page store its controls into the copy.
class ConfigSheet : public QDialog {
    Q_OBJECT

  public:
    ConfigSheet(Settings& copy, Dialogs& dialogs, QWidget* parent = nullptr);
    ~ConfigSheet() override;

    void accept() override;

  protected:
    // Only the title bar's close button keeps the sheet's position.
    void closeEvent(QCloseEvent* event) override;

  private:
    std::unique_ptr<Ui::ConfigSheet> ui_;
    std::vector<ConfigPage*> pages_;
};
