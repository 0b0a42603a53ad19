#pragma once

#include <QDialog>

#include <memory>
#include <string>

namespace Ui {
class AddGroupsDialog;
}
class Dialogs;
struct Settings;

// "Add new group(s) for %s": blank-separated group names (typed, or picked in "Select News Groups" behind
// "..."), a cull size and a next article number. OK refuses a name the server already has.
class AddGroupsDialog : public QDialog {
    Q_OBJECT

  public:
    // `directory` holds the group-list files (the current directory when empty).
    AddGroupsDialog(QWidget* parent, const std::string& server, const Settings& settings, Dialogs& dialogs,
                    std::string directory = {});
    ~AddGroupsDialog() override;

    QString Groups() const;
    long CullSize() const;
    long NextArticle() const;

  public slots:
    void onBrowse();
    void accept() override;

  private:
    std::unique_ptr<Ui::AddGroupsDialog> ui_;
    std::string server_;
    const Settings& settings_;
    Dialogs& dialogs_;
    std::string directory_;
};
