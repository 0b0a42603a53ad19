#pragma once

#include <QDialog>

#include <memory>
#include <string>
#include <vector>

namespace Ui {
class SelectGroupsDialog;
}
class Dialogs;
class GroupLoader;
class GroupNameModel;
class QListView;
struct Settings;

// "Select News Groups": the groups a server carries (from its group-list file, filled by the loader thread)
// in the available list, the user's picks in the selected list, a filter over the available names and a
// Refresh that fetches the list from the server. Every action that replaces or abandons the available list
// cancels the loader first.
class SelectGroupsDialog : public QDialog {
    Q_OBJECT

  public:
    // `directory` holds the group-list files (the current directory when empty).
    SelectGroupsDialog(QWidget* parent, const std::string& server, const Settings& settings, Dialogs& dialogs,
                       std::string directory = {});
    ~SelectGroupsDialog() override;

    // Empty until OK; then the selected names joined by single blanks.
    const QString& Result() const { return result_; }

  public slots:
    void onAdd();
    void onRemove();
    void onFilter();
    void onRefresh();
    void accept() override;
    void reject() override;

  private:
    void Load();
    void AddLoadedNames(const QStringList& names);
    void ShowLoading(bool shown);
    void LoadEnded(bool fileFound);
    static QList<int> HighlightedRows(const QListView* list);

    std::unique_ptr<Ui::SelectGroupsDialog> ui_;
    std::string server_;
    Dialogs& dialogs_;
    std::string directory_;
    std::vector<std::string> configured_;
    std::string filter_;
    QString result_;
    GroupNameModel* available_;
    GroupNameModel* selected_;
    GroupLoader* loader_;
};
