#include "signal_relay.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace tonbrook::cli {

namespace {

int relayPipe[2] = {-1, -1};

void onSignal(int signalNumber)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // A full pipe already holds a pending wake-up, so a lost byte loses nothing.
    [[maybe_unused]] const ssize_t written = ::write(relayPipe[1], &byte, 1);
    errno = savedErrno;
}

bool install(int signalNumber)
{
    struct sigaction previous {};
    if (::sigaction(signalNumber, nullptr, &previous) != 0)
        return false;
    // Honour nohup and the like: a signal ignored at start stays ignored.
    if (signalNumber == SIGHUP && previous.sa_handler == SIG_IGN)
        return true;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(signalNumber, &action, nullptr) == 0;
}

} // namespace

SignalRelay::SignalRelay(QObject *parent) : QObject(parent)
{
    if (::pipe2(relayPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    if (!install(SIGINT) || !install(SIGTERM) || !install(SIGHUP))
        return;
    m_notifier = new QSocketNotifier(relayPipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalRelay::drain);
}

SignalRelay::~SignalRelay()
{
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction current {};
        if (::sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler == onSignal)
            std::signal(signalNumber, SIG_DFL);
    }
    delete m_notifier;
    for (int &fd : relayPipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void SignalRelay::drain()
{
    unsigned char bytes[16];
    ssize_t count = 0;
    while ((count = ::read(relayPipe[0], bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < count; ++i)
            emit received(bytes[i]);
    }
}

} // namespace tonbrook::cli
