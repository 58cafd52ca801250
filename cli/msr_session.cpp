#include "msr_session.h"

#include <cstdio>
#include <cstring>
#include <dlfcn.h>

int Fail(const TCliStreams &io, int status, const std::string &message) {
    io.err << "cardtool-cli: " << message << '\n';
    return status;
}

TMsrSession::TMsrSession() : Settings(std::make_unique<TMsrSettings>()), Window(*Settings) {
    std::memset(Settings.get(), 0, sizeof *Settings);
    Text.Fill();
}

std::string TMsrSession::Bind() {
    // The serial library is bound too, as the window binds it, but only USB HID is used:
    // its absence changes nothing here.
    std::string why;
    BindReaderLink(
        Link,
        [&](const char *) {
            if (Link.HidBound || !why.empty()) return;
            const char *error = dlerror();
            why = error ? error : "";
        },
        kCliLibraryFile);
    if (Link.HidBound) return {};
    if (Link.HidModule == nullptr)
        return std::string("cannot load ") + kCliLibraryFile + ": " + why;
    return std::string(kCliLibraryFile) + " lacks HID_Init, HID_Close, HID_WRITE or HID_READ";
}

std::string RefusedText(int status) {
    char text[64];
    std::snprintf(text, sizeof text, "the reader refused the command (status %02X)",
                  unsigned(status & 0xFF));
    return text;
}

int ReportOutcome(const TCliStreams &io, const TMsrSession &m, MsrOutcome outcome) {
    switch (outcome) {
    case MsrOutcome::Success:
        return kExitOk;
    case MsrOutcome::Refused:
        return Fail(io, kExitReaderFailed, RefusedText(m.Window.RefusedStatus));
    case MsrOutcome::NoReader:
        return Fail(io, kExitNoReader, kNoReaderText);
    case MsrOutcome::NoAnswer:
        return Fail(io, kExitReaderFailed, kNoAnswerText);
    case MsrOutcome::DefaultKeyCodes:
        return Fail(io, kExitReaderFailed,
                    "the reader refused to give its configuration (status 41: \"Keycode is "
                    "default setting!\")");
    case MsrOutcome::TooLong:
        return Fail(io, kExitFile,
                    "a key sequence holds more than the 20 bytes the reader takes; nothing was "
                    "written");
    case MsrOutcome::NotKept:
        return Fail(io, kExitVerify,
                    "the reader answered the write but does not hold the configuration sent");
    case MsrOutcome::NoLanguage:
        return Fail(io, kExitFile,
                    "the keyboard language is unknown and the reader reports none to send back; "
                    "nothing was written");
    case MsrOutcome::NotBound:
        return Fail(io, kExitNoReader, std::string("cannot load ") + kCliLibraryFile);
    case MsrOutcome::Busy:
        break;
    }
    return Fail(io, kExitReaderFailed, "another reader operation is running");
}
