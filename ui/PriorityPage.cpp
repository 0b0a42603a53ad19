#include "ui/PriorityPage.h"

#include <algorithm>
#include <iterator>

#include "config/Settings.h"
#include "ui/CaptionColour.h"
#include "ui/NumberFields.h"
#include "ui_PriorityPage.h"

namespace {

// ThreadPriority of slider positions 1 (top) to 6.
constexpr int kPriorities[] = {2, 1, 0, -1, -2, -15};
// Where a stored value that is none of the six puts the slider.
constexpr int kFallbackPosition = 4;

} // namespace

PriorityPage::PriorityPage(Settings& settings, Dialogs& dialogs, QWidget* parent)
    : ConfigPage(parent), ui_(std::make_unique<Ui::PriorityPage>()), settings_(settings), dialogs_(dialogs) {
    ui_->setupUi(this);
    UseCaptionColour(this);
    const int* found = std::find(std::begin(kPriorities), std::end(kPriorities), settings.ThreadPriority);
    ui_->prioritySlider->setValue(found == std::end(kPriorities)
                                      ? kFallbackPosition
                                      : static_cast<int>(found - std::begin(kPriorities)) + 1);
    ui_->bandwidthEdit->setText(QString::asprintf("%1.1f", settings.BandWidthLimit));
}

PriorityPage::~PriorityPage() = default;

bool PriorityPage::Validate() {
    return CheckNumber(ui_->bandwidthEdit, dialogs_);
}

bool PriorityPage::Store() {
    settings_.ThreadPriority = kPriorities[ui_->prioritySlider->value() - 1];
    settings_.BandWidthLimit = NumberIn(ui_->bandwidthEdit);
    return true;
}
