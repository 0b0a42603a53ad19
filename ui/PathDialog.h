#pragma once

#include <QDialog>

#include <memory>
#include <string>
#include <vector>

namespace Ui {
class PathDialog;
}
class Dialogs;
class QLineEdit;
class QTreeWidgetItem;

// "Path Selection": a volume selector, the directory tree of the chosen volume read as the user opens it, and
// the selected path, which the user may also type; a path that does not exist can be created on OK.
class PathDialog : public QDialog {
    Q_OBJECT

  public:
    // The tree's pictures, by position in its strip.
    enum Image { ComputerImage, ClosedFolderImage, OpenFolderImage, UnknownImage, VolumeImage };

    // Opens at `startPath`: empty means the current directory, a relative path is taken from there.
    PathDialog(const std::string& startPath, Dialogs& dialogs, QWidget* parent = nullptr);
    ~PathDialog() override;

    // After OK: the text of the path box as it stood.
    const std::string& SelectedPath() const { return selected_; }

    static Image ImageOf(const QTreeWidgetItem* item);
    // Whether the item's subdirectories have been read.
    static bool IsPopulated(const QTreeWidgetItem* item);

    void accept() override;

  protected:
    void showEvent(QShowEvent* event) override;

  public slots:
    void onVolumeChosen(int index);
    void onSelectionChanged();
    void onExpandedOrCollapsed(QTreeWidgetItem* item);
    void onDoubleClicked(QTreeWidgetItem* item);

  private:
    void FillVolumes(const std::string& start);
    QTreeWidgetItem* AddRoot(const std::string& root);
    void Walk(const std::string& start);
    void Populate(QTreeWidgetItem* item);
    // The item's full path, ending in "/".
    std::string PathOf(const QTreeWidgetItem* item) const;
    static void SetImage(QTreeWidgetItem* item, Image image);

    std::unique_ptr<Ui::PathDialog> ui_;
    Dialogs& dialogs_;
    std::vector<std::string> volumes_; // root paths, "/" first
    std::string selected_;
};

// Opens the path selection dialog at a field's text and puts the chosen path into the field.
void BrowseForDirectory(QLineEdit* field, Dialogs& dialogs);
