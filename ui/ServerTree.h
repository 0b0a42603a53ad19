#pragma once

#include <QTreeWidget>

#include <string>

// The server/group tree of the main window: servers, their groups and under each group the files decoded from
// it. Nodes carry their kind; file nodes keep the file's name on disk beside the text they show. The tree
// also holds the cursor that the download engine walks the servers and groups with, by node text.
class ServerTree : public QTreeWidget {
    Q_OBJECT

  public:
    enum Kind { ServerNode = QTreeWidgetItem::UserType + 1, GroupNode, FileNode };

    explicit ServerTree(QWidget* parent = nullptr);

    static Kind KindOf(const QTreeWidgetItem* node) { return static_cast<Kind>(node->type()); }
    // The server of a node: itself, its parent or its grandparent.
    static QTreeWidgetItem* ServerOf(QTreeWidgetItem* node);
    // The name of a file node's file on disk.
    static std::string FileName(const QTreeWidgetItem* node);
    static void SetFileName(QTreeWidgetItem* node, const std::string& name);
    // The serial number that identifies a group node while its files are listed.
    static quint64 GroupSerial(const QTreeWidgetItem* node);

    QTreeWidgetItem* AddServerNode(const QString& address);
    QTreeWidgetItem* AddGroupNode(QTreeWidgetItem* server, const QString& name);
    // A file node, not yet in the tree: the window adds many at once.
    static QTreeWidgetItem* FileNodeFor(const std::string& name, const QString& text, const QIcon& icon);
    QTreeWidgetItem* ServerNamed(const QString& text) const;
    static QTreeWidgetItem* GroupNamed(QTreeWidgetItem* server, const QString& text);
    QTreeWidgetItem* GroupWithSerial(quint64 serial) const;
    // Expands without touching the node's image: only the user's expanding changes it.
    void ExpandByProgram(QTreeWidgetItem* node);
    void StartLabelEdit(QTreeWidgetItem* node);
    bool IsEditing() const { return editing_; }

    // The engine's cursor.
    void FirstServer();
    void NextServer();
    void NextGroup();
    QTreeWidgetItem* CursorServer() const;
    QTreeWidgetItem* CursorGroup() const;
    const QString& CursorServerText() const { return cursorServer_; }
    const QString& CursorGroupText() const { return cursorGroup_; }
    // Keeps the cursor on a node the user renames; called before the node takes its new text.
    void FollowRename(QTreeWidgetItem* node, const QString& newText);

  signals:
    void labelEdited(QTreeWidgetItem* node, const QString& text);
    void editingChanged(bool editing);

  private:
    friend class LabelDelegate;
    void EditingStarted();
    void EditingEnded();
    void EditCommitted(const QModelIndex& index, const QString& text);
    void OnExpanded(QTreeWidgetItem* node, bool expanded);

    bool editing_ = false;
    bool expandingByProgram_ = false;
    quint64 nextSerial_ = 1;
    QString cursorServer_;
    QString cursorGroup_;
};
