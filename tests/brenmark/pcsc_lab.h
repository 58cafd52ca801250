// A private smart-card service for the tests and the benchmark: pcscd with the vpcd
// driver in its own mount namespace, and virtual cards of our own that speak vpcd's
// socket protocol. Free of GoogleTest so that the benchmark can use it too.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace brenmark_lab {

using Bytes = std::vector<std::uint8_t>;

// Whether a private pcscd can run here, and why not. The first call points the client
// library at the private daemon's socket, so it must come before any smart-card call of
// the process (pcsc-lite reads PCSCLITE_CSOCK_NAME once).
struct Availability {
    bool usable = false;
    std::string reason; // why not, for the skip message
    bool own_namespace = false;
};
const Availability &availability();

// One pcscd process with one vpcd device per friendly name. Each device shows two
// readers, "<name> 00 00" on port(i) and "<name> 00 01" on port(i) + 1.
class PrivatePcscd {
  public:
    PrivatePcscd() = default;
    PrivatePcscd(const PrivatePcscd &) = delete;
    PrivatePcscd &operator=(const PrivatePcscd &) = delete;
    ~PrivatePcscd() { stop(); }

    // Starts the daemon and waits until it lists all readers. On failure: false, the
    // reason in *error, and nothing left running.
    bool start(const std::vector<std::string> &friendly_names, std::string *error);
    // Stops the daemon (TERM, then KILL after a time-out) and reaps it.
    void stop();
    bool running() const { return pid_ > 0; }
    std::uint16_t port(std::size_t device) const { return ports_.at(device); }
    std::string log() const;

    // Readers counted over all devices in order: reader r is slot r % 2 of device r / 2.
    std::size_t reader_count() const { return names_.size() * 2; }
    std::string reader_name(std::size_t reader) const;
    std::uint16_t reader_port(std::size_t reader) const;

  private:
    pid_t pid_ = -1;
    std::vector<std::uint16_t> ports_;
    std::vector<std::string> names_;
};

// The readers the daemon lists now, through the client library directly; *answered (when
// given) tells whether the service answered at all.
std::vector<std::string> list_readers(bool *answered = nullptr);
// Waits until the reader shows a card (present) or none (!present).
bool wait_for_card(const std::string &reader, bool present, int timeout_ms);

// A virtual card: connects to a vpcd port, answers power and ATR requests with its ATR and
// every command APDU from its script. Runs on its own thread until removed.
class VirtualCard {
  public:
    using Script = std::function<Bytes(const Bytes &)>;

    VirtualCard(Bytes atr, Script script);
    VirtualCard(const VirtualCard &) = delete;
    VirtualCard &operator=(const VirtualCard &) = delete;
    ~VirtualCard() { remove(); }

    // Connects to the reader's port and starts answering.
    bool insert(std::uint16_t port, int timeout_ms = 3000);
    // Closes the connection: for the reader the card is gone.
    void remove();
    // The command APDUs received so far.
    std::vector<Bytes> commands() const;

  private:
    void serve();
    bool send_frame(const Bytes &data);

    Bytes atr_;
    Script script_;
    int fd_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<Bytes> commands_;
};

// Several virtual cards at once, at most one in each reader of a daemon.
class CardRack {
  public:
    explicit CardRack(const PrivatePcscd &daemon) : daemon_(daemon) {}
    CardRack(const CardRack &) = delete;
    CardRack &operator=(const CardRack &) = delete;

    // Puts a card into the reader (taking out the one there) and waits until the service
    // sees it.
    bool insert(std::size_t reader, Bytes atr, VirtualCard::Script script, int timeout_ms = 5000);
    // Takes the card out and waits until the service sees the reader empty.
    bool remove(std::size_t reader, int timeout_ms = 5000);
    // The card in the reader, or null.
    const VirtualCard *card(std::size_t reader) const;

  private:
    const PrivatePcscd &daemon_;
    std::vector<std::unique_ptr<VirtualCard>> cards_;
};

// ATRs: a T=0 card, and a card that offers T=1 only.
inline const Bytes kAtrT0 = {0x3B, 0x02, 0x14, 0x50};
inline const Bytes kAtrT1 = {0x3B, 0x80, 0x01, 0x81};

} // namespace brenmark_lab
