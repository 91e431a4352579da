// labels: usage web
// The real sign-in program (the web engine, in a process of its own) on a private X server with
// openbox, against a fake vendor site on 127.0.0.1 whose host names the engine maps there: what
// reaches us over the pipe, each vendor's way of ending a sign-in, the Done button and the close
// button, lookalike cookies, a superseded or crashed program, and a test process that never maps
// the web engine itself.
#include "platform/WebSignInProcess.h"
#include "usage/VendorLoginController.h"
#include "x11/X11TestSupport.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace tavrenhold;
using namespace std::chrono_literals;
using platform::WebSignInProcess;
using Outcome = VendorLoginController::Outcome;

namespace {

constexpr int peerCeilingMs = 90000; // a web engine starting on a busy machine

// The system clock, counting the poll's sleeps so a test can tell that passes went by.
class CountingClock final : public Clock {
public:
    MonoTime now() const override { return Clock::system().now(); }
    QDateTime wallNow() const override { return Clock::system().wallNow(); }
    QCoro::Task<bool> sleepFor(Millis d, CancelToken token = {}) override
    {
        ++sleeps;
        return Clock::system().sleepFor(d, std::move(token));
    }
    QCoro::Task<bool> sleepUntil(QDateTime deadline, CancelToken token = {}) override
    {
        return Clock::system().sleepUntil(std::move(deadline), std::move(token));
    }
    int sleeps = 0;
};

QCoro::Task<> collect(QCoro::Task<Outcome> task, std::vector<Outcome> *results)
{
    results->push_back(co_await std::move(task));
}

QString sessionText(const UsageSession &session)
{
    QStringList parts;
    for (auto it = session.cbegin(); it != session.cend(); ++it)
        parts.append(it.key() + u'=' + it.value());
    return parts.join(u';');
}

bool running(qint64 pid)
{
    if (pid <= 0)
        return false;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    return !text.contains(") Z "); // a zombie has ended
}

// The sign-in window with this title, once it is shown; 0 while there is none.
QByteArray windowNamed(const QString &title)
{
    QProcess search;
    search.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                              QStringLiteral("--name"), QLatin1Char('^') + title + QLatin1Char('$')});
    search.waitForFinished(30000);
    return search.readAllStandardOutput().trimmed().split('\n').value(0);
}

// Waits for a shown window with this title. A plain QTRY over windowNamed could fail after success:
// it asks once more after its loop, and a window just closing answers differently.
QByteArray waitForWindowNamed(const QString &title)
{
    QDeadlineTimer deadline(peerCeilingMs);
    while (!deadline.hasExpired()) {
        const QByteArray id = windowNamed(title);
        if (!id.isEmpty())
            return id;
        QTest::qWait(50);
    }
    return {};
}

// Once the window manager knows the window of this title, asks it to close the window, as its close
// button does: once, since a closed window is soon gone. False when the program ended first.
bool askToClose(const QString &title, qint64 pid)
{
    QDeadlineTimer deadline(peerCeilingMs);
    while (!deadline.hasExpired() && running(pid)) {
        if (QProcess::execute(QStringLiteral("wmctrl"), {QStringLiteral("-c"), title}) == 0)
            return true;
        QTest::qWait(50);
    }
    return false;
}

// "520x720": the size of a window's contents.
QString sizeOf(const QByteArray &window)
{
    QProcess geometry;
    geometry.start(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"), QString::fromLatin1(window)});
    geometry.waitForFinished(30000);
    const QString text = QString::fromLatin1(geometry.readAllStandardOutput());
    const qsizetype at = text.indexOf(QStringLiteral("Geometry: "));
    return at < 0 ? QString() : text.mid(at + 10).section(u'\n', 0, 0).trimmed();
}

// A click at a point of the window's contents, as the user's.
bool clickAt(const QByteArray &window, int x, int y)
{
    return QProcess::execute(QStringLiteral("xdotool"),
                             {QStringLiteral("mousemove"), QStringLiteral("--window"), QString::fromLatin1(window),
                              QString::number(x), QString::number(y), QStringLiteral("click"), QStringLiteral("1")})
        == 0;
}

// The "Done" button: 12 points in from both sides, 10 above the bottom, 28 high, in a 520 × 720 window.
bool pressDone(const QByteArray &window) { return clickAt(window, 260, 720 - 10 - 14); }

bool hasCookie(const WebSignInProcess &window, const QString &name, const QString &domain, const QString &value)
{
    for (const auto &c : window.cookies()) {
        if (c.name == name && c.domain == domain && c.value == value)
            return true;
    }
    return false;
}

} // namespace

class SignInProgramTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    QProcess m_bus;
    QProcess m_site;
    test::XDriver m_driver;
    test::Openbox m_openbox;
    int m_port = 0;

    [[nodiscard]] QString origin(const char *host) const
    {
        return QStringLiteral("https://%1:%2").arg(QLatin1String(host)).arg(m_port);
    }

    [[nodiscard]] UsageEndpoints origins() const
    {
        UsageEndpoints o;
        o.openaiWeb = origin("chatgpt.test");
        o.anthropicWeb = origin("claude.test");
        o.googleWeb = origin("gemini.vendor.test");
        o.googleAccounts = origin("accounts.vendor.test");
        o.googleDomain = QStringLiteral("vendor.test");
        o.cursorWeb = origin("cursor.test");
        o.cursorAuthenticator = origin("authenticator.cursor.test");
        return o;
    }

    struct Run {
        CountingClock clock;
        QList<QPointer<WebSignInProcess>> windows;
        std::vector<Outcome> results;

        // A sign-in a failed check left open ends here, while its results can still be written.
        ~Run()
        {
            if (VendorLoginController *open = VendorLoginController::current())
                open->finish(Outcome::failure(VendorLoginController::LoginError::cancelled));
        }

        void start(UsageVendor vendor, VendorLoginProfile profile)
        {
            VendorLoginController::Services services{
                &clock,
                [this]() -> std::unique_ptr<platform::WebSignInWindow> {
                    auto window = std::make_unique<WebSignInProcess>(QStringLiteral(SIGNIN_PROGRAM));
                    windows.append(window.get());
                    return window;
                },
                QStringLiteral("Tavrenhold Test Agent")};
            auto task = collect(VendorLoginController::signIn(vendor, std::move(profile), services), &results);
            Q_UNUSED(task);
        }
        [[nodiscard]] QString outcome(std::size_t i = 0) const
        {
            if (i >= results.size())
                return QStringLiteral("(none yet)");
            return results[i].ok() ? sessionText(results[i].value())
                                   : VendorLoginController::message(results[i].error());
        }
    };

    // A session bus of the test's own, named in DBUS_SESSION_BUS_ADDRESS.
    bool startBus()
    {
        test::dieWithParent(m_bus);
        m_bus.setStandardErrorFile(QProcess::nullDevice());
        m_bus.start(QStringLiteral("dbus-daemon"),
                    {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        if (!m_bus.waitForStarted(peerCeilingMs) || !QTest::qWaitFor([this] { return m_bus.canReadLine(); }, peerCeilingMs))
            return false;
        const QByteArray address = m_bus.readLine().trimmed();
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        return !address.isEmpty();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(QFile::exists(QStringLiteral(SIGNIN_PROGRAM)));
        // A window manager closes windows for the user and places them.
        QVERIFY(m_openbox.start(m_driver.connection()));
        // The program and its web engine run on this display, with private folders, the vendors'
        // names on loopback.
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS",
                "--host-resolver-rules=\"MAP *.test 127.0.0.1\" --ignore-certificate-errors");
        QVERIFY(m_home.isValid());
        for (const char *name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
            qputenv(name, m_home.filePath(QLatin1String(name)).toLocal8Bit());
        // The programs' session bus is one of the test's own that ends with it: without one, each
        // web engine would start a bus daemon of its own that outlives the test.
        QVERIFY(startBus());

        // The site speaks HTTPS with a certificate made here (a __Secure- cookie needs it).
        const QString certificate = m_home.filePath(QStringLiteral("site.pem"));
        const QString key = m_home.filePath(QStringLiteral("site.key"));
        QProcess openssl;
        openssl.setStandardOutputFile(QProcess::nullDevice());
        openssl.setStandardErrorFile(QProcess::nullDevice());
        openssl.start(QStringLiteral("openssl"),
                      {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
                       QStringLiteral("-nodes"), QStringLiteral("-days"), QStringLiteral("1"), QStringLiteral("-subj"),
                       QStringLiteral("/CN=vendor.test"), QStringLiteral("-keyout"), key, QStringLiteral("-out"),
                       certificate});
        QVERIFY(openssl.waitForFinished(peerCeilingMs));
        QCOMPARE(openssl.exitCode(), 0);

        m_site.setProgram(QStringLiteral("python3"));
        m_site.setArguments({QStringLiteral(SIGNIN_SITE), certificate, key});
        m_site.setStandardErrorFile(QProcess::nullDevice());
        m_site.start();
        QVERIFY(m_site.waitForStarted(peerCeilingMs));
        QTRY_VERIFY_WITH_TIMEOUT(m_site.canReadLine(), peerCeilingMs);
        m_port = m_site.readLine().trimmed().toInt();
        QVERIFY(m_port > 0);
    }

    void cleanupTestCase()
    {
        for (QProcess *process : {&m_site, &m_bus}) {
            process->kill();
            process->waitForFinished(10000);
        }
    }

    // The pipe carries the jar (domain cookies with their dot, host-only ones without, empty values
    // too) and the current address; closing ends the program.
    void pipeCarriesCookiesAndAddress()
    {
        WebSignInProcess window(QStringLiteral(SIGNIN_PROGRAM));
        QSignalSpy failed(&window, &platform::WebSignInWindow::failed);
        window.open({QStringLiteral("Sign in to Anthropic"), QUrl(origin("claude.test") + "/login"),
                     QStringLiteral("Tavrenhold Test Agent")});
        QTRY_VERIFY_WITH_TIMEOUT(hasCookie(window, "sessionKey", ".claude.test", "sk-ant-test"), peerCeilingMs);
        QVERIFY(hasCookie(window, "theme", "claude.test", "dark"));
        QVERIFY(hasCookie(window, "empty", "claude.test", ""));
        QTRY_COMPARE_WITH_TIMEOUT(window.address(), QUrl(origin("claude.test") + "/welcome"), peerCeilingMs);
        const qint64 pid = window.processId();
        QVERIFY(running(pid));
        window.close();
        QTRY_VERIFY_WITH_TIMEOUT(!running(pid), peerCeilingMs);
        QCOMPARE(failed.count(), 0);
    }

    // Anthropic's session cookie ends the sign-in with the vendor's cookies, empty values left out.
    void anthropicBySessionCookie()
    {
        Run run;
        run.start(UsageVendor::anthropic, *VendorLoginProfile::profile(UsageVendor::anthropic, origins()));
        QTRY_COMPARE_WITH_TIMEOUT(run.results.size(), std::size_t(1), peerCeilingMs);
        QCOMPARE(run.outcome(), QStringLiteral("sessionKey=sk-ant-test;theme=dark"));
        QTRY_VERIFY_WITH_TIMEOUT(run.windows.constFirst().isNull(), peerCeilingMs);
    }

    // OpenAI's second token part alone is a session.
    void openaiSecondPart()
    {
        Run run;
        run.start(UsageVendor::openai, *VendorLoginProfile::profile(UsageVendor::openai, origins()));
        QTRY_COMPARE_WITH_TIMEOUT(run.results.size(), std::size_t(1), peerCeilingMs);
        QCOMPARE(run.outcome(), QStringLiteral("__Secure-next-auth.session-token.0=part0"));
    }

    // Google has no session cookie: reaching the Gemini host after the accounts page ends it.
    void googleByAddress()
    {
        Run run;
        run.start(UsageVendor::google, *VendorLoginProfile::profile(UsageVendor::google, origins()));
        QTRY_COMPARE_WITH_TIMEOUT(run.results.size(), std::size_t(1), peerCeilingMs);
        QCOMPARE(run.outcome(), QStringLiteral("SID=sid-test"));
    }

    // Cursor's cookie on its authenticator host.
    void cursorByCookie()
    {
        Run run;
        run.start(UsageVendor::cursor, *VendorLoginProfile::profile(UsageVendor::cursor, origins()));
        QTRY_COMPARE_WITH_TIMEOUT(run.results.size(), std::size_t(1), peerCeilingMs);
        QCOMPARE(run.outcome(), QStringLiteral("WorkosCursorSessionToken=user%3A%3Atok"));
    }

    // Done with only cookies that are no session: they are the session. Done with none: not signed in.
    void doneButton()
    {
        Run run;
        VendorLoginProfile waiting = *VendorLoginProfile::profile(UsageVendor::anthropic, origins());
        waiting.loginURL = QUrl(origin("claude.test") + "/login/wait");
        run.start(UsageVendor::anthropic, waiting);
        QPointer<WebSignInProcess> window = run.windows.constFirst();
        QTRY_VERIFY_WITH_TIMEOUT(window && hasCookie(*window, "theme", "claude.test", "dark"), peerCeilingMs);
        const qint64 firstPid = window->processId();
        const QByteArray first = waitForWindowNamed(QStringLiteral("Sign in to Anthropic"));
        QVERIFY(!first.isEmpty());
        QCOMPARE(sizeOf(first), QStringLiteral("520x720"));
        QVERIFY(pressDone(first));
        QTRY_COMPARE_WITH_TIMEOUT(run.results.size(), std::size_t(1), peerCeilingMs);
        QCOMPARE(run.outcome(), QStringLiteral("theme=dark"));
        // The first window is gone before the second, of the same title (and often the same id), opens.
        QTRY_VERIFY_WITH_TIMEOUT(!running(firstPid), peerCeilingMs);
        QTRY_VERIFY_WITH_TIMEOUT(windowNamed(QStringLiteral("Sign in to Anthropic")).isEmpty(), peerCeilingMs);

        VendorLoginProfile bare = waiting;
        bare.loginURL = QUrl(origin("claude.test") + "/login/nothing");
        run.start(UsageVendor::anthropic, bare);
        window = run.windows.constLast();
        QTRY_VERIFY_WITH_TIMEOUT(window && window->address() == bare.loginURL, peerCeilingMs);
        const QByteArray second = waitForWindowNamed(QStringLiteral("Sign in to Anthropic"));
        QVERIFY(!second.isEmpty());
        QVERIFY(pressDone(second));
        QTRY_COMPARE_WITH_TIMEOUT(run.results.size(), std::size_t(2), peerCeilingMs);
        QCOMPARE(run.outcome(1), QStringLiteral("No session found yet. Finish signing in, then press Done."));
    }

    // The window's close button cancels the sign-in, and the program ends.
    void closeButton()
    {
        Run run;
        VendorLoginProfile waiting = *VendorLoginProfile::profile(UsageVendor::google, origins());
        waiting.loginURL = QUrl(origin("accounts.vendor.test") + "/signin/wait");
        run.start(UsageVendor::google, waiting);
        QPointer<WebSignInProcess> window = run.windows.constFirst();
        QTRY_VERIFY_WITH_TIMEOUT(window && window->address() == waiting.loginURL, peerCeilingMs);
        const qint64 pid = window->processId();
        QVERIFY2(askToClose(QStringLiteral("Sign in to Google"), pid), qPrintable(run.outcome()));
        QTRY_COMPARE_WITH_TIMEOUT(run.results.size(), std::size_t(1), peerCeilingMs);
        QCOMPARE(run.outcome(), QStringLiteral("Sign-in cancelled."));
        QTRY_VERIFY_WITH_TIMEOUT(!running(pid), peerCeilingMs);
    }

    // A lookalike domain's session cookie does not end the sign-in, nor reach the session that Done
    // hands back.
    void lookalikeNotTaken()
    {
        Run run;
        VendorLoginProfile profile = *VendorLoginProfile::profile(UsageVendor::anthropic, origins());
        profile.loginURL = QUrl(origin("notclaude.test") + "/login");
        run.start(UsageVendor::anthropic, profile);
        QPointer<WebSignInProcess> window = run.windows.constFirst();
        QTRY_VERIFY_WITH_TIMEOUT(window && hasCookie(*window, "sessionKey", "notclaude.test", "evil")
                                     && hasCookie(*window, "theme", "claude.test", "dark"),
                                 peerCeilingMs);
        const int sleeps = run.clock.sleeps;
        QTRY_VERIFY2_WITH_TIMEOUT(run.clock.sleeps >= sleeps + 2 || !run.results.empty(), qPrintable(run.outcome()),
                                  peerCeilingMs); // two more passes looked
        QVERIFY2(run.results.empty(), qPrintable(run.outcome()));
        Q_EMIT window->donePressed(); // as the Done button would
        QCOMPARE(run.results.size(), std::size_t(1));
        QCOMPARE(run.outcome(), QStringLiteral("theme=dark"));
    }

    // A second sign-in cancels the first, whose program is gone.
    void secondCancelsFirst()
    {
        Run run;
        VendorLoginProfile waiting = *VendorLoginProfile::profile(UsageVendor::anthropic, origins());
        waiting.loginURL = QUrl(origin("claude.test") + "/login/wait");
        run.start(UsageVendor::anthropic, waiting);
        QPointer<WebSignInProcess> first = run.windows.constFirst();
        QTRY_VERIFY_WITH_TIMEOUT(first && hasCookie(*first, "theme", "claude.test", "dark"), peerCeilingMs);
        const qint64 pid = first->processId();
        QVERIFY(running(pid));

        run.start(UsageVendor::cursor, *VendorLoginProfile::profile(UsageVendor::cursor, origins()));
        QCOMPARE(run.outcome(0), QStringLiteral("Sign-in cancelled."));
        QTRY_VERIFY_WITH_TIMEOUT(!running(pid), peerCeilingMs);
        QTRY_COMPARE_WITH_TIMEOUT(run.results.size(), std::size_t(2), peerCeilingMs);
        QCOMPARE(run.outcome(1), QStringLiteral("WorkosCursorSessionToken=user%3A%3Atok"));
    }

    // A program that dies, or is not there, ends the sign-in at once.
    void programFails()
    {
        Run run;
        VendorLoginProfile waiting = *VendorLoginProfile::profile(UsageVendor::anthropic, origins());
        waiting.loginURL = QUrl(origin("claude.test") + "/login/wait");
        run.start(UsageVendor::anthropic, waiting);
        QPointer<WebSignInProcess> window = run.windows.constFirst();
        QTRY_VERIFY_WITH_TIMEOUT(window && hasCookie(*window, "theme", "claude.test", "dark"), peerCeilingMs);
        ::kill(pid_t(window->processId()), SIGKILL);
        QTRY_COMPARE_WITH_TIMEOUT(run.results.size(), std::size_t(1), peerCeilingMs);
        QCOMPARE(run.outcome(), QStringLiteral("Sign-in window could not be opened."));

        WebSignInProcess missing(m_home.filePath(QStringLiteral("no-such-program")));
        QSignalSpy failed(&missing, &platform::WebSignInWindow::failed);
        missing.open({QStringLiteral("Sign in to Cursor"), QUrl(origin("cursor.test")), QString()});
        QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, peerCeilingMs);
    }

    // After all of the above, the web engine was never loaded here.
    void webEngineStaysOut()
    {
        QFile maps(QStringLiteral("/proc/self/maps"));
        QVERIFY(maps.open(QIODevice::ReadOnly));
        QVERIFY(!maps.readAll().contains("WebEngine"));
    }
};

int main(int argc, char **argv) { return tavrenhold::test::runOnPrivateDisplay<SignInProgramTest>(argc, argv); }
#include "tst_signinprogram.moc"
