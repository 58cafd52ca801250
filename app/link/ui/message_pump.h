#pragma once

// Installs the pump that the HID library runs while it waits for the reader: it processes
// the program's pending events, so its windows repaint. BindReaderLink registers it with
// every HID library it binds. A transaction started from inside the pump is refused
// (RunTransaction returns Busy), so the library is never entered twice.
void InstallMessagePump();
