#include "ui/CaptionColour.h"

#include <QPalette>
#include <QWidget>

void UseCaptionColour(std::initializer_list<QWidget*> widgets) {
    for (QWidget* widget : widgets) {
        QPalette colours = widget->palette();
        colours.setColor(QPalette::WindowText, colours.color(QPalette::Active, QPalette::Highlight));
        widget->setPalette(colours);
    }
}
