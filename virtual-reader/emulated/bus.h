// Emulated readers on an emulated USB bus: umockdev's testbed holds each reader's sysfs tree
// (USB device, HID interface, HID device, hidraw node) as the kernel shows a real one, and
// the node's reads, writes and ioctls are answered by a HidrawReader. The process under test
// runs with umockdev's preload and sees nothing but these readers.
#pragma once

#include "hidraw_reader.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

typedef struct _UMockdevTestbed UMockdevTestbed;

namespace emu {

class Bus {
  public:
    // Needs umockdev's preload in this process.
    explicit Bus(const std::vector<ReaderSetup> &setups, bool verbose);
    ~Bus();
    Bus(const Bus &) = delete;
    Bus &operator=(const Bus &) = delete;

    int Count() const { return int(nodes_.size()); }
    // The testbed's folder (also in UMOCKDEV_DIR).
    std::string Root() const;

    // Runs f on reader i's model under the lock that the node's file operations take.
    template <class F> auto With(int i, F f) {
        std::lock_guard<std::mutex> lock(mutex_);
        return f(Model(i));
    }
    // Both return once the sysfs tree and the node are gone, or there again.
    void Unplug(int i);
    void Plug(int i);

  private:
    struct Node;
    HidrawReader &Model(int i);
    void Add(Node &n);
    void Remove(Node &n);
    void AfterUnplug(Node &n);
    void SyncDoorbell(Node &n);
    // Forgets the files that were closed since.
    void Prune(Node &n);
    void RunJanitor();
    void WaitForJanitor();

    UMockdevTestbed *testbed_ = nullptr;
    bool verbose_ = false;
    std::mutex mutex_;
    std::vector<std::unique_ptr<Node>> nodes_;
    std::atomic<int> hidDevices_{0}; // numbered across the bus, as the kernel does

    // sysfs changes after an unplug that struck inside a file operation wait for this thread:
    // umockdev is not called back from its own handlers.
    std::thread janitor_;
    std::condition_variable janitorCv_;
    std::deque<Node *> removals_;
    int pendingRemovals_ = 0;
    bool stopping_ = false;

    friend struct NodeHandlers;
};

} // namespace emu
