// Tavrenhold: a live surface at the top centre of the screen.


#include "app/NotchSettings.h"
#include "app/PanePreferences.h"
#include "design/Appearance.h"

#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int signalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] auto n = ::write(signalPipe[1], &byte, 1);
}

// SIGTERM, SIGINT and SIGHUP end the program through the normal quit path.
void routeTerminationSignals(QApplication &app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] {
        char byte = 0;
        [[maybe_unused]] auto n = ::read(signalPipe[0], &byte, 1);
        app.quit();
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &action, nullptr);
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tavrenhold"));
    QApplication::setQuitOnLastWindowClosed(false);
    routeTerminationSignals(app);

    // Load the settings once at start; the shell that reads them comes with the notch window.
    tavrenhold::NotchSettings::shared();
    tavrenhold::PanePreferences::shared();
    tavrenhold::Appearance::shared();




    return app.exec();
}
