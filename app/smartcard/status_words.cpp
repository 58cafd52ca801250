#include "smartcard/status_words.h"

#include <cstdio>

namespace {
struct TExactWord {
    uint16_t Word;
    const char *Meaning;
};

// Words with a meaning of their own.
constexpr TExactWord kExact[] = {
    {0x9000, "Normal processing"},
    {0x6200, "Warning: state unchanged, no information given"},
    {0x6281, "Warning: part of the returned data may be corrupted"},
    {0x6282, "Warning: end of file or record reached before reading Ne bytes"},
    {0x6283, "Warning: selected file deactivated"},
    {0x6284, "Warning: file control information not formatted"},
    {0x6285, "Warning: selected file in termination state"},
    {0x6286, "Warning: no input data available from a sensor"},
    {0x6300, "Warning: state changed, no information given (verification failed)"},
    {0x6381, "Warning: file filled up by the last write"},
    {0x6400, "Execution error: state unchanged"},
    {0x6401, "Execution error: immediate response required by the card"},
    {0x6500, "Execution error: state changed, no information given"},
    {0x6581, "Execution error: memory failure"},
    {0x6700, "Wrong length"},
    {0x6800, "Functions in CLA not supported"},
    {0x6881, "Logical channel not supported"},
    {0x6882, "Secure messaging not supported"},
    {0x6883, "Last command of the chain expected"},
    {0x6884, "Command chaining not supported"},
    {0x6900, "Command not allowed"},
    {0x6981, "Command incompatible with file structure"},
    {0x6982, "Security status not satisfied"},
    {0x6983, "Authentication method blocked"},
    {0x6984, "Reference data not usable"},
    {0x6985, "Conditions of use not satisfied"},
    {0x6986, "Command not allowed (no current EF)"},
    {0x6987, "Expected secure messaging data objects missing"},
    {0x6988, "Incorrect secure messaging data objects"},
    {0x6A00, "Wrong parameters P1-P2"},
    {0x6A80, "Incorrect parameters in the command data field"},
    {0x6A81, "Function not supported"},
    {0x6A82, "File or application not found"},
    {0x6A83, "Record not found"},
    {0x6A84, "Not enough memory space in the file"},
    {0x6A85, "Nc inconsistent with TLV structure"},
    {0x6A86, "Incorrect parameters P1-P2"},
    {0x6A87, "Nc inconsistent with parameters P1-P2"},
    {0x6A88, "Referenced data or reference data not found"},
    {0x6A89, "File already exists"},
    {0x6A8A, "DF name already exists"},
    {0x6B00, "Wrong parameters P1-P2 (offset outside the EF)"},
    {0x6D00, "Instruction code not supported or invalid"},
    {0x6E00, "Class not supported"},
    {0x6F00, "No precise diagnosis"},
};

std::string WithCount(const char *format, uint8_t value) {
    char text[96];
    std::snprintf(text, sizeof text, format, value);
    return text;
}
} // namespace

std::string StatusWordMeaning(uint8_t sw1, uint8_t sw2) {
    const uint16_t word = static_cast<uint16_t>(sw1 << 8 | sw2);
    for (const TExactWord &w : kExact)
        if (w.Word == word) return w.Meaning;

    // Words whose second byte is a number.
    switch (sw1) {
    case 0x61:
        // 00 stands for 256 bytes or more.
        return sw2 == 0 ? "Normal processing: 256 or more response bytes still available"
                        : WithCount("Normal processing: %u response bytes still available", sw2);
    case 0x6C:
        return sw2 == 0 ? "Wrong Le field: 256 bytes available"
                        : WithCount("Wrong Le field: %u bytes available", sw2);
    case 0x63:
        if ((sw2 & 0xF0) == 0xC0)
            return WithCount("Warning: counter at %u (verification failed)", sw2 & 0x0F);
        return "Warning: state changed";
    }

    // The rest by group.
    switch (sw1) {
    case 0x62:
        return "Warning: state unchanged";
    case 0x64:
        return "Execution error: state unchanged";
    case 0x65:
        return "Execution error: state changed";
    case 0x66:
        return "Security-related issue";
    case 0x67:
        return "Wrong length";
    case 0x68:
        return "Functions in CLA not supported";
    case 0x69:
        return "Command not allowed";
    case 0x6A:
        return "Wrong parameters P1-P2";
    case 0x6B:
        return "Wrong parameters P1-P2";
    case 0x6D:
        return "Instruction code not supported or invalid";
    case 0x6E:
        return "Class not supported";
    case 0x6F:
        return "No precise diagnosis";
    case 0x90:
        return "Normal processing (proprietary qualification)";
    }
    if (sw1 >= 0x91 && sw1 <= 0x9F) return "Proprietary status";
    return "Unknown status word";
}
