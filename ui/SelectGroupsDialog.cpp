#include "ui/SelectGroupsDialog.h"

#include <QItemSelectionModel>

#include <algorithm>
#include <iterator>

#include "ui/CaptionColour.h"
#include "ui/DisplayText.h"
#include "ui/GroupListWindow.h"
#include "ui/GroupLoader.h"
#include "ui/GroupNameModel.h"
#include "ui/ServerGroups.h"
#include "ui_SelectGroupsDialog.h"

SelectGroupsDialog::SelectGroupsDialog(QWidget* parent, const std::string& server, const Settings& settings,
                                       Dialogs& dialogs, std::string directory)
    : QDialog(parent), ui_(std::make_unique<Ui::SelectGroupsDialog>()), server_(server), dialogs_(dialogs),
      directory_(std::move(directory)), configured_(ConfiguredGroupNames(settings, server)),
      available_(new GroupNameModel(GroupNameModel::Order::AsAdded, this)),
      selected_(new GroupNameModel(GroupNameModel::Order::Sorted, this)), loader_(new GroupLoader(this)) {
    ui_->setupUi(this);
    // A group box title takes "&" as a mnemonic; the server's name must show as it is.
    ui_->serverFrame->setTitle(DisplayText(server).replace('&', "&&"));
    UseCaptionColour({ui_->refreshedLabel, ui_->refreshedValue, ui_->groupsLabel, ui_->groupsValue,
                      ui_->selectedLabel, ui_->filterLabel, ui_->progressValue, ui_->loadingNote});
    ui_->availableList->setModel(available_);
    ui_->selectedList->setModel(selected_);
    ui_->progressValue->clear();
    connect(ui_->addButton, &QPushButton::clicked, this, &SelectGroupsDialog::onAdd);
    connect(ui_->removeButton, &QPushButton::clicked, this, &SelectGroupsDialog::onRemove);
    connect(ui_->filterButton, &QPushButton::clicked, this, &SelectGroupsDialog::onFilter);
    connect(ui_->refreshButton, &QPushButton::clicked, this, &SelectGroupsDialog::onRefresh);
    connect(loader_, &GroupLoader::refreshed, ui_->refreshedValue, &QLabel::setText);
    connect(loader_, &GroupLoader::groupCount, ui_->groupsValue, &QLabel::setText);
    connect(loader_, &GroupLoader::progress, ui_->progressValue, &QLabel::setText);
    connect(loader_, &GroupLoader::loadingNote, this, &SelectGroupsDialog::ShowLoading);
    connect(loader_, &GroupLoader::namesLoaded, this, &SelectGroupsDialog::AddLoadedNames);
    connect(loader_, &GroupLoader::ended, this, &SelectGroupsDialog::LoadEnded);
    Load();
}

SelectGroupsDialog::~SelectGroupsDialog() = default;

void SelectGroupsDialog::Load() {
    ui_->filterButton->setEnabled(false);
    ui_->refreshButton->setEnabled(false);
    loader_->Start(server_, directory_, filter_, configured_);
}

void SelectGroupsDialog::AddLoadedNames(const QStringList& names) {
    if (selected_->Names().isEmpty()) {
        available_->Add(names);
        return;
    }
    // A name picked before a Refresh or a Filter stays picked, and is offered only once.
    QStringList offered;
    std::copy_if(names.begin(), names.end(), std::back_inserter(offered),
                 [this](const QString& name) { return !selected_->Contains(name); });
    available_->Add(offered);
}

void SelectGroupsDialog::ShowLoading(bool shown) {
    ui_->progressValue->setVisible(shown);
    ui_->loadingNote->setVisible(shown);
}

void SelectGroupsDialog::LoadEnded(bool fileFound) {
    ui_->refreshButton->setEnabled(true);
    ui_->filterButton->setEnabled(fileFound);
    ShowLoading(false);
}

QList<int> SelectGroupsDialog::HighlightedRows(const QListView* list) {
    QList<int> rows;
    for (const QModelIndex& index : list->selectionModel()->selectedIndexes()) {
        rows.append(index.row());
    }
    return rows;
}

void SelectGroupsDialog::onAdd() {
    selected_->Add(available_->Take(HighlightedRows(ui_->availableList)));
}

void SelectGroupsDialog::onRemove() {
    available_->Add(selected_->Take(HighlightedRows(ui_->selectedList)));
}

void SelectGroupsDialog::onFilter() {
    loader_->Cancel();
    filter_ = ui_->filterEdit->text().toStdString();
    available_->Clear();
    Load();
}

void SelectGroupsDialog::onRefresh() {
    loader_->Cancel();
    ui_->filterButton->setEnabled(false);
    ui_->refreshButton->setEnabled(false);
    ui_->filterEdit->clear();
    filter_.clear();
    GroupListWindow fetch(this, server_, dialogs_, directory_);
    fetch.exec();
    available_->Clear();
    Load();
}

void SelectGroupsDialog::accept() {
    loader_->Cancel();
    result_ = selected_->Names().join(' ');
    QDialog::accept();
}

void SelectGroupsDialog::reject() {
    loader_->Cancel();
    QDialog::reject();
}
