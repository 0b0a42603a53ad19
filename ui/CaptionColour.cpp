#include "ui/CaptionColour.h"

#include <QLabel>

void UseCaptionColour(QWidget* widget) {
    QColor caption = widget->palette().color(QPalette::Active, QPalette::Highlight);
    for (QLabel* label : widget->findChildren<QLabel*>()) {
        QPalette colours = label->palette();
        colours.setColor(QPalette::WindowText, caption);
        label->setPalette(colours);
    }
}
