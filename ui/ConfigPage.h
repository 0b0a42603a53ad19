#pragma once

#include <QWidget>

// One page of the property sheet; its controls edit the sheet's copy of the settings.
class ConfigPage : public QWidget {
  public:
    using QWidget::QWidget;

    // Checks the page's fields when OK is pressed; on a bad one shows why, focuses it and returns false.
    virtual bool Validate() { return true; }
    // Copies the controls into the settings once every page is valid; false keeps the sheet open.
    virtual bool Store() = 0;
};
