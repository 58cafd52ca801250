#include "pcsc_service.h"

#include <PCSC/winscard.h>
#include <PCSC/wintypes.h>

#include <algorithm>
#include <cctype>

namespace {

// A context for one command, released on every way out.
class TContext {
  public:
    TContext() { Result = SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &Handle); }
    ~TContext() {
        if (Result == SCARD_S_SUCCESS) SCardReleaseContext(Handle);
    }
    TContext(const TContext &) = delete;
    TContext &operator=(const TContext &) = delete;

    SCARDCONTEXT Handle = 0;
    LONG Result;
};

} // namespace

long ListReaderNames(SCARDCONTEXT context, std::vector<std::string> &names) {
    names.clear();
    DWORD size = 0;
    LONG rv = SCardListReaders(context, nullptr, nullptr, &size);
    if (rv == SCARD_E_NO_READERS_AVAILABLE) return 0;
    if (rv != SCARD_S_SUCCESS) return rv;
    std::string multi(size, '\0');
    rv = SCardListReaders(context, nullptr, multi.data(), &size);
    if (rv == SCARD_E_NO_READERS_AVAILABLE) return 0;
    if (rv != SCARD_S_SUCCESS) return rv;
    multi.resize(std::min<std::size_t>(size, multi.size()));
    for (std::size_t at = 0; at < multi.size() && multi[at] != '\0';) {
        const std::size_t stop = std::min(multi.find('\0', at), multi.size());
        names.push_back(multi.substr(at, stop - at));
        at = stop + 1;
    }
    return 0;
}

long ListReaderStates(std::vector<TReaderState> &readers) {
    readers.clear();
    TContext context;
    if (context.Result != SCARD_S_SUCCESS) return context.Result;
    std::vector<std::string> names;
    if (const long rv = ListReaderNames(context.Handle, names)) return rv;
    if (names.empty()) return 0;

    std::vector<SCARD_READERSTATE> states(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        states[i].szReader = names[i].c_str();
        states[i].dwCurrentState = SCARD_STATE_UNAWARE;
    }
    const LONG rv =
        SCardGetStatusChange(context.Handle, 0, states.data(), static_cast<DWORD>(states.size()));
    if (rv != SCARD_S_SUCCESS && rv != SCARD_E_TIMEOUT) return rv;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const DWORD s = states[i].dwEventState;
        TReaderState r;
        r.Name = names[i];
        r.Card = (s & SCARD_STATE_PRESENT) != 0;
        r.Mute = r.Card && (s & SCARD_STATE_MUTE) != 0;
        r.Exclusive = (s & SCARD_STATE_EXCLUSIVE) != 0;
        r.InUse = r.Exclusive || (s & SCARD_STATE_INUSE) != 0;
        if (r.Card && !r.Mute)
            r.Atr.assign(states[i].rgbAtr,
                         states[i].rgbAtr + std::min<DWORD>(states[i].cbAtr, MAX_ATR_SIZE));
        readers.push_back(std::move(r));
    }
    return 0;
}

std::string ServiceFailureText(long code) {
    if (code == SCARD_E_NO_SERVICE || code == SCARD_E_SERVICE_STOPPED)
        return "the smart-card service (pcscd) is not running";
    return std::string("the smart-card service failed: ") +
           pcsc_stringify_error(static_cast<LONG>(code));
}

int ServiceFailure(const TCliStreams &io, long code) {
    return Fail(io, kExitNoReader, ServiceFailureText(code));
}

bool ValidReaderChoice(const std::string &choice, std::string &why) {
    if (choice.empty()) {
        why = "--reader needs a reader's index or name";
        return false;
    }
    const bool number = std::all_of(choice.begin(), choice.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
    });
    if (number && choice.size() > 4) {
        why = "--reader " + choice + ": no listing has that many readers";
        return false;
    }
    for (char c : choice)
        if (static_cast<unsigned char>(c) < 0x20) {
            why = "--reader holds a control character";
            return false;
        }
    return true;
}

int ResolveReader(const TCliStreams &io, const std::vector<std::string> &names,
                  const std::string &choice, int &status) {
    const bool number = std::all_of(choice.begin(), choice.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
    });
    if (number) {
        const int index = std::stoi(choice);
        if (index < static_cast<int>(names.size())) return index;
        status = Fail(io, kExitNoReader,
                      "there is no PC/SC reader " + choice + " (" + std::to_string(names.size()) +
                          (names.size() == 1 ? " reader is" : " readers are") + " listed)");
        return -1;
    }
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i] == choice) return static_cast<int>(i);
    std::vector<int> found;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i].find(choice) != std::string::npos) found.push_back(static_cast<int>(i));
    if (found.size() == 1) return found[0];
    if (found.empty()) {
        status = Fail(io, kExitNoReader, "no PC/SC reader is named '" + choice + "'");
        return -1;
    }
    std::string list;
    for (int i : found)
        list += (list.empty() ? "'" : ", '") + names[static_cast<std::size_t>(i)] + "'";
    status = Fail(io, kExitUsage, "'" + choice + "' names several readers: " + list);
    return -1;
}
