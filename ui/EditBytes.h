#pragma once

#include <string>

class QLineEdit;

// Edit boxes that show a setting's bytes: names on disk need not be UTF-8. A box gives back the bytes it was
// given for as long as its text is untouched, otherwise the text as it stands, in UTF-8.
void SetEditBytes(QLineEdit* edit, const std::string& bytes);
std::string EditBytes(const QLineEdit* edit);
