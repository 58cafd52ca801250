// The six exports over pcsc-lite. All state is static: one context, one reader table and
// one card for the process, as the program expects.
#include "brenmark.h"

#include "reader_names.h"

#include <PCSC/winscard.h>
#include <PCSC/wintypes.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kSlots = PS_MAX_READERS;
constexpr int kSlotSize = PS_NAME_SLOT;
constexpr DWORD kReceiveAsked = 260; // short APDU response: 256 data bytes and the status
constexpr std::size_t kReceiveArea = 1024;

SCARDCONTEXT g_context = 0;
bool g_have_context = false;
SCARDHANDLE g_card = 0;
bool g_have_card = false;
DWORD g_protocol = 0;
std::int16_t g_count = 0;
char g_table[kSlots][kSlotSize];
// Full names, since a slot may hold a cut one and connecting needs the real name.
char *g_full_names[kSlots];

void forget_names() {
    std::memset(g_table, 0, sizeof g_table);
    for (char *&name : g_full_names) {
        std::free(name);
        name = nullptr;
    }
    g_count = 0;
}

void end_card() {
    if (g_have_card) SCardDisconnect(g_card, SCARD_LEAVE_CARD);
    g_card = 0;
    g_have_card = false;
    g_protocol = 0;
}

void end_context() {
    end_card();
    if (g_have_context) SCardReleaseContext(g_context);
    g_context = 0;
    g_have_context = false;
}

const SCARD_IO_REQUEST *pci_for(DWORD protocol) {
    switch (protocol) {
    case SCARD_PROTOCOL_T0:
        return SCARD_PCI_T0;
    case SCARD_PROTOCOL_T1:
        return SCARD_PCI_T1;
    default:
        return SCARD_PCI_RAW;
    }
}

} // namespace

extern "C" {

int PS_GetDeviceList(char *names, int *count) {
    if (names == nullptr || count == nullptr) return PS_ERR_ARGUMENT;
    // The previous context owns the card handle, so a new listing ends both.
    end_context();
    forget_names();

    SCARDCONTEXT context = 0;
    if (SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context) != SCARD_S_SUCCESS)
        return PS_ERR_NO_CONTEXT;
    g_context = context;
    g_have_context = true;

    DWORD size = 0;
    LONG rv = SCardListReaders(g_context, nullptr, nullptr, &size);
    if (rv != SCARD_S_SUCCESS) return static_cast<int>(rv);
    if (size <= 1) return PS_ERR_NO_READER;
    char *multi = static_cast<char *>(std::malloc(size));
    if (multi == nullptr) return static_cast<int>(SCARD_E_NO_MEMORY);
    rv = SCardListReaders(g_context, nullptr, multi, &size);
    if (rv != SCARD_S_SUCCESS) {
        std::free(multi);
        return static_cast<int>(rv);
    }

    brenmark::NameSpan spans[kSlots];
    std::size_t found = brenmark::split_reader_names(multi, size, spans, kSlots);
    for (std::size_t i = 0; i < found; ++i) {
        const char *name = multi + spans[i].offset;
        brenmark::fill_name_slot(g_table[i], kSlotSize, name, spans[i].length);
        char *full = static_cast<char *>(std::malloc(spans[i].length + 1));
        if (full != nullptr) {
            std::memcpy(full, name, spans[i].length);
            full[spans[i].length] = '\0';
        }
        g_full_names[i] = full;
        std::memcpy(names + i * kSlotSize, g_table[i], kSlotSize);
    }
    std::free(multi);
    g_count = static_cast<std::int16_t>(found);
    if (found == 0) return PS_ERR_NO_READER;
    *count = g_count;
    return PS_OK;
}

int PS_OpenDevice(int index) {
    if (index < 0 || index >= g_count) return PS_ERR_ARGUMENT;
    end_card();
    if (!g_have_context) return PS_ERR_REFUSED;
    // Without memory for the full name the cut one is the best there is.
    const char *name = g_full_names[index] ? g_full_names[index] : g_table[index];
    SCARDHANDLE card = 0;
    DWORD protocol = 0;
    if (SCardConnect(g_context, name, SCARD_SHARE_EXCLUSIVE, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1,
                     &card, &protocol) != SCARD_S_SUCCESS)
        return PS_ERR_REFUSED;
    g_card = card;
    g_have_card = true;
    g_protocol = protocol;
    return PS_OK;
}

int PS_CloseDevice(void) {
    end_card();
    return PS_OK;
}

int PS_FreeDevice(void) {
    end_context();
    return PS_OK;
}

int PS_TransmitData(const unsigned char *command, int length, unsigned char *response,
                    int *response_length) {
    if (length < 1 || command == nullptr || response == nullptr || response_length == nullptr)
        return PS_ERR_ARGUMENT;
    if (!g_have_card) return PS_ERR_NO_CARD;
    unsigned char received[kReceiveArea];
    std::memset(received, 0, sizeof received);
    DWORD received_length = kReceiveAsked;
    if (SCardTransmit(g_card, pci_for(g_protocol), command, static_cast<DWORD>(length), nullptr,
                      received, &received_length) != SCARD_S_SUCCESS)
        return PS_ERR_REFUSED;
    // The service never hands back more than asked; this keeps a faulty one in bounds.
    if (received_length > kReceiveAsked) received_length = kReceiveAsked;
    std::memcpy(response, received, received_length);
    *response_length = static_cast<int>(received_length);
    return PS_OK;
}

int PS_ATRReset(void) {
    if (!g_have_card) return PS_ERR_REFUSED;
    DWORD state = 0;
    DWORD protocol = 0;
    unsigned char atr[MAX_ATR_SIZE];
    DWORD atr_length = sizeof atr;
    if (SCardStatus(g_card, nullptr, nullptr, &state, &protocol, atr, &atr_length) !=
        SCARD_S_SUCCESS)
        return PS_ERR_REFUSED;
    return PS_OK;
}

} // extern "C"
