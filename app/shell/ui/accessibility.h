#pragma once

class QComboBox;
class QMenuBar;
class QWidget;

// What every window gets once it is built, for assistive technology and the keyboard: a name
// (and a description where it helps) for each control that no caption or label names, open
// lists at least as wide as their items, menus that Alt and F10 open, and no maximize button
// on a window of fixed size.
void MakeAccessible(QWidget *window);

// The open list of `combo` at least as wide as its widest item, also after its items change;
// the rectangles its items report lie within the list.
void FitListToItems(QComboBox *combo);

// Alt (pressed and released alone) and F10 take the keyboard into the menus of `bar`;
// access keys in the menu titles (Alt+letter) open their menu.
void OpenMenusFromKeyboard(QMenuBar *bar);

// When `window` is next hidden, the focus goes back to `opener`, the control that opened it:
// the opener's window lost its focus when it was disabled for `window`.
void ReturnFocusOnHide(QWidget *window, QWidget *opener);
