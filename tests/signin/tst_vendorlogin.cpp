// labels: usage
// The vendor sign-in: the profiles, the address rule, which cookies are the vendor's (lookalike
// domains are not), and the controller over a fake window on a manual clock: the 0.7 s poll, the
// 300 s deadline, Done, closing, failure, a superseding sign-in and an outcome delivered once.
#include "fakes/FakeWebSignInWindow.h"
#include "fakes/ManualClock.h"
#include "usage/VendorLoginController.h"

#include <QTest>

using namespace tavrenhold;
using namespace std::chrono_literals;
using platform::WebCookie;
using Outcome = VendorLoginController::Outcome;
using LoginError = VendorLoginController::LoginError;

Q_DECLARE_METATYPE(tavrenhold::UsageVendor)

namespace {

// Origins on test names, as the sign-in site of the program test serves them.
UsageEndpoints testOrigins()
{
    UsageEndpoints o;
    o.openaiWeb = QStringLiteral("https://chatgpt.test");
    o.anthropicWeb = QStringLiteral("https://claude.test");
    o.googleWeb = QStringLiteral("https://gemini.vendor.test");
    o.googleAccounts = QStringLiteral("https://accounts.vendor.test");
    o.googleDomain = QStringLiteral("vendor.test");
    o.cursorWeb = QStringLiteral("https://cursor.test");
    o.cursorAuthenticator = QStringLiteral("https://authenticator.cursor.test:8443");
    return o;
}

VendorLoginProfile profileOf(UsageVendor vendor) { return *VendorLoginProfile::profile(vendor, testOrigins()); }

// "name=value;…" in the session's (sorted) order, or "none".
QString sessionText(const std::optional<UsageSession> &session)
{
    if (!session)
        return QStringLiteral("none");
    QStringList parts;
    for (auto it = session->cbegin(); it != session->cend(); ++it)
        parts.append(it.key() + u'=' + it.value());
    return parts.join(u';');
}

QString outcomeText(const Outcome &outcome)
{
    return outcome.ok() ? sessionText(outcome.value()) : VendorLoginController::message(outcome.error());
}

// "name@domain=value,…" to cookies with path "/".
QList<WebCookie> jarOf(const QString &text)
{
    QList<WebCookie> jar;
    for (const QString &part : text.split(u',', Qt::SkipEmptyParts)) {
        const qsizetype at = part.indexOf(u'@');
        const qsizetype eq = part.indexOf(u'=', at);
        jar.append(WebCookie{part.left(at), part.mid(at + 1, eq - at - 1), QStringLiteral("/"), part.mid(eq + 1)});
    }
    return jar;
}

QCoro::Task<> collect(QCoro::Task<Outcome> task, std::vector<Outcome> *results)
{
    results->push_back(co_await std::move(task));
}

struct Rig {
    test::ManualClock clock;
    QList<QPointer<test::FakeWebSignInWindow>> windows;
    QList<int> closesOfPreviousAtOpen; // how often the window before was closed when the next one was made
    QList<WebCookie> initialJar;
    bool windowFails = false;

    VendorLoginController::Services services()
    {
        return {&clock,
                [this]() -> std::unique_ptr<platform::WebSignInWindow> {
                    if (windowFails)
                        return nullptr;
                    closesOfPreviousAtOpen.append(windows.isEmpty() || !windows.last() ? -1 : windows.last()->closes);
                    auto window = std::make_unique<test::FakeWebSignInWindow>();
                    window->jar = initialJar;
                    windows.append(window.get());
                    return window;
                },
                QStringLiteral("Test Agent/1.0")};
    }

    void start(UsageVendor vendor, CancelToken token = {})
    {
        auto task = collect(VendorLoginController::signIn(vendor, profileOf(vendor), services(), token), &results);
        Q_UNUSED(task);
    }
    // The text of the i-th outcome delivered.
    [[nodiscard]] QString outcome(std::size_t i = 0) const
    {
        return i < results.size() ? outcomeText(results[i]) : QStringLiteral("(none yet)");
    }

    [[nodiscard]] test::FakeWebSignInWindow *window() const { return windows.last(); }

    std::vector<Outcome> results;
};

} // namespace

class VendorLoginTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void messages()
    {
        QCOMPARE(VendorLoginController::message(LoginError::cancelled), QStringLiteral("Sign-in cancelled."));
        QCOMPARE(VendorLoginController::message(LoginError::timedOut), QStringLiteral("Sign-in timed out. Try again."));
        QCOMPARE(VendorLoginController::message(LoginError::notSignedIn),
                 QStringLiteral("No session found yet. Finish signing in, then press Done."));
        QCOMPARE(VendorLoginController::message(LoginError::windowFailed),
                 QStringLiteral("Sign-in window could not be opened."));
    }

    void profiles_data()
    {
        QTest::addColumn<UsageVendor>("vendor");
        QTest::addColumn<bool>("testNames");
        QTest::addColumn<QString>("loginURL");
        QTest::addColumn<QStringList>("cookieNames");
        QTest::addColumn<QStringList>("hints");
        QTest::addColumn<QString>("signedInHost");
        QTest::addColumn<QStringList>("markers");

        const QStringList none;
        QTest::newRow("openai") << UsageVendor::openai << true << "https://chatgpt.test/auth/login"
                                << QStringList{"__Secure-next-auth.session-token", "__Secure-next-auth.session-token.0"}
                                << QStringList{"chatgpt.test"} << "chatgpt.test"
                                << QStringList{"/auth", "/login", "/signin", "/sign-in"};
        QTest::newRow("anthropic") << UsageVendor::anthropic << true << "https://claude.test/login"
                                   << QStringList{"sessionKey"} << QStringList{"claude.test"} << "claude.test"
                                   << QStringList{"/login", "/magic-link", "/signin"};
        QTest::newRow("google") << UsageVendor::google << true
                                << "https://accounts.vendor.test/ServiceLogin?continue=https%3A%2F%2Fgemini.vendor.test%2Fusage"
                                << none << QStringList{"vendor.test"} << "gemini.vendor.test"
                                << QStringList{"/ServiceLogin", "/signin", "/AccountChooser", "/challenge"};
        QTest::newRow("google, public hosts")
            << UsageVendor::google << false
            << "https://accounts.google.com/ServiceLogin?continue=https%3A%2F%2Fgemini.google.com%2Fusage" << none
            << QStringList{"google.com"} << "gemini.google.com"
            << QStringList{"/ServiceLogin", "/signin", "/AccountChooser", "/challenge"};
        QTest::newRow("cursor") << UsageVendor::cursor << true << "https://authenticator.cursor.test:8443/"
                                << QStringList{"WorkosCursorSessionToken"}
                                << QStringList{"cursor.test", "authenticator.cursor.test"} << QString() << none;
    }

    void profiles()
    {
        QFETCH(UsageVendor, vendor);
        QFETCH(bool, testNames);
        QFETCH(QString, loginURL);
        QFETCH(QStringList, cookieNames);
        QFETCH(QStringList, hints);
        QFETCH(QString, signedInHost);
        QFETCH(QStringList, markers);

        const auto profile = VendorLoginProfile::profile(vendor, testNames ? testOrigins() : UsageEndpoints{});
        QVERIFY(profile);
        QCOMPARE(QString::fromLatin1(profile->loginURL.toEncoded()), loginURL);
        QStringList names = profile->cookieNames.values();
        names.sort();
        QCOMPARE(names, cookieNames);
        QCOMPARE(profile->domainHints, hints);
        QCOMPARE(profile->signedInHost.value_or(QString()), signedInHost);
        QCOMPARE(profile->signedInHost.has_value(), !signedInHost.isEmpty());
        QCOMPARE(profile->authPathMarkers, markers);
    }

    void noProfileWithoutWindow()
    {
        QVERIFY(!VendorLoginProfile::profile(UsageVendor::xai));
        QVERIFY(!VendorLoginProfile::profile(UsageVendor::copilot));
    }

    void addressRule_data()
    {
        QTest::addColumn<UsageVendor>("vendor");
        QTest::addColumn<QUrl>("url");
        QTest::addColumn<bool>("signedIn");

        QTest::newRow("app page") << UsageVendor::anthropic << QUrl("https://claude.test/new") << true;
        QTest::newRow("root") << UsageVendor::anthropic << QUrl("https://claude.test/") << true;
        QTest::newRow("subdomain") << UsageVendor::anthropic << QUrl("https://app.claude.test/chats") << true;
        QTest::newRow("sign-in page") << UsageVendor::anthropic << QUrl("https://claude.test/login?x=1") << false;
        QTest::newRow("marker inside path") << UsageVendor::anthropic << QUrl("https://claude.test/a/magic-link/b")
                                            << false;
        QTest::newRow("lookalike host") << UsageVendor::anthropic << QUrl("https://notclaude.test/new") << false;
        QTest::newRow("host under another") << UsageVendor::anthropic << QUrl("https://claude.test.evil.test/new")
                                            << false;
        QTest::newRow("no address") << UsageVendor::anthropic << QUrl() << false;
        QTest::newRow("no host") << UsageVendor::anthropic << QUrl("file:///new") << false;
        QTest::newRow("gemini app") << UsageVendor::google << QUrl("https://gemini.vendor.test/app") << true;
        QTest::newRow("marker in other case") << UsageVendor::google << QUrl("https://gemini.vendor.test/servicelogin")
                                              << false;
        QTest::newRow("account pages") << UsageVendor::google << QUrl("https://accounts.vendor.test/") << false;
        QTest::newRow("chatgpt sign-in") << UsageVendor::openai << QUrl("https://chatgpt.test/auth/callback") << false;
        QTest::newRow("chatgpt app") << UsageVendor::openai << QUrl("https://chatgpt.test/c/1") << true;
        QTest::newRow("cursor has no host") << UsageVendor::cursor << QUrl("https://cursor.test/settings") << false;
    }

    void addressRule()
    {
        QFETCH(UsageVendor, vendor);
        QFETCH(QUrl, url);
        QFETCH(bool, signedIn);
        QCOMPARE(profileOf(vendor).urlLooksSignedIn(url), signedIn);
    }

    // Which cookies end a sign-in and which go into the session; a lookalike domain's never do.
    void cookies_data()
    {
        QTest::addColumn<UsageVendor>("vendor");
        QTest::addColumn<QString>("jar");
        QTest::addColumn<bool>("session");
        QTest::addColumn<QString>("captured");

        QTest::newRow("domain cookie") << UsageVendor::anthropic << "sessionKey@.claude.test=s,lastActive@.claude.test=1"
                                       << true << "lastActive=1;sessionKey=s";
        QTest::newRow("host-only cookie") << UsageVendor::anthropic << "sessionKey@claude.test=s" << true
                                          << "sessionKey=s";
        QTest::newRow("domain in capitals") << UsageVendor::anthropic << "sessionKey@.CLAUDE.Test=s" << true
                                            << "sessionKey=s";
        QTest::newRow("subdomain") << UsageVendor::anthropic << "sessionKey@api.claude.test=s" << true << "sessionKey=s";
        QTest::newRow("lookalike prefix") << UsageVendor::anthropic << "sessionKey@.notclaude.test=evil" << false
                                          << "none";
        QTest::newRow("hint inside a longer name") << UsageVendor::anthropic
                                                   << "sessionKey@claude.test.evil.test=evil" << false << "none";
        QTest::newRow("lookalike beside the vendor")
            << UsageVendor::anthropic << "sessionKey@.notclaude.test=evil,other@.claude.test=o,x@evil.test=x" << false
            << "other=o";
        QTest::newRow("empty session value") << UsageVendor::anthropic << "sessionKey@.claude.test=,a@.claude.test=1"
                                             << false << "a=1";
        QTest::newRow("later cookie of a name wins")
            << UsageVendor::anthropic << "sessionKey@.claude.test=old,sessionKey@claude.test=new" << true
            << "sessionKey=new";
        QTest::newRow("openai second part alone") << UsageVendor::openai
                                                  << "__Secure-next-auth.session-token.0@chatgpt.test=p0" << true
                                                  << "__Secure-next-auth.session-token.0=p0";
        QTest::newRow("google has no session names")
            << UsageVendor::google << "SID@.vendor.test=1,HSID@accounts.vendor.test=2,SID@vendor.test.evil.test=3"
            << false << "HSID=2;SID=1";
        QTest::newRow("cursor on its web domain") << UsageVendor::cursor << "WorkosCursorSessionToken@.cursor.test=t"
                                                  << true << "WorkosCursorSessionToken=t";
        QTest::newRow("cursor on its authenticator")
            << UsageVendor::cursor << "WorkosCursorSessionToken@authenticator.cursor.test=t" << true
            << "WorkosCursorSessionToken=t";
        QTest::newRow("empty jar") << UsageVendor::cursor << "" << false << "none";
    }

    void cookies()
    {
        QFETCH(UsageVendor, vendor);
        QFETCH(QString, jar);
        QFETCH(bool, session);
        QFETCH(QString, captured);
        const VendorLoginProfile profile = profileOf(vendor);
        QCOMPARE(profile.hasSessionCookie(jarOf(jar)), session);
        QCOMPARE(sessionText(profile.captureDomainCookies(jarOf(jar))), captured);
    }

    // The window opens once with the vendor's page; the poll looks every 0.7 s and takes the
    // session on the first pass that sees its cookie.
    void pollFindsSessionCookie()
    {
        Rig rig;
        rig.start(UsageVendor::anthropic);
        QCOMPARE(rig.windows.size(), 1);
        QCOMPARE(rig.window()->opens, 1);
        QCOMPARE(rig.window()->shown.title, QStringLiteral("Sign in to Anthropic"));
        QCOMPARE(rig.window()->shown.url, QUrl("https://claude.test/login"));
        QCOMPARE(rig.window()->shown.userAgent, QStringLiteral("Test Agent/1.0"));
        QVERIFY(VendorLoginController::current());
        QCOMPARE(VendorLoginController::current()->vendor(), UsageVendor::anthropic);

        rig.clock.advance(5000ms); // polls at 0, 0.7, …, 4.9 s found nothing
        rig.window()->jar = jarOf("sessionKey@.claude.test=s,theme@claude.test=dark,x@.notclaude.test=x");
        rig.clock.advance(500ms);
        QVERIFY(rig.results.empty());
        rig.clock.advance(100ms); // the pass at 5.6 s
        QCOMPARE(rig.results.size(), 1);
        QCOMPARE(rig.outcome(), QStringLiteral("sessionKey=s;theme=dark"));
        QCOMPARE(rig.window()->closes, 1);
        QVERIFY(!VendorLoginController::current());
        QCOMPARE(rig.clock.sleepers(), 0);
        QTRY_VERIFY(!rig.window()); // the window is let go
    }

    // The first pass runs at once, before any sleep.
    void firstPassAtOnce()
    {
        Rig rig;
        rig.initialJar = jarOf("WorkosCursorSessionToken@.cursor.test=t");
        rig.start(UsageVendor::cursor);
        QCOMPARE(rig.results.size(), 1);
        QCOMPARE(rig.outcome(), QStringLiteral("WorkosCursorSessionToken=t"));
    }

    // Google has no session cookie: the address on the Gemini host ends it, with the cookies of its
    // domain; the address alone, without any cookie, does not.
    void googleByAddress()
    {
        Rig rig;
        rig.start(UsageVendor::google);
        rig.window()->url = QUrl("https://gemini.vendor.test/app");
        rig.clock.advance(2100ms);
        QVERIFY(rig.results.empty());
        rig.window()->url = QUrl("https://accounts.vendor.test/signin/challenge");
        rig.window()->jar = jarOf("SID@.vendor.test=1,NID@.elsewhere.test=2");
        rig.clock.advance(2100ms);
        QVERIFY(rig.results.empty());
        rig.window()->url = QUrl("https://gemini.vendor.test/usage");
        rig.clock.advance(700ms);
        QCOMPARE(rig.results.size(), 1);
        QCOMPARE(rig.outcome(), QStringLiteral("SID=1"));
    }

    // A session cookie on a lookalike domain never ends the sign-in.
    void lookalikeDoesNotEnd()
    {
        Rig rig;
        rig.start(UsageVendor::anthropic);
        rig.window()->jar = jarOf("sessionKey@.notclaude.test=evil,sessionKey@claude.test.evil.test=evil");
        rig.window()->url = QUrl("https://claude.test.evil.test/new");
        rig.clock.advance(30s);
        QVERIFY(rig.results.empty());
        rig.window()->pressDone();
        QCOMPARE(rig.outcome(), QStringLiteral("No session found yet. Finish signing in, then press Done."));
    }

    void done_data()
    {
        QTest::addColumn<QString>("jar");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("non-session cookies") << "theme@claude.test=dark,lang@.claude.test=en" << "lang=en;theme=dark";
        QTest::newRow("no cookie") << "" << "No session found yet. Finish signing in, then press Done.";
        QTest::newRow("only empty values") << "sessionKey@claude.test=" << "No session found yet. Finish signing in, then press Done.";
    }

    void done()
    {
        QFETCH(QString, jar);
        QFETCH(QString, outcome);
        Rig rig;
        rig.start(UsageVendor::anthropic);
        rig.window()->jar = jarOf(jar);
        rig.window()->pressDone();
        QCOMPARE(rig.results.size(), 1);
        QCOMPARE(rig.outcome(), outcome);
        QCOMPARE(rig.window()->closes, 1);
        QCOMPARE(rig.clock.sleepers(), 0);
    }

    void closedByUser()
    {
        Rig rig;
        rig.start(UsageVendor::openai);
        rig.clock.advance(1400ms);
        rig.window()->pressClose();
        QCOMPARE(rig.results.size(), 1);
        QCOMPARE(rig.outcome(), QStringLiteral("Sign-in cancelled."));
        QVERIFY(!VendorLoginController::current());
        QCOMPARE(rig.clock.sleepers(), 0);
    }

    // A window that fails (program missing, crashed, unreadable) ends the sign-in at once.
    void windowFails()
    {
        Rig rig;
        rig.start(UsageVendor::anthropic);
        rig.window()->crash();
        QCOMPARE(rig.outcome(), QStringLiteral("Sign-in window could not be opened."));
        QCOMPARE(rig.clock.sleepers(), 0);

        Rig none;
        none.windowFails = true;
        none.start(UsageVendor::anthropic);
        QCOMPARE(none.outcome(), QStringLiteral("Sign-in window could not be opened."));
        QVERIFY(!VendorLoginController::current());
    }

    // The deadline is checked before the cookies: a cookie after 300 s is not taken.
    void timesOut()
    {
        Rig rig;
        rig.start(UsageVendor::anthropic);
        rig.clock.advance(300s); // the pass at 299.6 s still looked
        QVERIFY(rig.results.empty());
        rig.window()->jar = jarOf("sessionKey@claude.test=late");
        rig.clock.advance(700ms);
        QCOMPARE(rig.results.size(), 1);
        QCOMPARE(rig.outcome(), QStringLiteral("Sign-in timed out. Try again."));
        QCOMPARE(rig.window()->closes, 1);
    }

    // The deadline is wall-clock time: a suspend that passes it ends the sign-in at the next pass.
    void timesOutAfterSuspend()
    {
        Rig rig;
        rig.start(UsageVendor::anthropic);
        rig.clock.advance(10s);
        rig.clock.setWall(rig.clock.wallNow().addSecs(600));
        rig.clock.advance(700ms);
        QCOMPARE(rig.outcome(), QStringLiteral("Sign-in timed out. Try again."));
    }

    // A second sign-in cancels the first, whose window is closed before the second one opens.
    void superseded()
    {
        Rig rig;
        rig.start(UsageVendor::anthropic);
        auto *first = rig.window();
        rig.start(UsageVendor::google);
        QCOMPARE(rig.results.size(), 1);
        QCOMPARE(rig.outcome(), QStringLiteral("Sign-in cancelled."));
        QCOMPARE(rig.closesOfPreviousAtOpen, QList<int>({-1, 1}));
        QCOMPARE(first->closes, 1);
        QCOMPARE(VendorLoginController::current()->vendor(), UsageVendor::google);

        // The first one's poll is over; the second runs on.
        first->jar = jarOf("sessionKey@claude.test=s");
        rig.window()->jar = jarOf("SID@.vendor.test=1");
        rig.window()->url = QUrl("https://gemini.vendor.test/app");
        rig.clock.advance(700ms);
        QCOMPARE(rig.results.size(), 2);
        QCOMPARE(rig.outcome(1), QStringLiteral("SID=1"));
        QVERIFY(!VendorLoginController::current());
    }

    // A caller that answers its cancellation by opening another sign-in at once: the new sign-in
    // cancels that one too, and only one window stays open.
    void supersededCallerOpensAgain()
    {
        Rig rig;
        auto retry = [](Rig *rig, QCoro::Task<Outcome> task) -> QCoro::Task<> {
            rig->results.push_back(co_await std::move(task));
            rig->start(UsageVendor::cursor);
        };
        auto task = retry(&rig, VendorLoginController::signIn(UsageVendor::anthropic, profileOf(UsageVendor::anthropic),
                                                              rig.services()));
        Q_UNUSED(task);
        rig.start(UsageVendor::google);
        QCOMPARE(rig.windows.size(), 3);
        QCOMPARE(rig.outcome(0), QStringLiteral("Sign-in cancelled."));
        QCOMPARE(rig.outcome(1), QStringLiteral("Sign-in cancelled.")); // cursor's
        QCOMPARE(rig.windows.at(1)->closes, 1);
        QCOMPARE(rig.windows.at(2)->closes, 0);
        QCOMPARE(VendorLoginController::current()->vendor(), UsageVendor::google);
        VendorLoginController::current()->finish(Outcome::failure(LoginError::cancelled));
    }

    // Done, the close button, the poll and an outside cancel in one turn: the first is delivered,
    // the others find nothing owed.
    void deliveredOnce()
    {
        Rig rig;
        rig.start(UsageVendor::anthropic);
        auto *window = rig.window();
        window->jar = jarOf("sessionKey@claude.test=s");
        auto *controller = VendorLoginController::current();
        QVERIFY(controller);
        window->pressDone();
        window->pressClose();
        window->crash();
        controller->finish(Outcome::failure(LoginError::cancelled));
        rig.clock.advance(5s);
        QCOMPARE(rig.results.size(), 1);
        QCOMPARE(rig.outcome(), QStringLiteral("sessionKey=s"));
        QCOMPARE(window->closes, 1);
    }

    // The caller's token cancels the sign-in; a token cancelled before opens nothing.
    void cancelledByToken()
    {
        Rig rig;
        CancelToken token;
        rig.start(UsageVendor::cursor, token);
        rig.clock.advance(1s);
        token.cancel();
        QCOMPARE(rig.outcome(), QStringLiteral("Sign-in cancelled."));
        QCOMPARE(rig.window()->closes, 1);
        QCOMPARE(rig.clock.sleepers(), 0);

        Rig early;
        CancelToken gone;
        gone.cancel();
        early.start(UsageVendor::cursor, gone);
        QCOMPARE(early.outcome(), QStringLiteral("Sign-in cancelled."));
        QVERIFY(early.windows.isEmpty());
    }
};

QTEST_GUILESS_MAIN(VendorLoginTest)
#include "tst_vendorlogin.moc"
