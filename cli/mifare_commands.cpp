// mifare search | read | write | value | dump | restore-data: the Mifare One window's
// operations, each after a search for the card (a new process finds no card selected), with
// the window's guards checked before anything reaches the reader.
#include "card_image.h"
#include "cli.h"
#include "config/settings_file.h"
#include "contactless/mifare_access.h"
#include "contactless/mifare_operations.h"
#include "contactless/mifare_text.h"
#include "json_text.h"
#include "shell/ui_text.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <dlfcn.h>
#include <functional>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <thread>

namespace {

// Keeps what the window's fields would hold and what its boxes would say.
class TCliMifareWindow : public TMifareWindow {
  public:
    std::string Text(TMifareField field) override { return Fields[int(field)]; }
    void SetText(TMifareField field, const std::string &text) override {
        Fields[int(field)] = text;
    }
    bool KeyB(bool) override { return UseKeyB; }
    void Message(const std::string &text) override { Last = text; }
    // The trailer's questions are answered by the command line's permissions.
    bool Ask(const std::string &caption, const std::string &) override {
        if (caption == kPermanentCaption) return Allowed.Permanent;
        if (caption == kZeroKeyACaption) return Allowed.ZeroKeyA;
        return Allowed.Force;
    }
    void SetEnabled(bool) override {}
    void Pause(int milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }

    std::string Fields[int(TMifareField::PurseBlock) + 1];
    bool UseKeyB = false;
    TTrailerPermissions Allowed;
    std::string Last; // the last box's text
};

struct TMifareSession {
    TRfidLink Link;
    TCliMifareWindow Window;
};

bool IsNumber(const std::string &text) {
    if (text.empty()) return false;
    char *end = nullptr;
    std::strtol(text.c_str(), &end, 10);
    return *end == 0;
}

// What a library or card result means here, and the exit status it gives.
int RfStatus(int r) {
    return r == -90 || r == -91 ? kExitNoReader : kExitReaderFailed;
}
std::string RfText(int r) {
    switch (r) {
    case -90:
    case -91:
        return NoReaderText();
    case -92:
        return "the reader did not answer in time";
    case -97:
        return "the reader reported an I/O error";
    case -102:
    case -103:
    case -104:
        return "the reader's reply was malformed (" + std::to_string(r) + ")";
    }
    return r > 0 ? "the reader answered status " + std::to_string(r)
                 : "the library failed (" + std::to_string(r) + ")";
}

// Loads the library as the Mifare window does, under the configuration window's file name.
int Bind(const TCliStreams &io, TMifareSession &m) {
    TUiText texts;
    texts.Fill();
    std::string why;
    BindRfidLink(
        m.Link, texts,
        [&](const char *, const char *) {
            const char *error = dlerror();
            why = error ? error : "";
        },
        kCliLibraryFile);
    if (m.Link.Bound) return kExitOk;
    if (m.Link.Module == nullptr)
        return Fail(io, kExitNoReader, std::string("cannot load ") + kCliLibraryFile + ": " + why);
    return Fail(io, kExitNoReader,
                std::string(kCliLibraryFile) + " lacks one of the contactless entry points");
}

// SearchCard; 0 when the card is selected, else the library's or the card's result.
int Search(TMifareSession &m) {
    m.Window.Last.clear();
    MifareSearchCard(m.Link, m.Window);
    if (m.Window.Last == kSearchSuccessful) return 0;
    // A failed step is shown as its number.
    return IsNumber(m.Window.Last) ? std::atoi(m.Window.Last.c_str()) : -1;
}

// The library bound and the card found; the exit status otherwise.
int Start(const TCliStreams &io, TMifareSession &m, const TMifareOptions &o) {
    if (const int status = Bind(io, m)) return status;
    m.Window.UseKeyB = o.KeyB;
    if (const int r = Search(m)) return Fail(io, RfStatus(r), "no card selected: " + RfText(r));
    return kExitOk;
}

std::string KeyName(const TMifareOptions &o) {
    return o.KeyB ? "key B" : "key A";
}

// The checks every block command makes before it talks to the reader.
int CheckTarget(const TCliStreams &io, const TMifareOptions &o, const std::string &sector,
                const std::string &block) {
    if (!ParseKey(o.Key)) return Fail(io, kExitUsage, "--key needs exactly 12 hex digits");
    if (!ParseIndex(sector, kMifareSectors - 1) || !ParseIndex(block, kMifareBlocksPerSector - 1))
        return Fail(io, kExitUsage, "the sector must be 0 to 15 and the block 0 to 3");
    return kExitOk;
}

// The failure an operation's last box reports: the card's, or a guard's.
int OperationFailed(const TCliStreams &io, const TMifareSession &m, const TMifareOptions &o,
                    const std::string &sector, const std::string &what) {
    const std::string &last = m.Window.Last;
    if (last == kAuthenticationFails)
        return Fail(io, kExitReaderFailed,
                    "key authentication failed for sector " + sector + " with " + KeyName(o));
    // The guards were checked before the card was searched for; should one still speak, the
    // input was refused.
    for (const char *guard :
         {kInputKey, kBadAddress, kBadRow, kBadTrailer, kPurseOnTrailer, kEnterAmount})
        if (last == guard) return Fail(io, kExitUsage, last);
    return Fail(io, kExitReaderFailed,
                what + (last.empty() ? " was not done" : " failed (\"" + last + "\")"));
}

// Draws "[#####.....] n/16" over itself on a terminal.
void Progress(const TCliStreams &io, const char *what, int done, int total) {
    if (!io.terminal) return;
    std::string bar(size_t(total), '.');
    bar.replace(0, size_t(done), size_t(done), '#');
    io.err << '\r' << what << " [" << bar << "] " << done << '/' << total << " sectors"
           << (done == total ? "\n" : "") << std::flush;
}

// Works through the card's blocks sector by sector, authenticating before every block: a
// reply names its command but not its block, so two reads (or writes) in a row would let a
// reply held over from the first pass for the second's. After anything failed the card is
// searched for again: a real card leaves its selected state then.
// Returns a mark per block: `done`, 'A' authentication failed, 'E' the command failed,
// '-' not tried (the card was lost), '.' left out on purpose.
std::string WalkCard(const TCliStreams &io, TMifareSession &m, const TMifareOptions &o,
                     const char *what, char done, const std::function<bool(int, int)> &wanted,
                     const std::function<int(int, int)> &command) {
    const TMifareKey key = *ParseKey(o.Key);
    std::string marks(kCardBlocks, '.');
    bool searchFirst = false, lost = false;
    for (int sector = 0; sector < kMifareSectors; ++sector) {
        bool refused = false;
        for (int block = 0; block < kMifareBlocksPerSector; ++block) {
            char &mark = marks[size_t(sector * kMifareBlocksPerSector + block)];
            if (!wanted(sector, block)) continue;
            if (refused) { // the key opens nothing in this sector
                mark = 'A';
                continue;
            }
            if (lost || (searchFirst && Search(m) != 0)) {
                lost = true;
                mark = '-';
                continue;
            }
            searchFirst = false;
            if (m.Link.RF_authentication(o.KeyB ? 1 : 0, sector, key.data()) != 0) {
                mark = 'A';
                refused = searchFirst = true;
                continue;
            }
            if (command(sector, block) == 0) {
                mark = done;
            } else {
                mark = 'E';
                searchFirst = true;
            }
        }
        Progress(io, what, sector + 1, kMifareSectors);
    }
    return marks;
}

using json = nlohmann::ordered_json;

// A result: as JSON, or as the text the command prints.
void Print(const TCliStreams &io, const json &result, const std::string &text) {
    if (io.json)
        io.out << JsonText(result) << '\n';
    else
        io.out << text;
}

// A decimal number as a JSON number; anything else as it is.
json Number(const std::string &text) {
    char *end = nullptr;
    errno = 0;
    const long long n = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end || errno) return text;
    return n;
}

// The marks of a sector map, one string of four per sector.
json MarksJson(const std::string &marks) {
    json sectors = json::array();
    for (size_t at = 0; at < marks.size(); at += kMifareBlocksPerSector)
        sectors.push_back(marks.substr(at, kMifareBlocksPerSector));
    return sectors;
}

} // namespace

int CmdMifareSearch(const TCliStreams &io) {
    TMifareSession m;
    if (const int status = Bind(io, m)) return status;
    if (const int r = Search(m)) return Fail(io, RfStatus(r), "card search failed: " + RfText(r));
    const std::string &serial = m.Window.Fields[int(TMifareField::Serial)];
    Print(io, json{{"serial", serial}}, serial + "\n");
    return kExitOk;
}

int CmdMifareRead(const TCliStreams &io, const TMifareOptions &o, const std::string &sector,
                  const std::string &block) {
    if (const int status = CheckTarget(io, o, sector, block)) return status;
    TMifareSession m;
    if (const int status = Start(io, m, o)) return status;
    TCliMifareWindow &w = m.Window;
    w.Fields[int(TMifareField::Key)] = o.Key;
    w.Fields[int(TMifareField::Sector)] = sector;
    w.Fields[int(TMifareField::Block)] = block;
    MifareReadCard(m.Link, w);
    if (w.Last != kReadSuccessful)
        return OperationFailed(io, m, o, sector, "reading sector " + sector + " block " + block);
    const std::string &row = w.Fields[int(TMifareField::Row0) + *ParseIndex(block, 3)];
    Print(io,
          json{{"sector", *ParseIndex(sector, kMifareSectors - 1)},
               {"block", *ParseIndex(block, 3)},
               {"data", row}},
          row + "\n");
    return kExitOk;
}

int CmdMifareWrite(const TCliStreams &io, const TMifareOptions &o, const std::string &sector,
                   const std::string &block, const std::string &hex,
                   const TTrailerPermissions &allowed) {
    if (const int status = CheckTarget(io, o, sector, block)) return status;
    std::string row = hex;
    const int b = *ParseIndex(block, 3);
    if (b == kTrailerBlock) {
        switch (ValidateTrailer(row)) {
        case TTrailerCheck::Ok:
            break;
        case TTrailerCheck::WrongLength:
        case TTrailerCheck::NotHex:
            return Fail(io, kExitUsage,
                        "a sector trailer is written whole: 32 hex digits (key A, access bits, "
                        "user byte, key B); nothing was written");
        case TTrailerCheck::BrokenAccessBits:
            return Fail(io, kExitUsage,
                        "the access bits (digits 13 to 18) break the complement rule and would "
                        "block the sector for good; nothing was written");
        }
        if (!allowed.Force)
            return Fail(io, kExitUsage,
                        "block 3 is the sector trailer (keys and access bits): writing it needs "
                        "--force-trailer; nothing was written");
        const TMifareBlock trailer = *ParseRow(row);
        const TTrailerOutlook outlook = ReviewTrailer(trailer);
        if (outlook.Permanent() && !allowed.Permanent)
            return Fail(io, kExitUsage,
                        PermanentTrailerText(outlook, *ParseIndex(sector, kMifareSectors - 1)) +
                            " Writing these access bits needs --force-trailer --allow-permanent; "
                            "nothing was written");
        if (ZeroKeyAChangesKey(trailer, *ParseKey(o.Key), o.KeyB) && !allowed.ZeroKeyA)
            return Fail(io, kExitUsage,
                        "key A (digits 1 to 12) is 000000000000, as a trailer that was read shows "
                        "it, and would replace the sector's key A; --allow-zero-key-a writes it "
                        "anyway; nothing was written");
    }
    if (!NormalizeHexField(row) || !ParseRow(row))
        return Fail(io, kExitUsage, "the block data must be 1 to 32 hex digits");

    TMifareSession m;
    if (const int status = Start(io, m, o)) return status;
    TCliMifareWindow &w = m.Window;
    w.Allowed = allowed;
    w.Fields[int(TMifareField::Key)] = o.Key;
    w.Fields[int(TMifareField::Sector)] = sector;
    w.Fields[int(TMifareField::Block)] = block;
    w.Fields[int(TMifareField::Row0) + b] = row;
    MifareWriteCard(m.Link, w);
    if (w.Last != kWriteSuccessful)
        return OperationFailed(io, m, o, sector, "writing sector " + sector + " block " + block);
    Print(io,
          json{{"sector", *ParseIndex(sector, kMifareSectors - 1)},
               {"block", *ParseIndex(block, 3)},
               {"written", row}},
          "sector " + sector + " block " + block + " written\n");
    return kExitOk;
}

int CmdMifareValue(const TCliStreams &io, const TMifareOptions &o, TValueOp op,
                   const std::string &sector, const std::string &block, const std::string &amount) {
    if (const int status = CheckTarget(io, o, sector, block)) return status;
    if (*ParseIndex(block, 3) == kTrailerBlock)
        return Fail(io, kExitUsage, "block 3 holds the sector's keys and cannot be a value block");
    if (op == TValueOp::Get && !amount.empty())
        return Fail(io, kExitUsage, "value get takes no amount");
    if (op != TValueOp::Get && !ParseAmount(amount))
        return Fail(io, kExitUsage, "the amount must be 1 to 9 decimal digits");

    TMifareSession m;
    if (const int status = Start(io, m, o)) return status;
    TCliMifareWindow &w = m.Window;
    w.Fields[int(TMifareField::PurseKey)] = o.Key;
    w.Fields[int(TMifareField::PurseSector)] = sector;
    w.Fields[int(TMifareField::PurseBlock)] = block;
    w.Fields[int(TMifareField::Amount)] = amount;
    const char *success = kBalanceSuccessful;
    switch (op) {
    case TValueOp::Init:
        MifarePurse(m.Link, w, TPurseOp::Initialize);
        success = "Initialize Successful";
        break;
    case TValueOp::Inc:
        MifarePurse(m.Link, w, TPurseOp::Increase);
        success = "Increase Successful";
        break;
    case TValueOp::Dec:
        MifarePurse(m.Link, w, TPurseOp::Decrease);
        success = "Decrease Successful";
        break;
    case TValueOp::Get:
        MifareBalance(m.Link, w);
        break;
    }
    if (w.Last != success)
        return OperationFailed(io, m, o, sector,
                               "the value operation on sector " + sector + " block " + block);
    static const char *const kOperations[] = {"init", "inc", "dec", "get"};
    json result{{"sector", *ParseIndex(sector, kMifareSectors - 1)},
                {"block", *ParseIndex(block, 3)},
                {"operation", kOperations[int(op)]}};
    if (op == TValueOp::Get)
        result["value"] = Number(w.Fields[int(TMifareField::Amount)]);
    else
        result["amount"] = Number(amount);
    Print(io, result, op == TValueOp::Get ? w.Fields[int(TMifareField::Amount)] + "\n" : "");
    return kExitOk;
}

int CmdMifareDump(const TCliStreams &io, const TMifareOptions &o, const std::string &file,
                  bool partial) {
    if (!ParseKey(o.Key)) return Fail(io, kExitUsage, "--key needs exactly 12 hex digits");
    TMifareSession m;
    if (const int status = Start(io, m, o)) return status;
    TCardImage image{};
    const std::string marks = WalkCard(
        io, m, o, "reading", kMarkRead, [](int, int) { return true; },
        [&](int s, int b) {
            uint8_t data[16] = {};
            int16_t length = 0;
            const int r = m.Link.RF_read(s, b, data, &length);
            if (r == 0) PutCardBlock(image, s * kMifareBlocksPerSector + b, data);
            return r;
        });
    if (!io.json) io.out << SectorMap(marks, kDumpLegend);
    const int read = CountMarks(marks, kMarkRead);
    json result{{"file", file},
                {"blocks_read", read},
                {"blocks", kCardBlocks},
                {"sectors", MarksJson(marks)},
                {"written", false}};
    // An image with holes would read as a card of zeros there: it replaces nothing unless
    // asked for, and then only with the map that tells the holes apart.
    if (read < kCardBlocks && !partial) {
        if (io.json) Print(io, result, "");
        return Fail(io, kExitReaderFailed,
                    std::to_string(read) + " of " + std::to_string(kCardBlocks) + " blocks read; " +
                        file + " was not written (--partial writes what was read, with its map)");
    }
    std::string error = WriteFileAtomically(file, image.data(), image.size());
    if (error.empty()) {
        const std::string map = CardMapText(image, marks);
        error = WriteFileAtomically(CardMapPath(file),
                                    reinterpret_cast<const uint8_t *>(map.data()), map.size());
    }
    if (!error.empty()) return Fail(io, kExitFile, error);
    result["written"] = true;
    result["map"] = CardMapPath(file);
    Print(io, result,
          std::to_string(read) + " of " + std::to_string(kCardBlocks) + " blocks read into " +
              file + " (map in " + CardMapPath(file) + ")\n");
    return read == kCardBlocks ? kExitOk : kExitReaderFailed;
}

namespace {

// Which blocks of the image hold what a dump read: from the map beside it, or every block
// when there is none and the user said so. The exit status when neither.
int HeldBlocks(const TCliStreams &io, const std::string &file, const TCardImage &image,
               bool allBlocks, std::string &held) {
    const std::string mapPath = CardMapPath(file);
    struct stat st;
    if (::stat(mapPath.c_str(), &st) != 0 && errno == ENOENT) {
        if (!allBlocks)
            return Fail(io, kExitUsage,
                        file + " has no read map beside it (" + mapPath +
                            "), so blocks a dump could not read cannot be told from zeros; "
                            "--all-blocks writes every data block of the image; nothing was "
                            "written");
        held.assign(kCardBlocks, kMarkRead);
        return kExitOk;
    }
    std::vector<uint8_t> bytes;
    const std::string error = ReadSettingsFile(mapPath, bytes);
    if (!error.empty()) return Fail(io, kExitFile, error);
    switch (ParseCardMap(std::string(bytes.begin(), bytes.end()), image, held)) {
    case TCardMapCheck::Ok:
        return kExitOk;
    case TCardMapCheck::Malformed:
        return Fail(io, kExitFile, mapPath + ": not a card image map; nothing was written");
    case TCardMapCheck::OtherImage:
        break;
    }
    return Fail(io, kExitFile,
                mapPath + " belongs to another image than " + file +
                    " (the image was changed after the dump); nothing was written");
}

} // namespace

int CmdMifareRestoreData(const TCliStreams &io, const TMifareOptions &o, const std::string &file,
                         bool allBlocks) {
    std::vector<uint8_t> bytes;
    const std::string error = ReadSettingsFile(file, bytes);
    if (!error.empty()) return Fail(io, kExitFile, error);
    if (bytes.size() != kCardImageBytes)
        return Fail(io, kExitFile,
                    file + ": file is " + (bytes.size() > kSettingsFileBytes ? "over " : "") +
                        std::to_string(bytes.size()) + " bytes; a card image holds " +
                        std::to_string(kCardImageBytes));
    TCardImage image{};
    std::copy(bytes.begin(), bytes.end(), image.begin());
    std::string held;
    if (const int status = HeldBlocks(io, file, image, allBlocks, held)) return status;
    if (!ParseKey(o.Key)) return Fail(io, kExitUsage, "--key needs exactly 12 hex digits");
    const auto wanted = [&](int s, int b) {
        return RestoredBlock(s, b) && held[size_t(s * kMifareBlocksPerSector + b)] == kMarkRead;
    };
    TMifareSession m;
    if (const int status = Start(io, m, o)) return status;
    std::string marks = WalkCard(io, m, o, "writing", 'W', wanted, [&](int s, int b) {
        // The reader takes 32 bytes: the block, then 16 zeros (as the window sends it).
        uint8_t buffer[32] = {};
        std::copy_n(image.begin() + (s * kMifareBlocksPerSector + b) * 16, 16, buffer);
        return m.Link.RF_write(s, b, buffer, int16_t(sizeof buffer));
    });
    for (int b = 0; b < kCardBlocks; ++b)
        if (RestoredBlock(b / 4, b % 4) && !wanted(b / 4, b % 4)) marks[size_t(b)] = 'x';
    const int toWrite = CountWanted(wanted), written = CountMarks(marks, 'W');
    const int missing = CountMarks(marks, 'x');
    std::string text = SectorMap(marks, "W written, A authentication failed, E write failed, - "
                                        "not tried, x not in the image (the dump could not read "
                                        "it), . left alone (block 0 and trailers)");
    text += std::to_string(written) + " of " + std::to_string(toWrite) +
            " data blocks written from " + file;
    if (missing) text += "; " + std::to_string(missing) + " the image does not hold left alone";
    Print(io,
          json{{"file", file},
               {"blocks_written", written},
               {"blocks_to_write", toWrite},
               {"blocks_not_in_image", missing},
               {"sectors", MarksJson(marks)}},
          text + "\n");
    return written == toWrite ? kExitOk : kExitReaderFailed;
}
