#pragma once

class QWidget;

// Draws every label inside `widget` in the colour of an active window caption (the palette's active
// highlight).
void UseCaptionColour(QWidget* widget);
