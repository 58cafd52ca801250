#include "contactless/mifare_operations.h"

#include "contactless/mifare_access.h"
#include "contactless/mifare_text.h"

#include <algorithm>
#include <array>
#include <optional>

namespace {

bool gRunning = false;

// Marks an operation as running from its first check to its last message.
class Running {
  public:
    Running() { gRunning = true; }
    ~Running() { gRunning = false; }
    Running(const Running &) = delete;
    Running &operator=(const Running &) = delete;
};

// The window takes no input while the card is talked to (pauses included), and is enabled
// again on every way out.
class Disabled {
  public:
    explicit Disabled(TMifareWindow &w) : w_(w) { w_.SetEnabled(false); }
    ~Disabled() { w_.SetEnabled(true); }
    Disabled(const Disabled &) = delete;
    Disabled &operator=(const Disabled &) = delete;

  private:
    TMifareWindow &w_;
};

// Every entry point an operation calls must be there: a window kept open without its
// library (or with part of it) calls none of them.
bool Usable(const TRfidLink &l) {
    return l.Bound && l.RF_Antenna_Sta && l.RF_Init_Type && l.RF_Request && l.RF_Anticoll &&
           l.RF_Select && l.RF_authentication && l.RF_read && l.RF_write && l.RF_initval &&
           l.RF_increment && l.RF_Debit && l.RF_readval;
}

// False, after saying so, when the library is not bound.
bool CanStart(const TRfidLink &link, TMifareWindow &w) {
    if (!Usable(link)) {
        w.Message(kHidOpenError);
        return false;
    }
    return true;
}

// A failure of the library or the card, unless it only says that the library was busy.
void Report(TMifareWindow &w, int result, const char *failure) {
    if (result != kRfBusy) w.Message(failure);
}

TMifareField Row(int block) {
    return TMifareField(int(TMifareField::Row0) + block);
}

struct Target {
    int keyChoice, sector, block;
    TMifareKey key;
};

// The key, sector and block an operation works on; nullopt once the user was told what is
// wrong with them.
std::optional<Target> ReadTarget(TMifareWindow &w, bool purse) {
    const auto key = ParseKey(w.Text(purse ? TMifareField::PurseKey : TMifareField::Key));
    if (!key) {
        w.Message(kInputKey);
        return std::nullopt;
    }
    const int keyChoice = w.KeyB(purse) ? 1 : 0;
    const auto sector = ParseIndex(w.Text(purse ? TMifareField::PurseSector : TMifareField::Sector),
                                   kMifareSectors - 1);
    const auto block = ParseIndex(w.Text(purse ? TMifareField::PurseBlock : TMifareField::Block),
                                  kMifareBlocksPerSector - 1);
    if (!sector || !block) {
        w.Message(kBadAddress);
        return std::nullopt;
    }
    return Target{keyChoice, *sector, *block, *key};
}

// Authenticates, then runs `command` when that worked; the window is disabled throughout.
// Returns the first nonzero result and the text that reports it.
template <typename Command>
int Authenticated(const TRfidLink &link, TMifareWindow &w, const Target &t,
                  const char *commandFailure, const char *&failure, Command command) {
    Disabled disabled(w);
    int r = link.RF_authentication(t.keyChoice, t.sector, t.key.data());
    if (r != 0) {
        failure = kAuthenticationFails;
        return r;
    }
    r = command();
    failure = commandFailure;
    return r;
}

} // namespace

bool MifareOperationRunning() {
    return gRunning;
}

void MifareSearchCard(const TRfidLink &link, TMifareWindow &w) {
    if (gRunning) return;
    Running running;
    if (!CanStart(link, w)) return;

    uint32_t serial = 0; // the bytes in the order the card sent them
    int16_t serialLength = 0, cardType = 0;
    const uint8_t *serialBytes = reinterpret_cast<const uint8_t *>(&serial);
    int r = 0;
    {
        Disabled disabled(w);
        const auto step = [&](int i) {
            switch (i) {
            case 0:
                return link.RF_Antenna_Sta(0);
            case 1:
                return link.RF_Init_Type(0);
            case 2:
                return link.RF_Antenna_Sta(1);
            case 3:
                return link.RF_Request(1, &cardType);
            case 4:
                return link.RF_Anticoll(4, &serial, &serialLength);
            default:
                // A library claiming more than four bytes cannot make us read past them.
                serialLength = int16_t(std::clamp<int>(serialLength, 0, sizeof serial));
                return link.RF_Select(serialBytes, serialLength);
            }
        };
        for (int i = 0; i < 6 && r == 0; ++i) {
            if (i > 0) w.Pause(kSearchPauseMs);
            r = step(i);
        }
    }
    if (r != 0) {
        if (r != kRfBusy) w.Message(std::to_string(r));
        return;
    }
    w.SetText(TMifareField::Serial, BytesToPlainHex(serialBytes, size_t(serialLength)));
    w.Message(kSearchSuccessful);
}

void MifareReadCard(const TRfidLink &link, TMifareWindow &w) {
    if (gRunning) return;
    Running running;
    if (!CanStart(link, w)) return;
    const auto t = ReadTarget(w, false);
    if (!t) return;

    uint8_t data[16] = {};
    int16_t length = 0;
    const char *failure = nullptr;
    const int r = Authenticated(link, w, *t, kReadError, failure,
                                [&] { return link.RF_read(t->sector, t->block, data, &length); });
    if (r != 0) {
        Report(w, r, failure);
        return;
    }
    // The block read fills its own row; the other three are emptied.
    for (int b = 0; b < kMifareBlocksPerSector; ++b)
        w.SetText(Row(b), b == t->block ? BytesToPlainHex(data, sizeof data) : std::string());
    w.Message(kReadSuccessful);
}

void MifareWriteCard(const TRfidLink &link, TMifareWindow &w) {
    if (gRunning) return;
    Running running;
    if (!CanStart(link, w)) return;
    const auto t = ReadTarget(w, false);
    if (!t) return;

    const std::string row = w.Text(Row(t->block));
    if (t->block == kTrailerBlock) {
        // Broken access bits block the sector for good: such a row never reaches the card.
        if (ValidateTrailer(row) != TTrailerCheck::Ok) {
            w.Message(kBadTrailer);
            return;
        }
        if (!w.Ask(kTrailerCaption, kTrailerQuestion)) return;
        // What cannot be undone, or changes a key unseen, needs a Yes of its own.
        const TMifareBlock trailer = *ParseRow(row);
        const TTrailerOutlook outlook = ReviewTrailer(trailer);
        if (outlook.Permanent() &&
            !w.Ask(kPermanentCaption,
                   PermanentTrailerText(outlook, t->sector) + kPermanentQuestion))
            return;
        if (ZeroKeyAChangesKey(trailer, t->key, t->keyChoice != 0) &&
            !w.Ask(kZeroKeyACaption, kZeroKeyAQuestion))
            return;
    }
    const auto bytes = ParseRow(row);
    if (!bytes) {
        w.Message(kBadRow);
        return;
    }
    // The reader takes 32 bytes: the block, then 16 zeros.
    std::array<uint8_t, 32> buffer{};
    std::copy(bytes->begin(), bytes->end(), buffer.begin());

    const char *failure = nullptr;
    const int r = Authenticated(link, w, *t, kWriteError, failure, [&] {
        return link.RF_write(t->sector, t->block, buffer.data(), int16_t(buffer.size()));
    });
    if (r != 0) {
        Report(w, r, failure);
        return;
    }
    w.Message(kWriteSuccessful);
}

void MifarePurse(const TRfidLink &link, TMifareWindow &w, TPurseOp op) {
    if (gRunning) return;
    Running running;
    if (!CanStart(link, w)) return;
    const auto t = ReadTarget(w, true);
    if (!t) return;
    // A value written over a trailer would wreck its access bits.
    if (t->block == kTrailerBlock) {
        w.Message(kPurseOnTrailer);
        return;
    }
    const auto amount = ParseAmount(w.Text(TMifareField::Amount));
    if (!amount) {
        w.Message(kEnterAmount);
        return;
    }

    RfValueFn command = link.RF_initval;
    const char *error = "Initialize Error", *success = "Initialize Successful";
    if (op == TPurseOp::Increase) {
        command = link.RF_increment;
        error = "Increase Error";
        success = "Increase Successful";
    } else if (op == TPurseOp::Decrease) {
        command = link.RF_Debit;
        error = "Decrease Error";
        success = "Decrease Successful";
    }
    const char *failure = nullptr;
    const int r = Authenticated(link, w, *t, error, failure,
                                [&] { return command(t->sector, t->block, *amount); });
    if (r != 0) {
        Report(w, r, failure);
        return;
    }
    w.Message(success);
}

void MifareBalance(const TRfidLink &link, TMifareWindow &w) {
    if (gRunning) return;
    Running running;
    if (!CanStart(link, w)) return;
    const auto t = ReadTarget(w, true);
    if (!t) return;

    int32_t value = 0;
    const char *failure = nullptr;
    const int r = Authenticated(link, w, *t, kBalanceError, failure,
                                [&] { return link.RF_readval(t->sector, t->block, &value); });
    if (r != 0) {
        Report(w, r, failure);
        return;
    }
    w.Message(kBalanceSuccessful);
    w.SetText(TMifareField::Amount, std::to_string(value));
}

bool MifareExit(const TRfidLink &link, TMifareWindow &w) {
    if (gRunning) return false;
    if (Usable(link)) {
        Running running;
        Disabled disabled(w);
        link.RF_Antenna_Sta(0);
    }
    return true;
}
