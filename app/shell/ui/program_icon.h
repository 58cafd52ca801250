#pragma once
#include <QIcon>

// The program's icon (a card entering a reader), drawn from the same SVG file that is
// installed for the desktop, at whatever size a window or the task bar asks for.
QIcon ProgramIcon();
