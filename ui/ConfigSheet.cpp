#include "ui/ConfigSheet.h"

#include "ui/DownloadPage.h"
#include "ui/FilteringPage.h"
#include "ui/OptionsPage.h"
#include "ui/PartsPage.h"
#include "ui/PostProcessingPage.h"
#include "ui/PriorityPage.h"
#include "ui/SheetPosition.h"
#include "ui_ConfigSheet.h"

ConfigSheet::ConfigSheet(Settings& copy, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::ConfigSheet>()) {
    ui_->setupUi(this);
    const std::pair<ConfigPage*, const char*> pages[] = {
        {new DownloadPage(copy, dialogs), "Download"},
        {new FilteringPage(copy, dialogs), "Filtering"},
        {new PartsPage(copy, dialogs), "Parts"},
        {new PriorityPage(copy, dialogs), "Priority"},
        {new PostProcessingPage(copy, dialogs), "Post Processing"},
        {new OptionsPage(copy, dialogs), "Options"},
    };
    for (auto [page, title] : pages) {
        ui_->pages->addTab(page, title);
        pages_.push_back(page);
    }
    // Widgets join the focus chain as they are parented, so the pages came after OK and Cancel: the buttons
    // are parented again, which puts them after the fields.
    ui_->sheetLayout->removeWidget(ui_->buttonBox);
    ui_->buttonBox->setParent(nullptr);
    ui_->sheetLayout->addWidget(ui_->buttonBox);
    RestoreSheetPosition(*this);
}

ConfigSheet::~ConfigSheet() = default;

void ConfigSheet::accept() {
    // Each page is shown while it is checked, so a refused field is in view and gets the focus.
    QWidget* shown = ui_->pages->currentWidget();
    for (ConfigPage* page : pages_) {
        ui_->pages->setCurrentWidget(page);
        if (!page->Validate()) {
            return;
        }
    }
    ui_->pages->setCurrentWidget(shown);
    for (ConfigPage* page : pages_) {
        if (!page->Store()) {
            ui_->pages->setCurrentWidget(page);
            return;
        }
    }
    QDialog::accept();
}

void ConfigSheet::closeEvent(QCloseEvent* event) {
    SaveSheetPosition(*this);
    QDialog::closeEvent(event);
}
