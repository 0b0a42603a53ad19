#include "ui/PathDialog.h"

#include <QFile>
#include <QLineEdit>
#include <QStorageInfo>
#include <QStyle>

#include <algorithm>
#include <filesystem>

#include "platform/FileSystem.h"
#include "ui/Dialogs.h"
#include "ui/DisplayText.h"
#include "ui/EditBytes.h"
#include "ui_PathDialog.h"

namespace {

constexpr int kNameRole = Qt::UserRole; // the item's name on disk, as bytes
constexpr int kPopulatedRole = Qt::UserRole + 1;
constexpr int kImageRole = Qt::UserRole + 2;
constexpr int kPopulated = 69;

std::string AbsoluteStartPath(const std::string& path) {
    std::error_code gone; // a current directory that was removed: start at the root
    std::string current = std::filesystem::current_path(gone).string();
    current = gone ? "/" : current;
    if (path.empty()) {
        return current;
    }
    return path.front() == '/' ? path : current + "/" + path;
}

// The components of `path` after `root`, without empty ones.
std::vector<std::string> ComponentsAfter(const std::string& path, const std::string& root) {
    std::vector<std::string> components;
    size_t at = root.size();
    while (at < path.size()) {
        size_t end = std::min(path.find('/', at), path.size());
        if (end > at) {
            components.push_back(path.substr(at, end - at));
        }
        at = end + 1;
    }
    return components;
}

bool IsWithin(const std::string& path, const std::string& root) {
    return root == "/" || path == root || path.starts_with(root + "/");
}

std::string Joined(const std::string& path, const std::string& name) {
    if (path.empty()) {
        return name;
    }
    return path.ends_with('/') ? path + name : path + "/" + name;
}

std::string ItemName(const QTreeWidgetItem* item) {
    return item->data(0, kNameRole).toByteArray().toStdString();
}

// Creates the directories of `path` one level at a time; levels that exist, or cannot be made, are passed.
void CreateLevels(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        std::error_code ignored;
        std::filesystem::create_directory(path.substr(0, slash), ignored);
    }
    std::error_code ignored;
    std::filesystem::create_directory(path, ignored);
}

} // namespace

PathDialog::PathDialog(const std::string& startPath, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::PathDialog>()), dialogs_(dialogs) {
    ui_->setupUi(this);
    QTreeWidget* tree = ui_->directoryTree;
    connect(tree, &QTreeWidget::itemSelectionChanged, this, &PathDialog::onSelectionChanged);
    connect(tree, &QTreeWidget::itemExpanded, this, &PathDialog::onExpandedOrCollapsed);
    connect(tree, &QTreeWidget::itemCollapsed, this, &PathDialog::onExpandedOrCollapsed);
    connect(tree, &QTreeWidget::itemDoubleClicked, this, &PathDialog::onDoubleClicked);
    std::string start = AbsoluteStartPath(startPath);
    FillVolumes(start);
    Walk(start);
    connect(ui_->volumeCombo, &QComboBox::activated, this, &PathDialog::onVolumeChosen);
}

PathDialog::~PathDialog() = default;

PathDialog::Image PathDialog::ImageOf(const QTreeWidgetItem* item) {
    return static_cast<Image>(item->data(0, kImageRole).toInt());
}

bool PathDialog::IsPopulated(const QTreeWidgetItem* item) {
    return item->data(0, kPopulatedRole).toInt() == kPopulated;
}

void PathDialog::SetImage(QTreeWidgetItem* item, Image image) {
    static const QStyle::StandardPixmap kStrip[] = {QStyle::SP_ComputerIcon, QStyle::SP_DirClosedIcon,
                                                    QStyle::SP_DirOpenIcon, QStyle::SP_MessageBoxQuestion,
                                                    QStyle::SP_DriveHDIcon};
    item->setData(0, kImageRole, image);
    item->setIcon(0, item->treeWidget()->style()->standardIcon(kStrip[image]));
}

// Every mounted volume, the root first; the one holding `start` is chosen.
void PathDialog::FillVolumes(const std::string& start) {
    volumes_ = {"/"};
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        std::string root = QFile::encodeName(volume.rootPath()).toStdString();
        if (volume.isValid() && volume.isReady() &&
            std::find(volumes_.begin(), volumes_.end(), root) == volumes_.end()) {
            volumes_.push_back(root);
        }
    }
    size_t chosen = 0;
    for (size_t i = 0; i < volumes_.size(); ++i) {
        ui_->volumeCombo->addItem(DisplayText(volumes_[i]));
        if (IsWithin(start, volumes_[i]) && volumes_[i].size() > volumes_[chosen].size()) {
            chosen = i;
        }
    }
    ui_->volumeCombo->setCurrentIndex(static_cast<int>(chosen));
}

QTreeWidgetItem* PathDialog::AddRoot(const std::string& root) {
    auto* item = new QTreeWidgetItem(ui_->directoryTree, {DisplayText(root)});
    item->setData(0, kNameRole, QByteArray::fromStdString(root));
    SetImage(item, VolumeImage);
    return item;
}

// Opens every level of `start` that exists as typed, letter case included, and shows the path so found.
void PathDialog::Walk(const std::string& start) {
    const std::string& root = volumes_[ui_->volumeCombo->currentIndex()];
    QTreeWidgetItem* item = AddRoot(root);
    std::string path = root;
    Populate(item);
    item->setExpanded(true);
    ui_->directoryTree->setCurrentItem(item);
    for (const std::string& component : ComponentsAfter(start, root)) {
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; !next && i < item->childCount(); ++i) {
            next = ItemName(item->child(i)) == component ? item->child(i) : nullptr;
        }
        if (!next) {
            break;
        }
        item = next;
        path = Joined(path, component);
        Populate(item);
        item->setExpanded(true);
        ui_->directoryTree->setCurrentItem(item);
    }
    SetEditBytes(ui_->pathEdit, path);
}

// Reads the item's subdirectories once: names beginning with "." stay hidden, the order is the file
// system's.
void PathDialog::Populate(QTreeWidgetItem* item) {
    if (IsPopulated(item)) {
        return;
    }
    item->setData(0, kPopulatedRole, kPopulated);
    item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    std::optional<std::vector<DirEntry>> entries = ListDirectory(PathOf(item));
    for (const DirEntry& entry : entries.value_or(std::vector<DirEntry>())) {
        if (!entry.isDirectory || entry.name.starts_with('.')) {
            continue;
        }
        auto* child = new QTreeWidgetItem(item, {DisplayText(entry.name)});
        child->setData(0, kNameRole, QByteArray::fromStdString(entry.name));
        child->setData(0, kPopulatedRole, 0);
        child->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        SetImage(child, ClosedFolderImage);
    }
}

std::string PathDialog::PathOf(const QTreeWidgetItem* item) const {
    std::vector<std::string> names;
    for (; item; item = item->parent()) {
        names.push_back(ItemName(item));
    }
    std::string path;
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
        path = Joined(path, *name);
    }
    return path.ends_with('/') ? path : path + "/";
}

void PathDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (QTreeWidgetItem* current = ui_->directoryTree->currentItem()) {
        ui_->directoryTree->scrollToItem(current, QAbstractItemView::PositionAtCenter);
    }
}

void PathDialog::onVolumeChosen(int index) {
    if (index < 0 || index >= static_cast<int>(volumes_.size())) {
        return;
    }
    ui_->directoryTree->clear();
    QTreeWidgetItem* root = AddRoot(volumes_[index]);
    Populate(root);
    root->setExpanded(true);
    ui_->directoryTree->setCurrentItem(root);
}

void PathDialog::onSelectionChanged() {
    QList<QTreeWidgetItem*> selected = ui_->directoryTree->selectedItems();
    if (!selected.isEmpty()) {
        SetEditBytes(ui_->pathEdit, PathOf(selected.front()));
    }
}

void PathDialog::onExpandedOrCollapsed(QTreeWidgetItem* item) {
    if (item->isExpanded()) {
        Populate(item); // opened by its arrow before it was read
    }
    if (ImageOf(item) == ClosedFolderImage) {
        SetImage(item, OpenFolderImage);
    } else if (ImageOf(item) == OpenFolderImage) {
        SetImage(item, ClosedFolderImage);
    }
}

void PathDialog::onDoubleClicked(QTreeWidgetItem* item) {
    Populate(item);
}

void PathDialog::accept() {
    std::string text = EditBytes(ui_->pathEdit);
    if (!text.empty() && text != "/") {
        std::string tested = text.ends_with('/') ? text.substr(0, text.size() - 1) : text;
        if (!PathExists(tested)) {
            QString question =
                QString("The path %1 does not exist.\nWould you like to create it?").arg(DisplayText(tested));
            if (!dialogs_.Question(this, question, "Does Not Exist")) {
                return;
            }
            CreateLevels(tested);
        }
    }
    selected_ = text;
    QDialog::accept();
}

void BrowseForDirectory(QLineEdit* field, Dialogs& dialogs) {
    PathDialog dialog(EditBytes(field), dialogs, field->window());
    if (dialog.exec() == QDialog::Accepted) {
        SetEditBytes(field, dialog.SelectedPath());
    }
}
