#pragma once

#include <initializer_list>

class QWidget;

// Draws the texts of the widgets (and of the labels inside them) in the active window caption's colour, the
// palette's active highlight.
void UseCaptionColour(std::initializer_list<QWidget*> widgets);
