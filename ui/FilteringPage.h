#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/ConfigPage.h"

namespace Ui {
class FilteringPage;
}
class Dialogs;
class QListWidgetItem;
struct Settings;

// "Filtering": the filter file, its strings in a list to add to, replace in and delete from, and the switch.
// The list belongs to the loaded file; edits make it dirty until it is written.
class FilteringPage : public ConfigPage {
    Q_OBJECT

  public:
    FilteringPage(Settings& settings, Dialogs& dialogs, QWidget* parent = nullptr);
    ~FilteringPage() override;

    // Writes the list to the file named in the box; when that fails with changes unsaved, the sheet stays.
    bool Store() override;
    bool IsDirty() const { return dirty_; }

  public slots:
    void onBrowseFilterFile();
    void onSelectionChanged();
    void onEntryEdited();
    void onAdd();
    void onReplace();
    void onDelete();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // The file name box was left: a changed name loads that file. False when the user kept the loaded one.
    bool LeaveFileName();
    // Asks to save a dirty list before another file is loaded; true to go on.
    bool MayLeaveLoadedFile();
    void ChangeFile(const std::string& path);
    void Load(const std::string& path);
    bool WriteList(const std::string& path);
    std::vector<std::string> Strings() const;
    void Append(const std::string& text);
    void SelectOnly(QListWidgetItem* item);
    void Edited(QListWidgetItem* item);

    std::unique_ptr<Ui::FilteringPage> ui_;
    Settings& settings_;
    Dialogs& dialogs_;
    std::string loadedFile_;
    bool loadedUnreadable_ = false; // it exists but could not be read: never overwritten unasked
    bool dirty_ = false;
};
