#pragma once

#include <QObject>

class QSocketNotifier;

namespace tonbrook::cli {

// Turns SIGINT, SIGTERM and SIGHUP into a Qt signal on the main thread: the handler only writes
// the signal number into a pipe that a socket notifier watches. One instance per process.
class SignalRelay : public QObject {
    Q_OBJECT

public:
    explicit SignalRelay(QObject *parent = nullptr);
    ~SignalRelay() override;

    // False when the pipe or the handlers could not be set up.
    bool isActive() const noexcept { return m_notifier != nullptr; }

signals:
    void received(int signalNumber);

private:
    void drain();

    QSocketNotifier *m_notifier = nullptr;
};

} // namespace tonbrook::cli
