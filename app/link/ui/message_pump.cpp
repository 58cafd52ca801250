#include "link/ui/message_pump.h"

#include "link/reader_link.h"

#include <QCoreApplication>

namespace {
// Runs between the HID library's report transfers: windows repaint and timers fire. A
// click that reaches a window which then starts another transaction gets Busy back.
void PumpQtEvents(void *) {
    if (QCoreApplication::instance() != nullptr)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}
} // namespace

void InstallMessagePump() {
    SetMessagePump(&PumpQtEvents, nullptr);
}
