#pragma once

class QWidget;

// Where a window appears when it is shown.
enum class TPlacement {
    KeepPlace, // centred on the screen the first time, then where it was left
    OnOwner,   // centred on its owner at every showing
    Own,       // the window places itself when it is shown
};

// Gives `window` its placement. With an owner the window is an auxiliary window of it: the
// window manager keeps it above the owner (it is a dialog, transient for the owner while
// the owner is shown); it stays modeless and has no parent widget, so the owner disabling
// itself does not disable it and each window is destroyed on its own.
void PlaceWindow(QWidget *window, TPlacement placement, QWidget *owner = nullptr);

// Centres `window` (frame included, as far as it is known) on `over`, or on the available
// area of the screen when `over` is null or hidden.
void CentreWindow(QWidget *window, const QWidget *over = nullptr);
