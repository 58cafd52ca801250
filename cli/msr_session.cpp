#include "msr_session.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>

namespace {
// Paths and serial numbers are far shorter; a longer value is no reader's.
constexpr size_t kMaxDeviceName = 255;
} // namespace

int Fail(const TCliStreams &io, int status, const std::string &message) {
    io.err << "cardtool-cli: " << message << '\n';
    return status;
}

std::string NoReaderText() {
    const char *chosen = std::getenv(kDeviceVariable);
    if (chosen && *chosen)
        return std::string("no reader ") + chosen +
               " found (no reader of the family has that path or serial number; cardtool-cli "
               "list shows those attached)";
    return kNoReaderFound;
}

std::string CheckDeviceName(const std::string &name) {
    if (name.empty()) return "no reader path or serial number given";
    if (name.size() > kMaxDeviceName)
        return "longer than " + std::to_string(kMaxDeviceName) +
               " characters, which no reader path or serial number is";
    for (const char c : name)
        if (c < 0x20 || c > 0x7E) {
            char code[8];
            std::snprintf(code, sizeof code, "%02X", unsigned(static_cast<unsigned char>(c)));
            return std::string("holds the byte ") + code +
                   ", which no reader path or serial number has";
        }
    return {};
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

std::string OutcomeText(const TMsrSession &m, MsrOutcome outcome, int &status) {
    status = kExitReaderFailed;
    switch (outcome) {
    case MsrOutcome::Success:
        status = kExitOk;
        return {};
    case MsrOutcome::Refused:
        return RefusedText(m.Window.RefusedStatus);
    case MsrOutcome::NoReader:
        status = kExitNoReader;
        return NoReaderText();
    case MsrOutcome::NoAnswer:
        return kNoAnswerText;
    case MsrOutcome::DefaultKeyCodes:
        return "the reader refused to give its configuration (status 41: \"Keycode is "
               "default setting!\")";
    case MsrOutcome::TooLong:
        status = kExitFile;
        return "a key sequence holds more than the 20 bytes the reader takes; nothing was "
               "written";
    case MsrOutcome::NotKept:
        status = kExitVerify;
        return "the reader answered the write but does not hold the configuration sent";
    case MsrOutcome::NoLanguage:
        status = kExitFile;
        return "the keyboard language is unknown and the reader reports none to send back; "
               "nothing was written";
    case MsrOutcome::NotBound:
        status = kExitNoReader;
        return std::string("cannot load ") + kCliLibraryFile;
    case MsrOutcome::Busy:
        break;
    }
    return "another reader operation is running";
}

int ReportOutcome(const TCliStreams &io, const TMsrSession &m, MsrOutcome outcome) {
    int status = kExitOk;
    const std::string text = OutcomeText(m, outcome, status);
    return status == kExitOk ? kExitOk : Fail(io, status, text);
}
