#include "ui/NumberFields.h"

#include <QLineEdit>

#include <charconv>
#include <cmath>

#include "ui/Dialogs.h"

namespace {

const char* const kTitle = "Spindrel";

// The number's text without the blanks around it and without a leading "+", which from_chars refuses.
std::string Digits(const QString& text) {
    std::string digits = text.trimmed().toStdString();
    if (digits.size() > 1 && digits[0] == '+' && digits[1] != '-') {
        digits.erase(0, 1);
    }
    return digits;
}

bool Refuse(QLineEdit* edit, const QString& message, Dialogs& dialogs) {
    dialogs.Message(edit->window(), message, kTitle, Dialogs::Icon::Warning);
    edit->setFocus();
    edit->selectAll();
    return false;
}

} // namespace

std::optional<long> ParseInteger(const QString& text, long min, long max) {
    std::string digits = Digits(text);
    long value = 0;
    const char* end = digits.data() + digits.size();
    auto [stop, error] = std::from_chars(digits.data(), end, value);
    if (error != std::errc() || stop != end || value < min || value > max) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> ParseNumber(const QString& text) {
    std::string digits = Digits(text);
    double value = 0;
    const char* end = digits.data() + digits.size();
    auto [stop, error] = std::from_chars(digits.data(), end, value);
    if (error != std::errc() || stop != end || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

bool CheckInteger(QLineEdit* edit, Dialogs& dialogs, long min, long max) {
    return ParseInteger(edit->text(), min, max) || Refuse(edit, "Please enter an integer.", dialogs);
}

bool CheckNumber(QLineEdit* edit, Dialogs& dialogs) {
    return ParseNumber(edit->text()) || Refuse(edit, "Please enter a number.", dialogs);
}

bool CheckNumberBetween(QLineEdit* edit, double min, double max, Dialogs& dialogs) {
    if (!CheckNumber(edit, dialogs)) {
        return false;
    }
    double value = *ParseNumber(edit->text());
    return (value >= min && value <= max) ||
           Refuse(edit,
                  QString("Please enter a number between %1 and %2.").arg(NumberText(min), NumberText(max)),
                  dialogs);
}

long IntegerIn(const QLineEdit* edit) {
    return ParseInteger(edit->text(), std::numeric_limits<long>::min(), std::numeric_limits<long>::max())
        .value_or(0);
}

double NumberIn(const QLineEdit* edit) {
    return ParseNumber(edit->text()).value_or(0.0);
}

QString NumberText(double value) {
    return QString::asprintf("%.15g", value);
}
