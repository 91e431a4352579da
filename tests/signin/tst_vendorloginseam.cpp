// labels: usage
// The usage store's web sign-in seam as the sign-in controller fills it: the vendor's profile on
// the configured hosts, each of the controller's outcomes as the store's error with its text, and
// cancelling the open window from the store.
#include "fakes/FakeWebSignInWindow.h"
#include "fakes/ManualClock.h"
#include "usage/VendorLoginWebSignIn.h"

#include <QTest>

using namespace tavrenhold;
using namespace std::chrono_literals;


namespace {

using StoreOutcome = Result<UsageSession, LoginError>;

QCoro::Task<> collect(QCoro::Task<StoreOutcome> task, std::vector<StoreOutcome> *results)
{
    results->push_back(co_await std::move(task));
}

struct Rig {
    test::ManualClock clock;
    QList<QPointer<test::FakeWebSignInWindow>> windows;
    std::vector<StoreOutcome> results;
    VendorLoginWebSignIn seam{VendorLoginController::Services{&clock,
                                                              [this]() -> std::unique_ptr<platform::WebSignInWindow> {
                                                                  auto window = std::make_unique<test::FakeWebSignInWindow>();
                                                                  windows.append(window.get());
                                                                  return window;
                                                              },
                                                              QStringLiteral("UA")},
                              [] {
                                  UsageEndpoints e;
                                  e.anthropicWeb = QStringLiteral("https://claude.test");
                                  return e;
                              }()};

    void start(UsageVendor vendor)
    {
        auto task = collect(seam.signIn(vendor), &results);
        Q_UNUSED(task);
    }
    [[nodiscard]] QString outcome(std::size_t i = 0) const
    {
        if (i >= results.size())
            return QStringLiteral("(none yet)");
        if (!results[i].ok())
            return results[i].error().errorDescription();
        QStringList parts;
        for (auto it = results[i].value().cbegin(); it != results[i].value().cend(); ++it)
            parts.append(it.key() + u'=' + it.value());
        return parts.join(u';');
    }
};

} // namespace

class VendorLoginSeamTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void signsInOnConfiguredHosts()
    {
        Rig rig;
        rig.start(UsageVendor::anthropic);
        QVERIFY(rig.seam.isOpen());
        QCOMPARE(rig.windows.size(), 1);
        QCOMPARE(rig.windows.first()->shown.url, QUrl("https://claude.test/login"));
        rig.windows.first()->jar = {{"sessionKey", ".claude.test", "/", "s"}};
        rig.clock.advance(700ms);
        QCOMPARE(rig.outcome(), QStringLiteral("sessionKey=s"));
        QVERIFY(!rig.seam.isOpen());
    }

    void cancelOpen()
    {
        Rig rig;
        rig.start(UsageVendor::cursor);
        rig.seam.cancelOpen();
        QCOMPARE(rig.outcome(), QStringLiteral("Sign-in cancelled."));
        QCOMPARE(rig.windows.first()->closes, 1);
        QVERIFY(!rig.seam.isOpen());
        rig.seam.cancelOpen(); // nothing open: nothing happens
        QCOMPARE(rig.results.size(), std::size_t(1));
    }

    void errors_data()
    {
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("text");
        using E = VendorLoginController::LoginError;
        QTest::newRow("cancelled") << int(E::cancelled) << "Sign-in cancelled.";
        QTest::newRow("timedOut") << int(E::timedOut) << "Sign-in timed out. Try again.";
        QTest::newRow("notSignedIn") << int(E::notSignedIn) << "No session found yet. Finish signing in, then press Done.";
        QTest::newRow("windowFailed") << int(E::windowFailed) << "Sign-in window could not be opened.";
    }

    void errors()
    {
        QFETCH(int, error);
        QFETCH(QString, text);
        QCOMPARE(VendorLoginWebSignIn::storeError(VendorLoginController::LoginError(error)).errorDescription(), text);
    }
};

QTEST_GUILESS_MAIN(VendorLoginSeamTest)
#include "tst_vendorloginseam.moc"
