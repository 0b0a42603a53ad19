#include "ui/CaptionColour.h"

#include <QLabel>
#include <QPalette>
#include <QWidget>

namespace {

void Colour(QWidget* widget) {
    QPalette colours = widget->palette();
    colours.setColor(QPalette::WindowText, colours.color(QPalette::Active, QPalette::Highlight));
    widget->setPalette(colours);
}

} // namespace

void UseCaptionColour(QWidget* container) {
    for (QLabel* label : container->findChildren<QLabel*>()) {
        Colour(label);
    }
}

void UseCaptionColour(std::initializer_list<QWidget*> widgets) {
    for (QWidget* widget : widgets) {
        Colour(widget);
    }
}
