#include "ui/FilteringPage.h"

#include <QFocusEvent>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "config/FilterList.h"
#include "config/Settings.h"
#include "ui/CaptionColour.h"
#include "ui/Dialogs.h"
#include "ui/DisplayText.h"
#include "ui/EditBytes.h"
#include "ui_FilteringPage.h"

namespace {

constexpr int kBytesRole = Qt::UserRole; // a string as the file holds it

std::string ItemBytes(const QListWidgetItem* item) {
    return item->data(kBytesRole).toByteArray().toStdString();
}

// Only regular files are read: a device or a pipe could hold the window forever.
bool Readable(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec) && std::ifstream(path).is_open();
}

} // namespace

FilteringPage::FilteringPage(Settings& settings, Dialogs& dialogs, QWidget* parent)
    : ConfigPage(parent), ui_(std::make_unique<Ui::FilteringPage>()), settings_(settings), dialogs_(dialogs) {
    ui_->setupUi(this);
    UseCaptionColour(this);
    SetEditBytes(ui_->filterFileEdit, settings.FilterFile);
    Load(settings.FilterFile);
    ui_->filteringCheck->setChecked(settings.FilteringEnabled != 0);
    ui_->filterFileEdit->installEventFilter(this);
    connect(ui_->filterFileBrowse, &QToolButton::clicked, this, &FilteringPage::onBrowseFilterFile);
    connect(ui_->filterList, &QListWidget::itemSelectionChanged, this, &FilteringPage::onSelectionChanged);
    connect(ui_->entryEdit, &QLineEdit::textEdited, this, &FilteringPage::onEntryEdited);
    connect(ui_->addButton, &QPushButton::clicked, this, &FilteringPage::onAdd);
    connect(ui_->replaceButton, &QPushButton::clicked, this, &FilteringPage::onReplace);
    connect(ui_->deleteButton, &QPushButton::clicked, this, &FilteringPage::onDelete);
}

FilteringPage::~FilteringPage() = default;

// Loads `path` into the list as the loaded file: nothing selected, the entry empty, the buttons off.
void FilteringPage::Load(const std::string& path) {
    loadedFile_ = path;
    std::error_code ec;
    bool readable = Readable(path);
    loadedUnreadable_ = !readable && std::filesystem::exists(path, ec);
    ui_->filterList->clear();
    if (readable) {
        for (const std::string& text : ReadFilterFile(path)) {
            Append(text);
        }
    }
    dirty_ = false;
    ui_->entryEdit->clear();
    ui_->addButton->setEnabled(false);
    ui_->replaceButton->setEnabled(false);
    ui_->deleteButton->setEnabled(false);
    ui_->filterList->setEnabled(!path.empty());
    ui_->entryEdit->setEnabled(!path.empty());
}

void FilteringPage::Append(const std::string& text) {
    auto* item = new QListWidgetItem(DisplayText(text), ui_->filterList);
    item->setData(kBytesRole, QByteArray::fromStdString(text));
}

std::vector<std::string> FilteringPage::Strings() const {
    std::vector<std::string> strings;
    for (int i = 0; i < ui_->filterList->count(); ++i) {
        strings.push_back(ItemBytes(ui_->filterList->item(i)));
    }
    return strings;
}

bool FilteringPage::WriteList(const std::string& path) {
    if (std::optional<std::string> failure = WriteFilterFile(path, Strings())) {
        dialogs_.Message(this, DisplayText(*failure), kWriteFilterFileTitle, Dialogs::Icon::Warning);
        return false;
    }
    dirty_ = false;
    return true;
}

bool FilteringPage::MayLeaveLoadedFile() {
    if (!dirty_) {
        return true;
    }
    QString question = QString("Save Changes to %1?").arg(DisplayText(loadedFile_));
    // A list that could not be saved stays with its file.
    return dialogs_.YesNoCancel(this, question, "Changing Filter File") == Dialogs::Answer::Yes &&
           WriteList(loadedFile_);
}

void FilteringPage::ChangeFile(const std::string& path) {
    SetEditBytes(ui_->filterFileEdit, path);
    Load(path);
}

void FilteringPage::onBrowseFilterFile() {
    QString chosen = dialogs_.OpenFileName(this, ui_->filterFileEdit->text(), ".flt",
                                           "Filter Files (*.flt);;All Files (*)");
    std::string path = chosen.toStdString();
    if (!chosen.isEmpty() && path != loadedFile_ && MayLeaveLoadedFile()) {
        ChangeFile(path);
    }
}

bool FilteringPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_->filterFileEdit && event->type() == QEvent::FocusOut && isVisible()) {
        Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        // Switching to another program or opening a menu does not leave the box.
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            LeaveFileName();
        }
    }
    return ConfigPage::eventFilter(watched, event);
}

bool FilteringPage::LeaveFileName() {
    std::string typed = EditBytes(ui_->filterFileEdit);
    if (typed == loadedFile_) {
        return true;
    }
    if (!MayLeaveLoadedFile()) {
        SetEditBytes(ui_->filterFileEdit, loadedFile_);
        return false;
    }
    ChangeFile(typed);
    return true;
}

void FilteringPage::onSelectionChanged() {
    QList<QListWidgetItem*> selected = ui_->filterList->selectedItems();
    bool one = selected.size() == 1;
    if (one) {
        SetEditBytes(ui_->entryEdit, ItemBytes(selected.front()));
    } else {
        ui_->entryEdit->clear();
    }
    ui_->entryEdit->setEnabled(selected.size() <= 1);
    ui_->addButton->setEnabled(one);
    ui_->replaceButton->setEnabled(one);
    ui_->deleteButton->setEnabled(!selected.isEmpty());
}

void FilteringPage::onEntryEdited() {
    ui_->addButton->setEnabled(true);
}

void FilteringPage::SelectOnly(QListWidgetItem* item) {
    ui_->filterList->setCurrentItem(item, QItemSelectionModel::ClearAndSelect);
}

// After an add or a replace: the string is the only selection and the entry is empty for the next one.
void FilteringPage::Edited(QListWidgetItem* item) {
    SelectOnly(item);
    ui_->entryEdit->clear();
    dirty_ = true;
}

void FilteringPage::onAdd() {
    std::string entry = EditBytes(ui_->entryEdit);
    if (entry.empty()) {
        dialogs_.Beep(200, 200);
        return;
    }
    std::vector<std::string> strings = Strings();
    if (std::find(strings.begin(), strings.end(), entry) != strings.end()) {
        dialogs_.Message(this,
                         QString("The string %1 already exists in the filter list.").arg(DisplayText(entry)),
                         "Adding Filter String", Dialogs::Icon::Warning);
        return;
    }
    Append(entry);
    Edited(ui_->filterList->item(ui_->filterList->count() - 1));
}

void FilteringPage::onReplace() {
    QList<QListWidgetItem*> selected = ui_->filterList->selectedItems();
    if (selected.size() != 1) {
        return;
    }
    QListWidgetItem* item = selected.front();
    std::string entry = EditBytes(ui_->entryEdit);
    if (entry.empty() || entry == ItemBytes(item)) {
        dialogs_.Beep(200, 200);
        return;
    }
    QString question = QString("Are you sure you want to replace %1 with %2 in the filter list.")
                           .arg(item->text(), DisplayText(entry));
    if (!dialogs_.Confirm(this, question, "Replacing Filter String", Dialogs::Icon::Warning)) {
        return;
    }
    item->setText(DisplayText(entry));
    item->setData(kBytesRole, QByteArray::fromStdString(entry));
    Edited(item);
}

// One selected string goes without asking; several after a question.
void FilteringPage::onDelete() {
    QList<QListWidgetItem*> selected = ui_->filterList->selectedItems();
    if (selected.isEmpty() ||
        (selected.size() > 1 && !dialogs_.Confirm(this, "Are you sure you want to delete the selected items?",
                                                  "Deleting", Dialogs::Icon::Warning))) {
        return;
    }
    qDeleteAll(selected);
    ui_->filterList->clearSelection();
    onSelectionChanged();
    dirty_ = true;
}

bool FilteringPage::Store() {
    // A name typed and confirmed with Enter was never left: its file is loaded first, as on leaving the box;
    // when the user keeps the loaded file instead, the sheet stays open showing its name again.
    if (!LeaveFileName()) {
        return false;
    }
    settings_.FilterFile = EditBytes(ui_->filterFileEdit);
    settings_.FilteringEnabled = ui_->filteringCheck->isChecked() ? 1 : 0;
    if (loadedUnreadable_ && !dirty_) {
        return true; // nothing was read from it, so nothing is written over it
    }
    return WriteList(settings_.FilterFile) || !dirty_;
}
