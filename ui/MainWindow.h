#pragma once

#include <QElapsedTimer>
#include <QShortcut>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "config/Settings.h"
#include "ui/FileIcons.h"
#include "ui/QtEngineHost.h"
#include "ui/TreeLister.h"
#include "ui/WindowPlacement.h"

namespace Ui {
class MainWindow;
}
class Dialogs;
class HelpWindow;
class IconAnimation;
class QMenu;
class QTreeWidgetItem;
class ServerTree;
class TrayIcon;

// The program's one window: the server/group tree with the decoded files, the Start/Stop, Config and Help
// buttons, the two status panels and the article box that the engine fills, the tray icon and the download
// animation. It edits the process-wide Settings record; every change takes the settings lock.
class MainWindow : public QWidget {
    Q_OBJECT

  public:
    MainWindow(Settings& settings, Dialogs& dialogs, std::string configFile = "spindrel.cfg");
    ~MainWindow() override;

    // Loads the configuration, adds the tray icon, restores the placement, builds the tree, shows the window
    // and starts downloading in unattended mode.
    void StartUp();

    ServerTree& Tree();
    QtEngineHost& Host() { return host_; }
    // The context menu of a node (null: of the empty tree area), built as it would be shown.
    std::unique_ptr<QMenu> TreeMenu(QTreeWidgetItem* node);
    bool TreeBusy() { return lister_.Busy(); }

    // What the download engine does to the window, on the GUI thread.
    void ShowHostField(int field, const std::string& text);
    void AddDecodedFile(const std::string& name);
    void DownloadEnded(bool closeApplication);
    void ShowWarning(const std::string& text, const std::string& caption);
    void Beep(int hertz, int milliseconds);
    void TreeFirstServer();
    void TreeNextServer();
    void TreeNextGroup();

    // The ends of the host and group dialogs.
    void AddHost(const QString& address, const QString& user, const QString& password);
    void AddNewGroups(QTreeWidgetItem* server, const QString& names, long cullSize, long nextArticle);
    // Lists every server, group and (with ViewAllFiles) file again; the files on a background thread.
    void RebuildTree();
    // Adds or removes the tray icon as HideOnMin says.
    void ApplyHideOnMin();

  public slots:
    void onStartStop();
    void onConfig();
    void onHelp();
    void onAbout();
    void onView();
    void onDelete();
    void onRename();
    void onMoveUp();
    void onMoveDown();
    void onSkipProcessing();
    void onRefresh();
    void onProperties();
    void onNewHost();
    void onNewGroups();

  signals:
    // The window has closed; the program ends.
    void closed();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void SetUpShortcuts();
    void SetUpTray();
    void ColourLabels();
    void StartCommand();
    void StopCommand();
    void ShowIdleButton();
    void SetTitle(const QString& title);
    void RestoreIcon();
    void ShowFrame(const QIcon& frame);
    void HideToTray();
    void RestoreFromTray();
    void OnTrayClicked(bool showMenu);
    void CheckTray();
    // Says once in the activity log that minimising cannot hide the window in a tray.
    void LogTrayMissing();
    void OnLabelEdited(QTreeWidgetItem* node, const QString& text);
    void RenameServer(QTreeWidgetItem* node, const QString& text);
    void RenameGroup(QTreeWidgetItem* node, const QString& text);
    void RenameFile(QTreeWidgetItem* node, const QString& text);
    void DeleteFileNode(QTreeWidgetItem* node);
    void DeleteGroupNode(QTreeWidgetItem* node);
    void DeleteServerNode(QTreeWidgetItem* node);
    void Move(bool up);
    // True, after a beep, when `node` is the server or group being downloaded.
    bool RefuseWhileDownloading(QTreeWidgetItem* node);
    void ListFiles(const std::vector<QTreeWidgetItem*>& groups);
    void AddListedFiles(quint64 group, const std::vector<std::string>& names);
    QTreeWidgetItem* FileNode(const std::string& name);
    void UpdateCursorEntries();
    void ShowContextMenu(const QPoint& at);
    void ShowWindowMenu(const QPoint& at);
    bool SaveConfiguration();

    // Lookups in the settings by node (null when the node's text names none).
    ServerEntry* ServerEntryOf(QTreeWidgetItem* node);
    GroupEntry* GroupEntryOf(QTreeWidgetItem* node);
    std::string GroupDirectoryOf(QTreeWidgetItem* group);
    std::string FilePath(QTreeWidgetItem* file);

    std::unique_ptr<Ui::MainWindow> ui_;
    Settings& settings_;
    Dialogs& dialogs_;
    std::string configFile_;
    QtEngineHost host_;
    FileIcons icons_;
    TreeLister lister_;
    TrayIcon* tray_;
    IconAnimation* animation_;
    HelpWindow* help_ = nullptr;
    std::vector<QShortcut*> shortcuts_;
    QTimer trayWatch_;
    QElapsedTimer clickRestore_;
    bool inTray_ = false;
    bool trayMissingLogged_ = false;
    ShowState showState_ = ShowState::Normal;
};
