#include "ui/ServerTree.h"

#include <QLineEdit>
#include <QStyledItemDelegate>

#include "ui/Icons.h"

namespace {

constexpr int kDataRole = Qt::UserRole;

} // namespace

// Label editing: the edited text goes to the window, which decides what the node shows.
class LabelDelegate : public QStyledItemDelegate {
  public:
    explicit LabelDelegate(ServerTree& tree) : QStyledItemDelegate(&tree), tree_(tree) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        tree_.EditingStarted();
        return QStyledItemDelegate::createEditor(parent, option, index);
    }
    void destroyEditor(QWidget* editor, const QModelIndex& index) const override {
        QStyledItemDelegate::destroyEditor(editor, index);
        tree_.EditingEnded();
    }
    void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override {
        if (auto* line = qobject_cast<QLineEdit*>(editor)) {
            tree_.EditCommitted(index, line->text());
        }
    }

  private:
    ServerTree& tree_;
};

ServerTree::ServerTree(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setColumnCount(1);
    setIconSize(QSize(16, 16));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setItemDelegate(new LabelDelegate(*this));
    setUniformRowHeights(true);
    connect(this, &QTreeWidget::itemExpanded, this,
            [this](QTreeWidgetItem* node) { OnExpanded(node, true); });
    connect(this, &QTreeWidget::itemCollapsed, this,
            [this](QTreeWidgetItem* node) { OnExpanded(node, false); });
}

QTreeWidgetItem* ServerTree::ServerOf(QTreeWidgetItem* node) {
    while (node && KindOf(node) != ServerNode) {
        node = node->parent();
    }
    return node;
}

std::string ServerTree::FileName(const QTreeWidgetItem* node) {
    return node->data(0, kDataRole).toByteArray().toStdString();
}

void ServerTree::SetFileName(QTreeWidgetItem* node, const std::string& name) {
    node->setData(0, kDataRole, QByteArray::fromStdString(name));
}

quint64 ServerTree::GroupSerial(const QTreeWidgetItem* node) {
    return node->data(0, kDataRole).toULongLong();
}

QTreeWidgetItem* ServerTree::AddServerNode(const QString& address) {
    auto* node = new QTreeWidgetItem(this, ServerNode);
    node->setText(0, address);
    node->setIcon(0, TreeImage(ServerImage));
    node->setFlags(node->flags() | Qt::ItemIsEditable);
    return node;
}

QTreeWidgetItem* ServerTree::AddGroupNode(QTreeWidgetItem* server, const QString& name) {
    auto* node = new QTreeWidgetItem(server, GroupNode);
    node->setText(0, name);
    node->setIcon(0, TreeImage(ExpandedImage));
    node->setFlags(node->flags() | Qt::ItemIsEditable);
    node->setData(0, kDataRole, nextSerial_++);
    return node;
}

QTreeWidgetItem* ServerTree::FileNodeFor(const std::string& name, const QString& text, const QIcon& icon) {
    auto* node = new QTreeWidgetItem(FileNode);
    node->setText(0, text);
    SetFileName(node, name);
    node->setIcon(0, icon);
    node->setFlags(node->flags() | Qt::ItemIsEditable);
    return node;
}

QTreeWidgetItem* ServerTree::ServerNamed(const QString& text) const {
    for (int i = 0; i < topLevelItemCount(); ++i) {
        if (topLevelItem(i)->text(0) == text) {
            return topLevelItem(i);
        }
    }
    return nullptr;
}

QTreeWidgetItem* ServerTree::GroupNamed(QTreeWidgetItem* server, const QString& text) {
    for (int i = 0; server && i < server->childCount(); ++i) {
        if (server->child(i)->text(0) == text) {
            return server->child(i);
        }
    }
    return nullptr;
}

QTreeWidgetItem* ServerTree::GroupWithSerial(quint64 serial) const {
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem* server = topLevelItem(i);
        for (int j = 0; j < server->childCount(); ++j) {
            if (GroupSerial(server->child(j)) == serial) {
                return server->child(j);
            }
        }
    }
    return nullptr;
}

void ServerTree::ExpandByProgram(QTreeWidgetItem* node) {
    expandingByProgram_ = true;
    node->setExpanded(true);
    expandingByProgram_ = false;
}

void ServerTree::OnExpanded(QTreeWidgetItem* node, bool expanded) {
    if (!expandingByProgram_) {
        node->setIcon(0, TreeImage(expanded ? ExpandedImage : CollapsedImage));
    }
}

void ServerTree::StartLabelEdit(QTreeWidgetItem* node) {
    setCurrentItem(node);
    editItem(node);
}

void ServerTree::EditingStarted() {
    editing_ = true;
    emit editingChanged(true);
}

void ServerTree::EditingEnded() {
    editing_ = false;
    emit editingChanged(false);
}

void ServerTree::EditCommitted(const QModelIndex& index, const QString& text) {
    if (QTreeWidgetItem* node = itemFromIndex(index)) {
        emit labelEdited(node, text);
    }
}

void ServerTree::FirstServer() {
    QTreeWidgetItem* server = topLevelItem(0);
    cursorServer_ = server ? server->text(0) : QString();
    cursorGroup_ = server && server->childCount() > 0 ? server->child(0)->text(0) : QString();
}

void ServerTree::NextServer() {
    QTreeWidgetItem* server = CursorServer();
    int next = server ? indexOfTopLevelItem(server) + 1 : topLevelItemCount();
    if (next < topLevelItemCount()) {
        server = topLevelItem(next);
        cursorServer_ = server->text(0);
        cursorGroup_ = server->childCount() > 0 ? server->child(0)->text(0) : QString();
    } else {
        cursorServer_.clear();
        cursorGroup_.clear();
    }
}

void ServerTree::NextGroup() {
    QTreeWidgetItem* server = CursorServer();
    QTreeWidgetItem* group = CursorGroup();
    int next = group ? server->indexOfChild(group) + 1 : -1;
    cursorGroup_ = next > 0 && next < server->childCount() ? server->child(next)->text(0) : QString();
}

QTreeWidgetItem* ServerTree::CursorServer() const {
    return cursorServer_.isEmpty() ? nullptr : ServerNamed(cursorServer_);
}

QTreeWidgetItem* ServerTree::CursorGroup() const {
    return cursorGroup_.isEmpty() ? nullptr : GroupNamed(CursorServer(), cursorGroup_);
}

void ServerTree::FollowRename(QTreeWidgetItem* node, const QString& newText) {
    if (node == CursorServer()) {
        cursorServer_ = newText;
    } else if (node == CursorGroup()) {
        cursorGroup_ = newText;
    }
}
