#include "ui/EditBytes.h"

#include <QLineEdit>

#include "ui/DisplayText.h"

namespace {

const char* const kBytes = "settingBytes";
const char* const kShown = "settingShown";

} // namespace

void SetEditBytes(QLineEdit* edit, const std::string& bytes) {
    QString shown = DisplayText(bytes);
    edit->setProperty(kBytes, QByteArray::fromStdString(bytes));
    edit->setProperty(kShown, shown);
    edit->setText(shown);
}

std::string EditBytes(const QLineEdit* edit) {
    if (edit->text() == edit->property(kShown).toString()) {
        return edit->property(kBytes).toByteArray().toStdString();
    }
    return edit->text().toStdString();
}
