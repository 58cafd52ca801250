#pragma once
#include "link/serial_receive.h"

#include <QString>
#include <QThread>
#include <atomic>

// The serial receive thread of the reader test page: RunSerialReceive on its own thread.
// It never touches a widget: every byte and a failed open leave it as queued signals,
// which the page handles on the window thread in the order they were sent.
class comthread : public QThread {
    Q_OBJECT
  public:
    // `entry` is the snapshot taken on the window thread; `stopRequested` belongs to the page,
    // which joins the thread before the flag goes away. `run` tags the signals, so the page
    // can tell bytes of an earlier run that were still queued when it cleared its memo.
    comthread(const TSerialEntryPoints &entry, const std::atomic<uint8_t> &stopRequested,
              quint64 run, QObject *parent = nullptr);

  signals:
    void Received(quint64 run, const QString &text);
    void OpenFailed(quint64 run);
    void Receiving(quint64 run);

  protected:
    void run() override;

  private:
    const TSerialEntryPoints Entry;
    const std::atomic<uint8_t> &StopRequested;
    const quint64 Run;
};
