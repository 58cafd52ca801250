#include "link/ui/comthread.h"

namespace {
class SignalReceiver : public TSerialReceiver {
  public:
    SignalReceiver(comthread &thread, quint64 run) : Thread(thread), Run(run) {}
    void Received(std::string_view text) override {
        // The reader's bytes are single-byte characters.
        emit Thread.Received(Run, QString::fromLatin1(text.data(), qsizetype(text.size())));
    }
    void OpenFailed(int) override { emit Thread.OpenFailed(Run); }
    void Receiving() override { emit Thread.Receiving(Run); }

  private:
    comthread &Thread;
    const quint64 Run;
};
} // namespace

comthread::comthread(const TSerialEntryPoints &entry, const std::atomic<uint8_t> &stopRequested,
                     quint64 run, QObject *parent)
    : QThread(parent), Entry(entry), StopRequested(stopRequested), Run(run) {
    setObjectName(QStringLiteral("comthread"));
}

void comthread::run() {
    SignalReceiver receiver(*this, Run);
    RunSerialReceive(Entry, StopRequested, receiver);
}
