#include "smartcard/pcsc_operations.h"

#include "smartcard/apdu_text.h"
#include "smartcard/status_words.h"

#include <algorithm>
#include <cstring>

namespace {
bool CheckBound(const TPcscContext &c) {
    if (c.Link.Bound == 1) return true;
    c.Window.Message(kPcscOpenError);
    return false;
}

} // namespace

int PcscListReaders(const TPcscContext &c) {
    c.Readers.clear();
    c.Window.ClearReaders();
    char buffer[kReaderBuffer] = {};
    int count = 0;
    const int result = c.Link.PS_GetDeviceList(buffer, &count);
    if (result == 0) c.Readers = CopyReaderList(buffer, count);
    return result;
}

namespace {
void FillReaders(const TPcscContext &c, const char *emptyText) {
    for (const std::string &name : c.Readers)
        c.Window.AddReader(name);
    if (c.Readers.empty())
        c.Window.SetReaderText(emptyText);
    else
        c.Window.SelectReader(0);
}

void Report(const TPcscContext &c, int result, const char *error, const char *success) {
    c.Window.Message(result != 0 ? error : success);
}

int TransmitOnce(PsTransmitDataFn transmit, const std::vector<uint8_t> &command,
                 std::vector<uint8_t> &answer) {
    unsigned char response[kResponseArea] = {};
    int length = 0;
    const int result =
        transmit(command.data(), static_cast<int>(command.size()), response, &length);
    answer.clear();
    if (result != 0) return result;
    // The library's length is not trusted past the area it was given.
    length = std::clamp(length, 0, kResponseArea);
    answer.assign(response, response + length);
    return 0;
}

// GET RESPONSE on the command's logical channel, without its secure messaging or chaining
// bits. The first interindustry classes carry channels 0-3 in bits 1-2, the further ones
// (0x40-0x7F) channels 4-19 in bits 1-4; other classes get the basic channel.
std::vector<uint8_t> GetResponse(const std::vector<uint8_t> &command, uint8_t le) {
    const uint8_t c = command[0];
    const uint8_t cla = (c & 0xE0) == 0x00   ? (c & 0x03)
                        : (c & 0xC0) == 0x40 ? uint8_t(0x40 | (c & 0x0F))
                                             : 0x00;
    return {cla, 0xC0, 0x00, 0x00, le};
}

void AppendHexLines(std::string &out, const char *label, const std::vector<uint8_t> &bytes) {
    constexpr std::size_t kPerLine = 16;
    out += label;
    if (bytes.empty()) {
        out += " none\n";
        return;
    }
    const std::string indent(std::strlen(label) + 1, ' ');
    for (std::size_t at = 0; at < bytes.size(); at += kPerLine) {
        out += at == 0 ? " " : indent;
        out += BytesToSpacedHex(bytes.data() + at, std::min(kPerLine, bytes.size() - at));
        out += '\n';
    }
}
} // namespace

void PcscList(const TPcscContext &c) {
    if (c.Link.Bound != 1) return;
    if (PcscListReaders(c) == 0) FillReaders(c, kNoPcscDevice);
    if (c.Readers.empty()) {
        c.Window.Message(kNoPcscDevice);
        c.Window.ClearReaders();
        c.Window.SetReaderText("");
    }
}

void PcscRefresh(const TPcscContext &c) {
    if (!CheckBound(c)) return;
    const int result = PcscListReaders(c);
    c.Window.Message(std::to_string(result));
    if (result != 0) return;
    FillReaders(c, kNoSmartReader);
}

void PcscOpen(const TPcscContext &c) {
    if (!CheckBound(c)) return;
    Report(c, c.Link.PS_OpenDevice(c.Window.ReaderIndex()), kOpenError, kOpenSuccessful);
}

void PcscClose(const TPcscContext &c) {
    if (!CheckBound(c)) return;
    Report(c, c.Link.PS_CloseDevice(), kCloseError, kCloseSuccessful);
}

void PcscReset(const TPcscContext &c) {
    if (!CheckBound(c)) return;
    Report(c, c.Link.PS_ATRReset(), kResetError, kResetSuccessful);
}

void PcscFree(const TPcscContext &c) {
    if (!CheckBound(c)) return;
    c.Link.PS_FreeDevice();
}

void PcscApdu(const TPcscContext &c) {
    if (!CheckBound(c)) return;
    const std::string typed = c.Window.CommandText();
    const std::string_view text = TrimBlanks(typed);
    std::vector<uint8_t> command;
    // Text that is no command (too long for its work area, or not hexadecimal) is
    // refused whole; nothing is sent.
    if (text.empty() || text.size() > kCommandTextLimit || !CommandTextToBytes(text, command) ||
        command.empty()) {
        c.Window.Message(kNoApduData);
        return;
    }
    const TApduExchange exchange =
        ExchangeApdu(c.Link.PS_TransmitData, command, c.Window.AutoGetResponse());
    const std::string details = ExchangeDetails(exchange);
    if (exchange.Result != 0) {
        // The previous answer must not stand as the answer to this command.
        c.Window.ShowResponse("", details);
        c.Window.Message(kTransmitError);
        return;
    }
    c.Window.Message(kTransmitSuccessful);
    c.Window.ShowResponse(BytesToHex(exchange.Response.data(), exchange.Response.size()), details);
}

void PcscEndConnection(const TPcscContext &c) {
    if (c.Link.Bound == 1) c.Link.PS_CloseDevice();
}

bool CommandWithLe(const std::vector<uint8_t> &command, uint8_t le, std::vector<uint8_t> &out) {
    if (command.size() < 4) return false;
    out = command;
    const std::size_t size = command.size();
    // Header only, or header, Lc and data: no Le yet.
    const bool noLe = size == 4 || (size > 5 && command[4] != 0 && size == 5u + command[4]);
    if (noLe)
        out.push_back(le);
    else
        out.back() = le;
    return true;
}

TApduExchange ExchangeApdu(PsTransmitDataFn transmit, const std::vector<uint8_t> &command,
                           bool autoGetResponse) {
    TApduExchange exchange;
    std::vector<uint8_t> joined; // data of the 61xx answers so far
    std::vector<uint8_t> next = command;
    std::vector<uint8_t> answer;
    // A command resent for a wrong Le is not resent again: a card that asks for another Le
    // each time would otherwise be sent the same command over and over.
    bool leResent = false;
    for (int followUps = 0;; ++followUps) {
        exchange.Sent.push_back(next);
        exchange.Result = TransmitOnce(transmit, next, answer);
        if (exchange.Result != 0) return exchange;
        const std::size_t n = answer.size();
        if (autoGetResponse && n >= 2 && followUps < kMaxFollowUps) {
            const uint8_t sw1 = answer[n - 2], sw2 = answer[n - 1];
            if (sw1 == 0x61) {
                joined.insert(joined.end(), answer.begin(), answer.end() - 2);
                next = GetResponse(command, sw2);
                leResent = false;
                continue;
            }
            std::vector<uint8_t> again;
            if (sw1 == 0x6C && !leResent && CommandWithLe(next, sw2, again) && again != next) {
                next = std::move(again);
                leResent = true;
                continue;
            }
        }
        joined.insert(joined.end(), answer.begin(), answer.end());
        exchange.Response = std::move(joined);
        return exchange;
    }
}

std::string ExchangeDetails(const TApduExchange &exchange) {
    std::string out;
    for (const auto &sent : exchange.Sent)
        AppendHexLines(out, "Sent:", sent);
    if (exchange.Result != 0) {
        out += "No response (result " + std::to_string(exchange.Result) + ")";
        return out;
    }
    const std::vector<uint8_t> &r = exchange.Response;
    out += "Response: " + std::to_string(r.size()) + (r.size() == 1 ? " byte\n" : " bytes\n");
    if (r.size() < 2) {
        AppendHexLines(out, "Data:", r);
        out += "SW1 SW2: missing";
        return out;
    }
    AppendHexLines(out, "Data:", std::vector<uint8_t>(r.begin(), r.end() - 2));
    const uint8_t sw1 = r[r.size() - 2], sw2 = r[r.size() - 1];
    out += "SW1 SW2: " + BytesToSpacedHex(&r[r.size() - 2], 2) + " (" +
           StatusWordMeaning(sw1, sw2) + ")";
    return out;
}
