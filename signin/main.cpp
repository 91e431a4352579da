// tavrenhold-signin: shows one vendor's sign-in page in a window with a private, memory-only cookie
// jar and tells the parent (standard output) every cookie change, the current address, the Done
// button and the window's closing. Nothing else leaves it: its own output and errors, and those of
// the web engine's processes, go to the null device.
//
//     tavrenhold-signin --url <address> --title <window title> --user-agent <text>

#include "SignInRelay.h"

#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QScreen>
#include <QWebEngineCookieStore>
#include <QtWebEngineQuick/QQuickWebEngineProfile>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>

#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

void silence(QtMsgType, const QMessageLogContext &, const QString &) {}

struct Arguments {
    QUrl url;
    QString title;
    QString userAgent;
};

bool parse(int argc, char **argv, Arguments &out)
{
    for (int i = 1; i + 1 < argc; i += 2) {
        const QByteArray name = argv[i];
        const QString value = QString::fromUtf8(argv[i + 1]);
        if (name == "--url")
            out.url = QUrl(value, QUrl::StrictMode);
        else if (name == "--title")
            out.title = value;
        else if (name == "--user-agent")
            out.userAgent = value;
        else
            return false;
    }
    return argc % 2 == 1 && out.url.isValid() && (out.url.scheme() == u"https" || out.url.scheme() == u"http");
}

} // namespace

int main(int argc, char **argv)
{
    // Dies with the parent, whoever started it.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::signal(SIGPIPE, SIG_IGN);

    // The pipes to the parent move to descriptors that no process started from here inherits; the
    // standard ones, which the web engine's processes do inherit, go to the null device.
    const int toParent = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    const int fromParent = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (toParent < 0 || fromParent < 0 || null < 0)
        return 2;
    ::dup2(null, STDIN_FILENO);
    ::dup2(null, STDOUT_FILENO);
    ::dup2(null, STDERR_FILENO);
    ::close(null);
    qInstallMessageHandler(silence);

    Arguments arguments;
    if (!parse(argc, argv, arguments))
        return 2;

    // Chromium refuses to run its sandbox as root.
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");

    QtWebEngineQuick::initialize();
    QGuiApplication app(argc, argv);

    SignInRelay relay(toParent, fromParent);

    // Off the record: no storage name, nothing written to disk, no cookie shared with anyone.
    auto *profile = new QQuickWebEngineProfile(&app);
    profile->setOffTheRecord(true);
    profile->setHttpUserAgent(arguments.userAgent);
    profile->setHttpCacheType(QQuickWebEngineProfile::MemoryHttpCache);
    profile->setPersistentCookiesPolicy(QQuickWebEngineProfile::NoPersistentCookies);
    if (!profile->isOffTheRecord())
        return 2;
    // The jar is mirrored from its first cookie on: connected before anything loads.
    QWebEngineCookieStore *store = profile->cookieStore();
    QObject::connect(store, &QWebEngineCookieStore::cookieAdded, &relay, &SignInRelay::cookieAdded);
    QObject::connect(store, &QWebEngineCookieStore::cookieRemoved, &relay, &SignInRelay::cookieRemoved);
    store->loadAllCookies();

    QQmlEngine engine;
    QQmlComponent component(&engine, QUrl(QStringLiteral("qrc:/signin/SignInWindow.qml")));
    std::unique_ptr<QObject> root(component.createWithInitialProperties({
        {QStringLiteral("signInProfile"), QVariant::fromValue<QObject *>(profile)},
        {QStringLiteral("relay"), QVariant::fromValue<QObject *>(&relay)},
        {QStringLiteral("startAddress"), arguments.url},
        {QStringLiteral("title"), arguments.title},
    }));
    auto *window = qobject_cast<QQuickWindow *>(root.get());
    if (!window)
        return 3;

    QObject::connect(&relay, &SignInRelay::quitRequested, &app, [window] {
        window->close();
        QCoreApplication::quit();
    });

    if (QScreen *screen = window->screen()) {
        const QRect area = screen->availableGeometry();
        window->setPosition(area.center() - QPoint(window->width() / 2, window->height() / 2));
    }
    window->show();
    window->raise();
    window->requestActivate();

    const int status = app.exec();
    root.reset(); // the view goes before its profile
    return status;
}
