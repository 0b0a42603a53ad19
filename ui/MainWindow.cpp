#include "ui/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMenu>
#include <QRegularExpression>

#include <filesystem>

#include "config/ConfigFile.h"
#include "config/ServerList.h"
#include "engine/Download.h"
#include "engine/EngineState.h"
#include "log/Log.h"
#include "nntp/Flags.h"
#include "platform/FileSystem.h"
#include "ui/AddGroupsDialog.h"
#include "ui/AppTitle.h"
#include "ui/CaptionColour.h"
#include "ui/Dialogs.h"
#include "ui/DisplayText.h"
#include "ui/FileViewer.h"
#include "ui/GroupFiles.h"
#include "ui/GroupPropertiesDialog.h"
#include "ui/HelpWindow.h"
#include "ui/HostDialog.h"
#include "ui/IconAnimation.h"
#include "ui/Icons.h"
#include "ui/RunConfigSheet.h"
#include "ui/ServerGroups.h"
#include "ui/ServerTree.h"
#include "ui/TrayIcon.h"
#include "ui_MainWindow.h"

namespace {

constexpr int kTrayWatchMs = 2000;
const char* const kStartText = "&Start";

// Group box titles take "&" as a mnemonic; names must show as they are.
QString LiteralTitle(const std::string& text) {
    return DisplayText(text).replace('&', "&&");
}

// A group name as typed, cut to the 255 bytes a name may hold without splitting a character.
std::string GroupNameFrom(const QString& text) {
    QString name = text.left(static_cast<qsizetype>(GroupEntry::kMaxName));
    QByteArray bytes = name.toUtf8();
    while (bytes.size() > static_cast<qsizetype>(GroupEntry::kMaxName)) {
        name.chop(1);
        bytes = name.toUtf8();
    }
    return bytes.toStdString();
}

} // namespace

MainWindow::MainWindow(Settings& settings, Dialogs& dialogs, std::string configFile)
    : ui_(std::make_unique<Ui::MainWindow>()), settings_(settings), dialogs_(dialogs),
      configFile_(std::move(configFile)), host_(*this, settings, configFile_),
      lister_([this](quint64 group, const std::vector<std::string>& names) { AddListedFiles(group, names); }),
      tray_(new TrayIcon(this)), animation_(new IconAnimation(this)) {
    ui_->setupUi(this);
    ColourLabels();
    SetUpShortcuts();
    SetUpTray();
    connect(ui_->startButton, &QPushButton::clicked, this, &MainWindow::onStartStop);
    connect(ui_->configButton, &QPushButton::clicked, this, &MainWindow::onConfig);
    connect(ui_->helpButton, &QPushButton::clicked, this, &MainWindow::onHelp);
    ServerTree* tree = ui_->serverTree;
    connect(tree, &ServerTree::labelEdited, this, &MainWindow::OnLabelEdited);
    connect(tree, &ServerTree::customContextMenuRequested, this, &MainWindow::ShowContextMenu);
    connect(tree, &ServerTree::itemDoubleClicked, this, [this](QTreeWidgetItem* node) {
        // Servers and groups open and close by themselves on a double click.
        if (ServerTree::KindOf(node) == ServerTree::FileNode) {
            onView();
        }
    });
    connect(this, &QWidget::customContextMenuRequested, this, &MainWindow::ShowWindowMenu);
    connect(animation_, &IconAnimation::frameChanged, this, &MainWindow::ShowFrame);
    connect(animation_, &IconAnimation::stopped, this, &MainWindow::RestoreIcon);
}

MainWindow::~MainWindow() {
    // An edit still open closes while the children go; nothing of this window may hear of it.
    disconnect(ui_->serverTree, nullptr, this, nullptr);
    host_.Shutdown();
    if (DownloadRunning) {
        StopDownload();
    }
    JoinDownload();
}

ServerTree& MainWindow::Tree() {
    return *ui_->serverTree;
}

void MainWindow::SetUpShortcuts() {
    const std::pair<QKeySequence, void (MainWindow::*)()> keys[] = {
        {QKeySequence(Qt::Key_Delete), &MainWindow::onDelete},
        {QKeySequence(Qt::Key_Return), &MainWindow::onView},
        {QKeySequence(Qt::Key_Enter), &MainWindow::onView},
        {QKeySequence(Qt::SHIFT | Qt::Key_Up), &MainWindow::onMoveUp},
        {QKeySequence(Qt::SHIFT | Qt::Key_Down), &MainWindow::onMoveDown},
    };
    for (const auto& [key, command] : keys) {
        shortcuts_.push_back(new QShortcut(key, this, this, command));
    }
    shortcuts_.push_back(
        new QShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_F12), this, [] { EnableTxRxLog(); }));
    // While a label is edited the keys belong to the edit.
    connect(ui_->serverTree, &ServerTree::editingChanged, this, [this](bool editing) {
        for (QShortcut* shortcut : shortcuts_) {
            shortcut->setEnabled(!editing);
        }
    });
}

void MainWindow::SetUpTray() {
    connect(tray_, &TrayIcon::restoreRequested, this, &MainWindow::RestoreFromTray);
    connect(tray_, &TrayIcon::closeRequested, this, &QWidget::close, Qt::QueuedConnection);
    connect(tray_, &TrayIcon::stopRequested, this, [this] {
        if (ui_->startButton->text() != kStartText && ui_->startButton->isEnabled()) {
            StopCommand();
        }
    });
    connect(tray_, &TrayIcon::aboutRequested, this, &MainWindow::onAbout);
    connect(tray_, &TrayIcon::menuWanted, this, [this] { OnTrayClicked(true); });
    connect(tray_, &TrayIcon::clicked, this, [this] {
        if (inTray_) {
            RestoreFromTray();
            clickRestore_.start();
        }
    });
    connect(tray_, &TrayIcon::doubleClicked, this, [this] {
        // The first click of this double click has brought the window back already.
        if (!clickRestore_.isValid() || clickRestore_.elapsed() > QApplication::doubleClickInterval()) {
            OnTrayClicked(false);
        }
    });
    trayWatch_.setInterval(kTrayWatchMs);
    connect(&trayWatch_, &QTimer::timeout, this, &MainWindow::CheckTray);
}

void MainWindow::ColourLabels() {
    UseCaptionColour({ui_->serverPanel, ui_->groupPanel, ui_->articleBox});
}

void MainWindow::StartUp() {
    hide();
    setWindowTitle(kCaption);
    setWindowIcon(AppIcon());
    {
        std::lock_guard<std::mutex> lock(SettingsMutex);
        LoadConfig(settings_, configFile_);
    }
    SetLogEnabled(settings_.LoggingEnabled);
    ApplyHideOnMin();
    showState_ = RestoreWindowPlacement(*this);
    RebuildTree();
    icons_.Prepare();
    switch (showState_) {
    case ShowState::Minimized:
        showMinimized();
        break;
    case ShowState::Maximized:
        showMaximized();
        break;
    case ShowState::Normal:
        show();
        break;
    }
    if (settings_.UnAttendedMode) {
        StartCommand();
    }
}

void MainWindow::ApplyHideOnMin() {
    if (settings_.HideOnMin && !tray_->IsShown()) {
        if (!tray_->Show(AppIcon(), kAppTitle)) {
            LogTrayMissing();
        }
    } else if (!settings_.HideOnMin && tray_->IsShown()) {
        tray_->Hide();
    }
}

void MainWindow::LogTrayMissing() {
    if (!trayMissingLogged_) {
        LogMessage("No system tray on this desktop: the window minimises as usual");
        trayMissingLogged_ = true;
    }
}

// ---- the engine's side

void MainWindow::ShowHostField(int field, const std::string& text) {
    switch (field) {
    case StatusField:
        ui_->serverPanel->setTitle(LiteralTitle(text));
        return;
    case GroupTitleField:
        ui_->groupPanel->setTitle(LiteralTitle(text));
        return;
    case ArticleTitleField:
        ui_->articleBox->setTitle(LiteralTitle(text));
        return;
    case ArticleSubjectField:
        ui_->articleSubject->setText(DisplayText(text));
        return;
    case ArticleLinesField:
        ui_->articleLines->setText(DisplayText(text));
        return;
    case ArticleExtractionField:
        ui_->articleExtraction->setText(DisplayText(text));
        return;
    case ArticleRateField:
        ui_->articleRate->setText(DisplayText(text));
        return;
    case WindowTitleField:
        SetTitle(text.empty() ? QString() : DisplayText(text));
        return;
    }
    static const char* const kScopes[] = {"server", "group"};
    static const char* const kRows[] = {"Extracted", "Culled", "Filtered", "Reposts"};
    int panel = (field - FirstPanelField) / 2;
    QString name = QString("%1%2%3").arg(kScopes[panel / 4], kRows[panel % 4],
                                         (field - FirstPanelField) % 2 ? "Mbytes" : "Count");
    if (auto* label = findChild<QLabel*>(name)) {
        label->setText(DisplayText(text));
    }
}

// An empty title puts back the program's own.
void MainWindow::SetTitle(const QString& title) {
    setWindowTitle(title.isEmpty() ? kCaption : title);
    tray_->SetTip(title.isEmpty() ? kAppTitle : title);
}

void MainWindow::AddDecodedFile(const std::string& name) {
    if (QTreeWidgetItem* group = Tree().CursorGroup()) {
        group->addChild(FileNode(name));
    }
}

void MainWindow::DownloadEnded(bool closeApplication) {
    host_.Flush(); // texts written before the end are not shown after it
    ui_->configButton->setEnabled(true);
    ShowIdleButton();
    animation_->Stop();
    RestoreIcon();
    SetTitle(QString());
    tray_->SetStopEnabled(false);
    if (closeApplication) {
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    }
}

void MainWindow::ShowWarning(const std::string& text, const std::string& caption) {
    dialogs_.Message(this, DisplayText(text), DisplayText(caption), Dialogs::Icon::Warning);
}

void MainWindow::Beep(int hertz, int milliseconds) {
    dialogs_.Beep(hertz, milliseconds);
}

void MainWindow::TreeFirstServer() {
    Tree().FirstServer();
    UpdateCursorEntries();
}

void MainWindow::TreeNextServer() {
    Tree().NextServer();
    UpdateCursorEntries();
}

void MainWindow::TreeNextGroup() {
    Tree().NextGroup();
    UpdateCursorEntries();
}

void MainWindow::UpdateCursorEntries() {
    QTreeWidgetItem* server = Tree().CursorServer();
    QTreeWidgetItem* group = Tree().CursorGroup();
    host_.SetCursorEntries(server ? ServerEntryOf(server) : nullptr, group ? GroupEntryOf(group) : nullptr);
}

// ---- Start, Stop and the buttons

void MainWindow::onStartStop() {
    if (ui_->startButton->text() == kStartText) {
        StartCommand();
    } else {
        StopCommand();
    }
}

void MainWindow::StartCommand() {
    JoinDownload(); // the last run's threads have ended before the next one starts
    if (!StartDownload(host_, settings_)) {
        return;
    }
    ui_->startButton->setText("&Stop");
    ui_->startButton->setToolTip("Stop Article Download");
    tray_->SetStopEnabled(true);
    animation_->Start();
}

void MainWindow::StopCommand() {
    StopDownload();
    ui_->startButton->setEnabled(false);
    ui_->startButton->setToolTip("Article Download (Stopping)");
    tray_->SetStopEnabled(false);
    animation_->Stop();
}

void MainWindow::ShowIdleButton() {
    ui_->startButton->setText(kStartText);
    ui_->startButton->setToolTip("Start Article Download");
    ui_->startButton->setEnabled(true);
}

void MainWindow::onConfig() {
    RunConfigSheet(*this, settings_, dialogs_, configFile_);
}

void MainWindow::onHelp() {
    if (!help_) {
        help_ = new HelpWindow(this);
    }
    help_->show();
    help_->raise();
    help_->activateWindow();
}

void MainWindow::onAbout() {
    dialogs_.About(this);
}

// ---- icons, tray and closing

void MainWindow::RestoreIcon() {
    if (tray_->IsShown()) {
        tray_->SetIcon(AppIcon());
    }
    setWindowIcon(AppIcon());
}

// The animation shows only while the window is minimised: in the tray when there is one, else in the window's
// icon.
void MainWindow::ShowFrame(const QIcon& frame) {
    if (!inTray_ && !isMinimized()) {
        return;
    }
    if (tray_->InUse()) {
        tray_->SetIcon(frame);
    } else {
        setWindowIcon(frame);
    }
}

void MainWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && tray_->InUse()) {
        // Hiding inside the state change confuses some window managers: after it.
        QMetaObject::invokeMethod(this, &MainWindow::HideToTray, Qt::QueuedConnection);
    }
}

void MainWindow::HideToTray() {
    if (isMinimized()) {
        hide();
        inTray_ = true;
        trayWatch_.start();
    }
}

void MainWindow::RestoreFromTray() {
    inTray_ = false;
    trayWatch_.stop();
    showNormal();
    raise();
    activateWindow();
    RestoreIcon();
}

void MainWindow::OnTrayClicked(bool showMenu) {
    if (!inTray_ && !isMinimized()) {
        raise();
        activateWindow();
        Beep(500, 100);
    } else if (showMenu) {
        tray_->PopUpMenu();
    } else {
        RestoreFromTray();
    }
}

// A tray that goes away while the window hides in it would leave no way back.
void MainWindow::CheckTray() {
    // Back on the screen, not minimised: a desktop without a tray often has no task bar either.
    if (inTray_ && !tray_->TrayAvailable()) {
        LogTrayMissing();
        RestoreFromTray();
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (DownloadRunning) {
        if (!dialogs_.Question(
                this, "Article Download is still in progress.\nDo you really want to close Spindrel?",
                "Closing Spindrel")) {
            event->ignore();
            return;
        }
        animation_->Stop();
        RestoreIcon();
        StopDownload();
    }
    SaveWindowPlacement(*this);
    SaveConfiguration();
    tray_->Hide();
    trayWatch_.stop();
    event->accept();
    emit closed();
}

bool MainWindow::SaveConfiguration() {
    return host_.SaveConfiguration();
}

// ---- the tree

void MainWindow::RebuildTree() {
    lister_.Cancel();
    ServerTree& tree = Tree();
    tree.clear();
    std::vector<QTreeWidgetItem*> listed;
    {
        std::lock_guard<std::mutex> lock(SettingsMutex);
        for (long i = 0; i < settings_.NumServers; ++i) {
            ServerEntry& server = settings_.Servers[i];
            QTreeWidgetItem* serverNode = tree.AddServerNode(DisplayText(server.Address));
            for (long j = 0; j < server.NumGroups; ++j) {
                GroupEntry& group = server.Groups[j];
                QTreeWidgetItem* groupNode = tree.AddGroupNode(serverNode, DisplayText(group.Name));
                tree.setCurrentItem(groupNode);
                if (settings_.ViewAllFiles) {
                    listed.push_back(groupNode);
                }
                if (!group.Collapsed) {
                    tree.ExpandByProgram(groupNode);
                }
            }
            tree.ExpandByProgram(serverNode);
        }
    }
    ListFiles(listed);
    UpdateCursorEntries();
}

void MainWindow::ListFiles(const std::vector<QTreeWidgetItem*>& groups) {
    std::vector<TreeLister::Directory> directories;
    for (QTreeWidgetItem* group : groups) {
        directories.push_back({ServerTree::GroupSerial(group), GroupDirectoryOf(group)});
    }
    lister_.List(std::move(directories));
}

void MainWindow::AddListedFiles(quint64 group, const std::vector<std::string>& names) {
    QTreeWidgetItem* node = Tree().GroupWithSerial(group);
    if (!node) {
        return; // removed while its files were listed
    }
    // One insertion per batch: the view's work grows with every insertion into a long list.
    QList<QTreeWidgetItem*> files;
    for (const std::string& name : names) {
        files.append(FileNode(name));
    }
    node->addChildren(files);
}

QTreeWidgetItem* MainWindow::FileNode(const std::string& name) {
    return ServerTree::FileNodeFor(name, DisplayText(FileNodeText(name)), icons_.ForName(name));
}

ServerEntry* MainWindow::ServerEntryOf(QTreeWidgetItem* node) {
    QTreeWidgetItem* serverNode = ServerTree::ServerOf(node);
    for (long i = 0; serverNode && i < settings_.NumServers; ++i) {
        if (DisplayText(settings_.Servers[i].Address) == serverNode->text(0)) {
            return settings_.Servers.get(i);
        }
    }
    return nullptr;
}

GroupEntry* MainWindow::GroupEntryOf(QTreeWidgetItem* node) {
    ServerEntry* server = ServerEntryOf(node);
    for (long i = 0; server && i < server->NumGroups; ++i) {
        if (DisplayText(server->Groups[i].Name) == node->text(0)) {
            return server->Groups.get(i);
        }
    }
    return nullptr;
}

std::string MainWindow::GroupDirectoryOf(QTreeWidgetItem* group) {
    GroupEntry* entry = GroupEntryOf(group);
    std::string name = entry ? entry->Name : group->text(0).toStdString();
    std::lock_guard<std::mutex> lock(SettingsMutex);
    return GroupDirectory(settings_.OutputDir, name);
}

std::string MainWindow::FilePath(QTreeWidgetItem* file) {
    return GroupDirectoryOf(file->parent()) + "/" + ServerTree::FileName(file);
}

bool MainWindow::RefuseWhileDownloading(QTreeWidgetItem* node) {
    if (DownloadRunning && (node == Tree().CursorServer() || node == Tree().CursorGroup())) {
        Beep(500, 200);
        return true;
    }
    return false;
}

// ---- context menus

std::unique_ptr<QMenu> MainWindow::TreeMenu(QTreeWidgetItem* node) {
    auto menu = std::make_unique<QMenu>(this);
    QMenu& m = *menu;
    if (!node) {
        m.addAction("New &Host", this, &MainWindow::onNewHost);
        return menu;
    }
    switch (ServerTree::KindOf(node)) {
    case ServerTree::FileNode:
        m.addAction("&Rename", this, &MainWindow::onRename);
        m.addAction("&Delete", this, &MainWindow::onDelete);
        m.addAction("&View", this, &MainWindow::onView);
        m.addSeparator();
        m.addAction("New &Host", this, &MainWindow::onNewHost);
        m.addAction("New &Group(s)", this, &MainWindow::onNewGroups);
        break;
    case ServerTree::GroupNode: {
        if (settings_.ViewAllFiles) {
            m.addAction("&Refresh", this, &MainWindow::onRefresh);
        }
        m.addAction("R&ename", this, &MainWindow::onRename);
        m.addAction("&Delete", this, &MainWindow::onDelete);
        m.addAction("G&oto")->setEnabled(false);
        QAction* skip = m.addAction("&Skip Processing", this, &MainWindow::onSkipProcessing);
        skip->setCheckable(true);
        GroupEntry* group = GroupEntryOf(node);
        skip->setChecked(group && group->Skip);
        m.addSeparator();
        m.addAction("New &Host", this, &MainWindow::onNewHost);
        m.addAction("New &Group(s)", this, &MainWindow::onNewGroups);
        m.addSeparator();
        m.addAction("&Properties", this, &MainWindow::onProperties);
        break;
    }
    case ServerTree::ServerNode:
        m.addAction("&Rename", this, &MainWindow::onRename);
        m.addAction("&Delete", this, &MainWindow::onDelete);
        m.addAction("New &Group(s)", this, &MainWindow::onNewGroups);
        m.addSeparator();
        m.addAction("New &Host", this, &MainWindow::onNewHost);
        m.addSeparator();
        m.addAction("&Properties", this, &MainWindow::onProperties);
        break;
    }
    return menu;
}

void MainWindow::ShowContextMenu(const QPoint& at) {
    QTreeWidgetItem* node = Tree().itemAt(at);
    if (node) {
        Tree().setCurrentItem(node);
    }
    TreeMenu(node)->exec(Tree().viewport()->mapToGlobal(at));
}

void MainWindow::ShowWindowMenu(const QPoint& at) {
    QMenu menu(this);
    menu.addAction("&About Spindrel", this, &MainWindow::onAbout);
    menu.exec(mapToGlobal(at));
}

// ---- tree commands

void MainWindow::onView() {
    QTreeWidgetItem* node = Tree().currentItem();
    if (!node) {
        return;
    }
    if (ServerTree::KindOf(node) == ServerTree::FileNode) {
        ViewFile(std::filesystem::absolute(FilePath(node)).string(), dialogs_, this);
    } else {
        node->setExpanded(!node->isExpanded());
    }
}

void MainWindow::onDelete() {
    QTreeWidgetItem* node = Tree().currentItem();
    if (!node) {
        return;
    }
    switch (ServerTree::KindOf(node)) {
    case ServerTree::FileNode:
        DeleteFileNode(node);
        break;
    case ServerTree::GroupNode:
        DeleteGroupNode(node);
        break;
    case ServerTree::ServerNode:
        DeleteServerNode(node);
        break;
    }
}

void MainWindow::DeleteFileNode(QTreeWidgetItem* node) {
    RemoveFile(FilePath(node)); // a failure is not reported
    QTreeWidgetItem* parent = node->parent();
    int index = parent->indexOfChild(node);
    QTreeWidgetItem* next = parent->child(index + 1);
    if (!next) {
        next = index > 0 ? parent->child(index - 1) : parent;
    }
    Tree().setCurrentItem(next);
    delete node;
}

void MainWindow::DeleteGroupNode(QTreeWidgetItem* node) {
    if (RefuseWhileDownloading(node)) {
        return;
    }
    QTreeWidgetItem* serverNode = node->parent();
    if (!dialogs_.Question(
            this,
            QString("Are you sure you want to remove group\n%1\nfrom the download list for host\n%2?")
                .arg(node->text(0), serverNode->text(0)),
            "Deleting Group")) {
        return;
    }
    if (!DownloadRunning) {
        JoinDownload(); // a stopped run's threads let go of their groups first
    }
    if (ServerEntry* server = ServerEntryOf(serverNode)) {
        std::lock_guard<std::mutex> lock(SettingsMutex);
        RemoveGroup(*server, serverNode->indexOfChild(node));
    }
    delete node;
    UpdateCursorEntries();
}

void MainWindow::DeleteServerNode(QTreeWidgetItem* node) {
    if (RefuseWhileDownloading(node)) {
        return;
    }
    if (!dialogs_.Question(
            this,
            QString("Are you sure you want to remove\nhost %1\nfrom the download list?").arg(node->text(0)),
            "Deleting Host")) {
        return;
    }
    if (!DownloadRunning) {
        JoinDownload();
    }
    for (long i = 0; i < settings_.NumServers; ++i) {
        if (DisplayText(settings_.Servers[i].Address) == node->text(0)) {
            std::lock_guard<std::mutex> lock(SettingsMutex);
            RemoveServer(settings_, i);
            break;
        }
    }
    delete node;
    UpdateCursorEntries();
}

void MainWindow::onRename() {
    if (QTreeWidgetItem* node = Tree().currentItem()) {
        Tree().StartLabelEdit(node);
    }
}

void MainWindow::OnLabelEdited(QTreeWidgetItem* node, const QString& text) {
    if (text.isEmpty()) {
        return;
    }
    switch (ServerTree::KindOf(node)) {
    case ServerTree::ServerNode:
        RenameServer(node, text);
        break;
    case ServerTree::GroupNode:
        RenameGroup(node, text);
        break;
    case ServerTree::FileNode:
        RenameFile(node, text);
        break;
    }
    UpdateCursorEntries();
}

// A text with commas also sets the user name and password; the node shows only the address, so the password
// never appears in the tree and the node still names its server.
void MainWindow::RenameServer(QTreeWidgetItem* node, const QString& text) {
    QString oldText = node->text(0);
    ServerEntry* renamed = nullptr;
    {
        std::lock_guard<std::mutex> lock(SettingsMutex);
        for (long i = 0; i < settings_.NumServers; ++i) {
            ServerEntry& server = settings_.Servers[i];
            if (DisplayText(server.Address) == oldText) {
                SetServerLogin(server, text.toStdString());
                renamed = renamed ? renamed : &server;
            }
        }
    }
    QString shown = renamed ? DisplayText(renamed->Address) : text.section(',', 0, 0);
    Tree().FollowRename(node, shown);
    node->setText(0, shown);
}

void MainWindow::RenameGroup(QTreeWidgetItem* node, const QString& text) {
    GroupEntry* group = GroupEntryOf(node);
    std::string name = GroupNameFrom(text);
    if (group) {
        std::lock_guard<std::mutex> lock(SettingsMutex);
        group->Name = name;
    }
    Tree().FollowRename(node, DisplayText(name));
    node->setText(0, DisplayText(name));
    if (settings_.ViewAllFiles) {
        onRefresh();
    }
}

void MainWindow::RenameFile(QTreeWidgetItem* node, const QString& text) {
    if (text == node->text(0)) {
        return;
    }
    std::string name = text.toStdString();
    std::string directory = GroupDirectoryOf(node->parent());
    // The new name stays inside the group directory and never replaces another file.
    if (!IsPlainFileName(name) ||
        !RenameNoReplace(directory + "/" + ServerTree::FileName(node), directory + "/" + name)) {
        dialogs_.Message(this, "File Rename Failed", "Spindrel", Dialogs::Icon::Stop);
        return;
    }
    ServerTree::SetFileName(node, name);
    node->setText(0, DisplayText(name));
    node->setIcon(0, icons_.ForName(name));
}

void MainWindow::onMoveUp() {
    Move(true);
}

void MainWindow::onMoveDown() {
    Move(false);
}

void MainWindow::Move(bool up) {
    QTreeWidgetItem* node = Tree().currentItem();
    if (!node || ServerTree::KindOf(node) == ServerTree::FileNode || RefuseWhileDownloading(node)) {
        return;
    }
    ServerTree& tree = Tree();
    QTreeWidgetItem* parent = node->parent();
    int index = parent ? parent->indexOfChild(node) : tree.indexOfTopLevelItem(node);
    int count = parent ? parent->childCount() : tree.topLevelItemCount();
    int target = up ? index - 1 : index + 1;
    if (target < 0 || target >= count) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(SettingsMutex);
        if (parent) {
            ServerEntry* server = ServerEntryOf(parent);
            if (!server || !(up ? MoveGroupUp(*server, index) : MoveGroupDown(*server, index))) {
                return;
            }
        } else if (!(up ? MoveServerUp(settings_, index) : MoveServerDown(settings_, index))) {
            return;
        }
    }
    // The view forgets what was open when a node leaves it.
    std::vector<QTreeWidgetItem*> open;
    if (node->isExpanded()) {
        open.push_back(node);
    }
    for (int i = 0; i < node->childCount(); ++i) {
        if (node->child(i)->isExpanded()) {
            open.push_back(node->child(i));
        }
    }
    if (parent) {
        parent->insertChild(target, parent->takeChild(index));
    } else {
        tree.insertTopLevelItem(target, tree.takeTopLevelItem(index));
    }
    for (QTreeWidgetItem* item : open) {
        tree.ExpandByProgram(item);
    }
    tree.setCurrentItem(node);
}

void MainWindow::onSkipProcessing() {
    QTreeWidgetItem* node = Tree().currentItem();
    if (!node || ServerTree::KindOf(node) != ServerTree::GroupNode) {
        return;
    }
    if (GroupEntry* group = GroupEntryOf(node)) {
        std::lock_guard<std::mutex> lock(SettingsMutex);
        group->Skip = group->Skip ? 0 : 1;
    }
}

void MainWindow::onRefresh() {
    QTreeWidgetItem* node = Tree().currentItem();
    if (!node || ServerTree::KindOf(node) != ServerTree::GroupNode) {
        return;
    }
    qDeleteAll(node->takeChildren());
    ListFiles({node});
}

void MainWindow::onProperties() {
    QTreeWidgetItem* node = Tree().currentItem();
    if (!node) {
        return;
    }
    if (ServerTree::KindOf(node) == ServerTree::GroupNode) {
        GroupEntry* group = GroupEntryOf(node);
        if (!group) {
            return;
        }
        GroupEntry shown;
        {
            std::lock_guard<std::mutex> lock(SettingsMutex);
            shown = *group;
        }
        GroupPropertiesDialog dialog(this, shown);
        if (dialog.exec() == QDialog::Accepted) {
            std::lock_guard<std::mutex> lock(SettingsMutex);
            dialog.Apply(*group);
        }
    } else if (ServerTree::KindOf(node) == ServerTree::ServerNode) {
        ServerEntry* server = ServerEntryOf(node);
        if (!server) {
            return;
        }
        HostDialog dialog(this);
        dialog.ShowProperties(*server);
        if (dialog.exec() == QDialog::Accepted && !dialog.Address().isEmpty()) {
            std::lock_guard<std::mutex> lock(SettingsMutex);
            SetServerUser(*server, dialog.User().toStdString().c_str());
            SetServerPassword(*server, dialog.Password().toStdString().c_str());
        }
    }
}

void MainWindow::onNewHost() {
    HostDialog dialog(this);
    if (dialog.exec() == QDialog::Accepted) {
        AddHost(dialog.Address(), dialog.User(), dialog.Password());
    }
}

void MainWindow::AddHost(const QString& address, const QString& user, const QString& password) {
    if (address.isEmpty()) {
        return;
    }
    for (long i = 0; i < settings_.NumServers; ++i) {
        if (DisplayText(settings_.Servers[i].Address) == address) {
            dialogs_.Message(this, QString("Server %1 already exists in the download list").arg(address),
                             "New Server Not Added", Dialogs::Icon::Warning);
            return;
        }
    }
    auto server = std::make_unique<ServerEntry>();
    SetServerLogin(*server, address.toStdString());
    SetServerUser(*server, user.toStdString().c_str());
    SetServerPassword(*server, password.toStdString().c_str());
    QString shown = DisplayText(server->Address);
    {
        std::lock_guard<std::mutex> lock(SettingsMutex);
        AddServer(settings_, std::move(server));
    }
    Tree().AddServerNode(shown);
}

void MainWindow::onNewGroups() {
    QTreeWidgetItem* node = Tree().currentItem();
    ServerEntry* server = node ? ServerEntryOf(node) : nullptr;
    if (!server) {
        return;
    }
    AddGroupsDialog dialog(this, server->Address, settings_, dialogs_);
    if (dialog.exec() == QDialog::Accepted) {
        AddNewGroups(ServerTree::ServerOf(node), dialog.Groups(), dialog.CullSize(), dialog.NextArticle());
    }
}

void MainWindow::AddNewGroups(QTreeWidgetItem* serverNode, const QString& names, long cullSize,
                              long nextArticle) {
    ServerEntry* server = ServerEntryOf(serverNode);
    if (!server) {
        return;
    }
    // A name the server has already stays one group, however it was typed.
    std::vector<std::string> configured = ConfiguredGroupNames(settings_, server->Address);
    for (const std::string& name : GroupNamesIn(names.toStdString())) {
        if (std::find(configured.begin(), configured.end(), name) != configured.end()) {
            continue;
        }
        std::unique_ptr<GroupEntry> group = ParseGroup(name + "," + std::to_string(nextArticle) + "," +
                                                       std::to_string(cullSize) + ",Collapsed,Include");
        QString shown = DisplayText(group->Name);
        {
            std::lock_guard<std::mutex> lock(SettingsMutex);
            AppendGroup(*server, std::move(group));
        }
        Tree().setCurrentItem(Tree().AddGroupNode(serverNode, shown));
    }
    SaveConfiguration();
}
