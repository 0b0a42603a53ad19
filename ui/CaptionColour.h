#pragma once

#include <initializer_list>

class QWidget;

// Draws texts in the colour of an active window caption, the palette's active highlight: every label inside
// `container`, or the widgets given (and what inside them takes their palette).
void UseCaptionColour(QWidget* container);
void UseCaptionColour(std::initializer_list<QWidget*> widgets);
