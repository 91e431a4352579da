// MediaRemoteAdapter: reports the session's now-playing MPRIS player as JSON and sends it commands.
// Started by mediaremote-adapter.pl with the script's own argument list, or directly; see Options.h
// for the commands and exit statuses.

#include "Commands.h"
#include "Lifeline.h"
#include "Options.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QTimer>

#include <csignal>
#include <cstdio>

using namespace tavrenhold::adapter;

int main(int argc, char *argv[])
{
    if (!tieToParent())
        return 128 + SIGTERM;
    QCoreApplication app(argc, argv);
    Lifeline lifeline;

    const auto invocation = parseInvocation(commandArguments(QCoreApplication::arguments()));
    if (!invocation) {
        std::fprintf(stderr,
                     "%s\nusage: mediaremote-adapter.pl <framework> test | stream [--no-diff] [--debounce=<ms>] "
                     "[--no-artwork] [--allow-missing-title] | get [--no-artwork] [--allow-missing-title] | "
                     "send <0|1|2|4|5> | seek <microseconds> | <test client> test\n",
                     qPrintable(invocation.error()));
        return ExitUsage;
    }

    // A helper whose session bus went away can never report again: it ends with a failure, so that
    // whoever supervises it sees that instead of a helper that lives on silently.
    lifeline.endWithBus(QDBusConnection::sessionBus(), ExitFailure);

    // Start inside the event loop, so a command that ends at once still ends it.
    QTimer::singleShot(0, &app, [inv = invocation.value()] {
        QCoro::connect(runCommand(QDBusConnection::sessionBus(), inv), qApp, [](int status) {
            if (status >= 0)
                QCoreApplication::exit(status);
        });
    });
    return app.exec();
}
