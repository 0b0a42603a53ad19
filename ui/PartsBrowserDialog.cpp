#include "ui/PartsBrowserDialog.h"

#include <QSignalBlocker>

#include <algorithm>
#include <set>
#include <tuple>

#include "ui/Dialogs.h"
#include "ui/DisplayText.h"
#include "ui_PartsBrowserDialog.h"

namespace {

constexpr int kBinaryRole = Qt::UserRole;   // index of the node's binary in the listing
constexpr int kPartRole = Qt::UserRole + 1; // index of a part node's part in its binary
constexpr int kNone = -1;

// What a node stands for, so that it can be found again after the tree is read anew: stamp, signature and
// part number (kAllParts on a binary node).
using NodeKey = std::tuple<long, std::string, int>;

// A text with line breaks of its own around names from posts.
QString DisplayLines(const std::string& text) {
    QStringList lines;
    for (size_t at = 0; at <= text.size();) {
        size_t end = std::min(text.find('\n', at), text.size());
        lines << DisplayText(text.substr(at, end - at));
        at = end + 1;
    }
    return lines.join('\n');
}

QTreeWidgetItem* AddNode(QTreeWidgetItem* parent, const std::string& text, int binary, int part) {
    auto* node = new QTreeWidgetItem(parent, {DisplayText(text)});
    node->setData(0, kBinaryRole, binary);
    node->setData(0, kPartRole, part);
    return node;
}

} // namespace

PartsBrowserDialog::PartsBrowserDialog(std::string partsDir, long maxPartAgeDays, Dialogs& dialogs,
                                       QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::PartsBrowserDialog>()), partsDir_(std::move(partsDir)),
      maxPartAgeDays_(maxPartAgeDays), dialogs_(dialogs), refresh_(new QTimer(this)) {
    ui_->setupUi(this);
    refresh_->setObjectName("refreshTimer");
    ui_->partsDirText->setText(DisplayText(BrowserPartsDir(partsDir_)));
    connect(ui_->partsTree, &QTreeWidget::itemSelectionChanged, this,
            &PartsBrowserDialog::onSelectionChanged);
    connect(ui_->deleteButton, &QPushButton::clicked, this, &PartsBrowserDialog::onDelete);
    connect(ui_->deleteAllButton, &QPushButton::clicked, this, &PartsBrowserDialog::onDeleteAll);
    connect(ui_->refreshButton, &QPushButton::clicked, this, &PartsBrowserDialog::onRefresh);
    connect(refresh_, &QTimer::timeout, this, &PartsBrowserDialog::onRefresh);
    onRefresh();
    refresh_->start(kRefreshMs);
}

PartsBrowserDialog::~PartsBrowserDialog() = default;

void PartsBrowserDialog::done(int result) {
    refresh_->stop();
    QDialog::done(result);
}

PartsBrowserDialog::Selection PartsBrowserDialog::SelectionOf(const QTreeWidgetItem* item) const {
    int binary = item ? item->data(0, kBinaryRole).toInt() : kNone;
    if (!item || !item->data(0, kBinaryRole).isValid() || binary < 0 ||
        binary >= static_cast<int>(listing_.binaries.size())) {
        return {};
    }
    const CollectedBinary& found = listing_.binaries[binary];
    int part = item->data(0, kPartRole).toInt();
    return {&found, part >= 0 && part < static_cast<int>(found.parts.size()) ? &found.parts[part] : nullptr};
}

void PartsBrowserDialog::onRefresh() {
    QTreeWidget* tree = ui_->partsTree;
    auto keyOf = [this](const QTreeWidgetItem* item) {
        Selection selection = SelectionOf(item);
        return selection.binary ? NodeKey(selection.binary->stamp, selection.binary->signature,
                                          selection.part ? selection.part->part : kAllParts)
                                : NodeKey(0, "", kNone);
    };
    NodeKey selected = keyOf(tree->currentItem());
    std::set<NodeKey> open;
    if (QTreeWidgetItem* root = tree->topLevelItem(0)) {
        for (int i = 0; i < root->childCount(); ++i) {
            if (root->child(i)->isExpanded()) {
                open.insert(keyOf(root->child(i)));
            }
        }
    }

    QSignalBlocker quiet(tree);
    tree->clear();
    auto* root = new QTreeWidgetItem(tree, {kPartsRootText});
    listing_ = ListCollectedParts(partsDir_);
    if (!listing_.hasIndex) {
        AddNode(root, kNoPartsText, kNone, kNone);
    }
    QTreeWidgetItem* current = nullptr;
    for (int b = 0; b < static_cast<int>(listing_.binaries.size()); ++b) {
        const CollectedBinary& binary = listing_.binaries[b];
        QTreeWidgetItem* node = AddNode(root, BinaryNodeText(binary), b, kNone);
        for (int p = 0; p < static_cast<int>(binary.parts.size()); ++p) {
            QTreeWidgetItem* partNode = AddNode(node, PartNodeText(binary.parts[p]), b, p);
            current = keyOf(partNode) == selected ? partNode : current;
        }
        current = keyOf(node) == selected ? node : current;
        node->setExpanded(open.contains(keyOf(node)));
    }
    root->setExpanded(true);
    ui_->deleteAllButton->setEnabled(listing_.hasIndex);
    if (current) {
        tree->setCurrentItem(current);
    }
    quiet.unblock();
    onSelectionChanged();
}

void PartsBrowserDialog::onSelectionChanged() {
    QList<QTreeWidgetItem*> chosen = ui_->partsTree->selectedItems();
    Selection selection = SelectionOf(chosen.isEmpty() ? nullptr : chosen.front());
    bool onBinary = selection.binary && !selection.part;
    ui_->deleteButton->setEnabled(selection.binary != nullptr);
    ui_->deleteButton->setText(onBinary ? "Delete For..." : "&Delete");
    ui_->deleteButton->setToolTip(onBinary ? "Delete All Parts Collected for the Selected Binary"
                                           : "Delete the Selected Part");
    ShowDetails(selection);
}

void PartsBrowserDialog::ShowDetails(const Selection& selection) {
    ui_->detailsGroup->setVisible(selection.binary != nullptr);
    if (!selection.binary) {
        return;
    }
    const CollectedBinary& binary = *selection.binary;
    ui_->fileNameText->setText(DisplayText(binary.displayName));
    ui_->partNumberText->setText(
        DisplayText(selection.part ? PartNumberText(binary, *selection.part) : BinaryPartsText(binary)));
    ui_->expiresText->setText(DisplayText(ExpiresText(binary, maxPartAgeDays_)));
    ui_->lastCollectedText->setText(DisplayText(LastCollectedText(binary)));
    ui_->sizeText->setText(
        DisplayText(selection.part ? PartSizeText(*selection.part) : BinarySizeText(binary)));
}

void PartsBrowserDialog::onDelete() {
    QList<QTreeWidgetItem*> chosen = ui_->partsTree->selectedItems();
    Selection selection = SelectionOf(chosen.isEmpty() ? nullptr : chosen.front());
    if (!selection.binary) {
        return;
    }
    int part = selection.part ? selection.part->part : kAllParts;
    if (dialogs_.YesNoCancel(this, DisplayLines(DeleteQuestion(*selection.binary, part)), kDeleteTitle) !=
        Dialogs::Answer::Yes) {
        return;
    }
    DeleteCollectedParts(partsDir_, *selection.binary, part);
    onRefresh();
}

void PartsBrowserDialog::onDeleteAll() {
    if (!dialogs_.Question(this, kDeleteAllQuestion, kDeleteTitle)) {
        return;
    }
    DeleteAllCollectedParts(partsDir_);
    onRefresh();
}
