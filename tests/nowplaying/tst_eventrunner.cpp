// labels: unit
// The Apple Event runner over a fake script host: reuse of script objects, the classification of
// error numbers, transforms, and one script at a time in the order the callers came.
#include "fakes/FakeScriptHost.h"
#include "fakes/ManualClock.h"
#include "nowplaying/AppleEventRunner.h"

#include <QCoroTask>
#include <QTest>

using namespace tavrenhold;
using namespace std::chrono_literals;
using platform::ScriptHost;
using tavrenhold::test::FakeScriptHost;
using tavrenhold::test::ManualClock;

Q_DECLARE_METATYPE(tavrenhold::AppleEventFailure)

namespace {

const QString scriptA = QStringLiteral("with timeout of 8 seconds\ntell application id \"com.apple.Music\"\nplay\nend tell\nend timeout");
const QString scriptB = QStringLiteral("with timeout of 8 seconds\ntell application id \"com.apple.Music\"\npause\nend tell\nend timeout");
const QString scriptC = QStringLiteral("with timeout of 8 seconds\ntell application id \"com.apple.Music\"\nnext track\nend tell\nend timeout");

template <typename T>
QCoro::Task<> store(QCoro::Task<T> &task, std::optional<T> &out)
{
    out.emplace(co_await task);
}

// Runs one script to the end.
template <typename T>
T finish(QCoro::Task<T> &task)
{
    std::optional<T> out;
    auto storing = store(task, out);
    if (!QTest::qWaitFor([&] { return out.has_value(); }, 5000))
        qFatal("the script did not finish");
    return std::move(*out);
}

QString describe(const AppleEventResult<QString> &r)
{
    if (r.ok())
        return QStringLiteral("ok:") + r.value();
    return QStringLiteral("failed:%1/%2").arg(int(r.error().kind)).arg(r.error().number);
}

// Awaits task and notes its outcome, in the order the callers resume.
QCoro::Task<> note(QCoro::Task<AppleEventResult<QString>> task, QString name, QStringList *log)
{
    const AppleEventResult<QString> result = co_await task;
    log->append(name + QLatin1Char('=') + describe(result));
}

} // namespace

class EventRunnerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void reuseKeepsOneObjectPerText_data()
    {
        QTest::addColumn<bool>("reuse");
        QTest::addColumn<int>("made");
        QTest::addColumn<int>("kept");
        QTest::addColumn<QList<int>>("objects");
        QTest::newRow("kept") << true << 1 << 1 << QList<int>{1, 1, 1};
        QTest::newRow("made anew") << false << 3 << 0 << QList<int>{1, 2, 3};
    }
    void reuseKeepsOneObjectPerText()
    {
        QFETCH(bool, reuse);
        QFETCH(int, made);
        QFETCH(int, kept);
        QFETCH(QList<int>, objects);
        FakeScriptHost host;
        AppleEventRunner runner(host);
        for (int i = 0; i < 3; ++i) {
            auto run = runner.runVoid(scriptA, reuse);
            QVERIFY(finish(run).ok());
        }
        QCOMPARE(host.made(), made);
        QCOMPARE(runner.compiledCount(), kept);
        QCOMPARE(host.executedObjects(), objects);
    }

    // Without reuse nothing is looked up or stored, even when the text is kept; texts are keys as a
    // whole, so a text that differs in one character is another script.
    void reuseIsByTheWholeText()
    {
        FakeScriptHost host;
        AppleEventRunner runner(host);
        auto first = runner.runVoid(scriptA, true);
        QVERIFY(finish(first).ok());
        auto fresh = runner.runVoid(scriptA, false);
        QVERIFY(finish(fresh).ok());
        auto other = runner.runVoid(scriptA + QLatin1Char(' '), true);
        QVERIFY(finish(other).ok());
        auto again = runner.runVoid(scriptA, true);
        QVERIFY(finish(again).ok());
        QCOMPARE(host.executedObjects(), (QList<int>{1, 2, 3, 1}));
        QCOMPARE(runner.compiledCount(), 2);
    }

    // A kept script that failed stays kept and is executed again.
    void failedKeptScriptRunsAgain()
    {
        FakeScriptHost host;
        host.answerError(scriptA, -1728);
        AppleEventRunner runner(host);
        for (int i = 0; i < 2; ++i) {
            auto run = runner.runText(scriptA, true);
            const auto result = finish(run);
            QVERIFY(!result.ok());
            QCOMPARE(result.error(), AppleEventFailure::noTrack());
        }
        QCOMPARE(host.made(), 1);
        QCOMPARE(host.executedObjects(), (QList<int>{1, 1}));
    }

    void objectThatCannotBeMadeFails_data()
    {
        QTest::addColumn<bool>("reuse");
        QTest::newRow("reuse") << true;
        QTest::newRow("no reuse") << false;
    }
    void objectThatCannotBeMadeFails()
    {
        QFETCH(bool, reuse);
        FakeScriptHost host;
        host.refuseToMake(scriptA);
        AppleEventRunner runner(host);
        auto run = runner.runText(scriptA, reuse);
        const auto result = finish(run);
        QVERIFY(!result.ok());
        QCOMPARE(result.error(), AppleEventFailure::other(0));
        QVERIFY(host.executed().isEmpty());
        QCOMPARE(runner.compiledCount(), 0);
    }

    void classification_data()
    {
        QTest::addColumn<QVariantMap>("info");
        QTest::addColumn<AppleEventFailure>("failure");
        auto number = [](int n) { return ScriptHost::errorInfo(n); };
        QTest::newRow("-600 not running") << number(-600) << AppleEventFailure::notRunning();
        QTest::newRow("-609 invalid connection") << number(-609) << AppleEventFailure::notRunning();
        QTest::newRow("-10814 no application") << number(-10814) << AppleEventFailure::notRunning();
        QTest::newRow("-1743 not authorised") << number(-1743) << AppleEventFailure::denied();
        QTest::newRow("-10004 privilege") << number(-10004) << AppleEventFailure::denied();
        QTest::newRow("-1728 no object") << number(-1728) << AppleEventFailure::noTrack();
        QTest::newRow("-1719 invalid index") << number(-1719) << AppleEventFailure::noTrack();
        QTest::newRow("-1712 timed out") << number(-1712) << AppleEventFailure::timedOut();
        QTest::newRow("-2741 syntax") << number(-2741) << AppleEventFailure::other(-2741);
        QTest::newRow("-1708 not understood") << number(-1708) << AppleEventFailure::other(-1708);
        QTest::newRow("0") << number(0) << AppleEventFailure::other(0);
        QTest::newRow("as a 64-bit number")
            << QVariantMap{{ScriptHost::errorNumberKey, qlonglong(-1743)}} << AppleEventFailure::denied();
        QTest::newRow("as a real number") << QVariantMap{{ScriptHost::errorNumberKey, -600.0}}
                                          << AppleEventFailure::notRunning();
        QTest::newRow("no number") << QVariantMap{{QStringLiteral("message"), QStringLiteral("broken")}}
                                   << AppleEventFailure::other(0);
        QTest::newRow("empty information") << QVariantMap{} << AppleEventFailure::other(0);
        QTest::newRow("digits as text") << QVariantMap{{ScriptHost::errorNumberKey, QStringLiteral("-600")}}
                                        << AppleEventFailure::other(0);
        QTest::newRow("truth value") << QVariantMap{{ScriptHost::errorNumberKey, true}} << AppleEventFailure::other(0);
    }
    void classification()
    {
        QFETCH(QVariantMap, info);
        QFETCH(AppleEventFailure, failure);
        FakeScriptHost host;
        host.answer(scriptA, info);
        AppleEventRunner runner(host);
        auto run = runner.runText(scriptA, true);
        const auto result = finish(run);
        QVERIFY(!result.ok());
        QCOMPARE(result.error(), failure);
    }

    void failuresCompareByCaseAndNumber()
    {
        QCOMPARE(AppleEventFailure::other(-2741), AppleEventFailure::other(-2741));
        QVERIFY(AppleEventFailure::other(-2741) != AppleEventFailure::other(0));
        QVERIFY(AppleEventFailure::notRunning() != AppleEventFailure::other(0));
        QCOMPARE(AppleEventFailure::denied(), AppleEventFailure::denied());
    }

    void transformsSeeTheReply_data()
    {
        QTest::addColumn<QVariant>("reply");
        QTest::addColumn<QString>("text");
        QTest::newRow("text") << QVariant(QStringLiteral("playing")) << QStringLiteral("playing");
        QTest::newRow("empty text") << QVariant(QString()) << QString();
        QTest::newRow("no text") << QVariant() << QString();
        QTest::newRow("truth value") << QVariant(true) << QStringLiteral("true");
    }
    void transformsSeeTheReply()
    {
        QFETCH(QVariant, reply);
        QFETCH(QString, text);
        FakeScriptHost host;
        host.answer(scriptA, ScriptHost::Reply{reply});
        AppleEventRunner runner(host);

        auto asText = runner.runText(scriptA, true);
        const auto textResult = finish(asText);
        QVERIFY(textResult.ok());
        QCOMPARE(textResult.value(), text);

        // A transform of the caller's choice, here as the favourite check reads its reply.
        auto favourite = runner.run<bool>(scriptA, true, [](const AppleEventReply &r) {
            const QString t = r.textOrEmpty().toLower();
            return t == QLatin1String("true") || t == QLatin1String("yes") || t == QLatin1String("1");
        });
        const auto favouriteResult = finish(favourite);
        QVERIFY(favouriteResult.ok());
        QCOMPARE(favouriteResult.value(), text == QLatin1String("true"));

        auto ignored = runner.runVoid(scriptA, true);
        QVERIFY(finish(ignored).ok());
    }

    // The reply is dropped when the script failed: the transform never runs.
    void failedScriptSkipsTheTransform()
    {
        FakeScriptHost host;
        host.answerError(scriptA, -1743);
        AppleEventRunner runner(host);
        int transformed = 0;
        auto run = runner.run<int>(scriptA, false, [&](const AppleEventReply &) { return ++transformed; });
        const auto result = finish(run);
        QVERIFY(!result.ok());
        QCOMPARE(result.error(), AppleEventFailure::denied());
        QCOMPARE(transformed, 0);
    }

    // Callers that come at once run one after another in the order they came, each with its own
    // result, even when an earlier script is slower than a later one.
    void oneAtATimeInOrder()
    {
        ManualClock clock;
        FakeScriptHost host(&clock);
        host.answerText(scriptA, QStringLiteral("a"), 5000ms);
        host.answerText(scriptB, QStringLiteral("b"), 10ms);
        host.answerError(scriptC, -600, 1000ms);
        AppleEventRunner runner(host);

        QStringList log;
        auto a = note(runner.runText(scriptA, true), QStringLiteral("A"), &log);
        auto b = note(runner.runText(scriptB, false), QStringLiteral("B"), &log);
        auto c = note(runner.runText(scriptC, true), QStringLiteral("C"), &log);
        auto a2 = note(runner.runText(scriptA, true), QStringLiteral("A2"), &log);

        QVERIFY(QTest::qWaitFor([&] { return host.running() == 1; }, 1000));
        QCOMPARE(host.executed(), QStringList{scriptA});
        clock.advance(4999ms);
        QCoreApplication::processEvents();
        QVERIFY(log.isEmpty());
        QVERIFY(QTest::qWaitFor(
            [&] {
                clock.advance(100ms);
                return log.size() == 4;
            },
            5000));
        const QString notRunning = QStringLiteral("failed:%1/0").arg(int(AppleEventFailure::Kind::notRunning));
        QCOMPARE(log, (QStringList{QStringLiteral("A=ok:a"), QStringLiteral("B=ok:b"), QStringLiteral("C=") + notRunning,
                                   QStringLiteral("A2=ok:a")}));
        QCOMPARE(host.executed(), (QStringList{scriptA, scriptB, scriptC, scriptA}));
        QCOMPARE(host.mostAtOnce(), 1);
        // The second caller of A found the object the first one kept.
        QCOMPARE(host.made(), 3);
    }
};

QTEST_GUILESS_MAIN(EventRunnerTest)
#include "tst_eventrunner.moc"
