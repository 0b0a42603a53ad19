#pragma once

#include <QString>

#include <limits>
#include <optional>

class Dialogs;
class QLineEdit;

// The numeric fields of the property sheet. A number may have blanks around it and a sign; anything else in
// the box, or an integer beyond the setting's range, makes it no number at all.
std::optional<long> ParseInteger(const QString& text, long min, long max);
std::optional<double> ParseNumber(const QString& text);

// Checks run when OK is pressed: on a bad value each shows its message, puts the focus into the box and
// returns false.
bool CheckInteger(QLineEdit* edit, Dialogs& dialogs, long min = std::numeric_limits<long>::min(),
                  long max = std::numeric_limits<long>::max());
bool CheckNumber(QLineEdit* edit, Dialogs& dialogs);
bool CheckNumberBetween(QLineEdit* edit, double min, double max, Dialogs& dialogs);

// The value of a checked box.
long IntegerIn(const QLineEdit* edit);
double NumberIn(const QLineEdit* edit);

// A number as a box shows it at first: with as many digits as it needs.
QString NumberText(double value);
