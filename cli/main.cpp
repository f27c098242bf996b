// tonbrook-cli: the conversion queue driven from the command line.
#include "cli_options.h"
#include "cli_session.h"
#include "model/cover_art.h"
#include "signal_relay.h"

#include "queue/ui_language.h"

#include <QCoreApplication>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <unistd.h>

using namespace tonbrook::cli;

int main(int argc, char **argv)
{
    // A closed pipe on standard output must not kill a conversion halfway through its file.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tonbrook-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TONBROOK_VERSION));
    tonbrook::installTranslations();
    SignalRelay relay;

    const ParsedCommandLine parsed = parseCommandLine(QCoreApplication::arguments());
    switch (parsed.action) {
    case ParsedCommandLine::Action::help:
    case ParsedCommandLine::Action::version:
        std::fputs(parsed.text.toUtf8().constData(), stdout);
        return 0;
    case ParsedCommandLine::Action::usageError:
        std::fputs((QCoreApplication::translate("CliSession", "tonbrook-cli: %1 (see --help)")
                        .arg(parsed.text) +
                    u'\n')
                       .toUtf8()
                       .constData(),
                   stderr);
        return CliSession::exitUsage;
    case ParsedCommandLine::Action::run:
        break;
    }

    // Cover art waits in a cache folder of this run's own, removed on every way out but a kill.
    const tonbrook::CacheSessionScope cacheSession;
    CliSession session(parsed.options, Console{stdout, stderr, ::isatty(STDOUT_FILENO) == 1});
    QObject::connect(&relay, &SignalRelay::received, &session, &CliSession::interrupt);
    QObject::connect(&session, &CliSession::finished, &app, &QCoreApplication::exit,
                     Qt::QueuedConnection);
    QTimer::singleShot(0, &session, &CliSession::start);
    const int status = QCoreApplication::exec();
    if (status == CliSession::exitInterrupted) {
        // Every extraction has stopped; an inspection stuck on a file (a FIFO, a dead mount)
        // would hold up the teardown forever.
        std::fflush(stdout);
        std::fflush(stderr);
        tonbrook::endCacheSession();
        ::_exit(status);
    }
    return status;
}
