#pragma once

class QPushButton;
class QWidget;

// Room kept between a button's caption and each of its sides.
inline constexpr int kButtonPadding = 12;

// The width `button` needs to show its caption (its icon, if any) with that room.
int PaddedButtonWidth(const QPushButton *button);

// Gives every captioned push button of `window` at least that width: one in a layout
// gets it as its minimum width, one placed by hand grows evenly about its centre.
void PadButtons(QWidget *window);
