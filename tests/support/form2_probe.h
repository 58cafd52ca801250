#pragma once
// The configuration window probes its reader from the event queue once it is shown; tests
// that choose it wait for that probe before they look at the window.
#include "link/ui/TForm2.h"
#include "shell/ui/forms.h"

#include <QCoreApplication>

// Runs the events queued so far until the probe has run or was dropped (it runs from the
// first of them; the bound only keeps a fault from hanging the test).
inline void WaitForProbe() {
    for (int i = 0; i < 100 && Form2 != nullptr && Form2->ProbeQueued(); ++i)
        QCoreApplication::processEvents();
}
