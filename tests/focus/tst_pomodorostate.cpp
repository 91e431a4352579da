// labels: unit
// The focus timer's values: the run arithmetic, phases and rounds across days (in a time zone with
// a daylight-saving night), and the stored record's exact bytes and decoding.
#include "focus/PomodoroState.h"

#include <QTest>

#include <ctime>

using namespace tavrenhold;

Q_DECLARE_METATYPE(tavrenhold::FocusPhase)

namespace {
// Local (Europe/Berlin) wall time as a stored timestamp.
double at(int year, int month, int day, int hour, int minute, int second = 0)
{
    return referenceSeconds(QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::LocalTime));
}
double at(int hour, int minute, int second = 0) { return at(2026, 5, 12, hour, minute, second); }

QByteArray encoded(const PomodoroState &state) { return encodePomodoro(state).value_or("(no encoding)"); }
} // namespace

class PomodoroStateTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "Europe/Berlin");
        ::tzset();
    }

    void startPauseResume()
    {
        PomodoroState s;
        s.toggle(at(10, 0));
        QCOMPARE(s.run, FocusRunState(FocusRunning{at(10, 25)}));
        QCOMPARE(s.runDuration, std::optional<double>(1500));
        QCOMPARE(s.remaining(at(10, 10)), 900.0);
        QCOMPARE(s.progress(at(10, 10)), 0.4);
        QCOMPARE(s.span(), std::optional(FocusSpan{at(10, 0), at(10, 25)}));

        s.toggle(at(10, 10));
        QCOMPARE(s.run, FocusRunState(FocusPaused{900}));
        QCOMPARE(s.progress(at(10, 50)), 0.4);
        QCOMPARE(s.span(), std::nullopt);

        s.toggle(at(11, 0));
        QCOMPARE(s.run, FocusRunState(FocusRunning{at(11, 15)}));
        QCOMPARE(s.runDuration, std::optional<double>(1500)); // fixed at the start, kept on resume
    }

    // A new work length reaches an idle phase at once, a started run only from its next start.
    void lengthChange_data()
    {
        QTest::addColumn<int>("toggles");
        QTest::addColumn<double>("remaining");
        QTest::addColumn<double>("progress");
        QTest::newRow("idle") << 0 << 3000.0 << 0.0;
        QTest::newRow("running") << 1 << 900.0 << 0.4;
        QTest::newRow("paused") << 2 << 900.0 << 0.4;
    }
    void lengthChange()
    {
        QFETCH(int, toggles);
        QFETCH(double, remaining);
        QFETCH(double, progress);
        PomodoroState s;
        for (int i = 0; i < toggles; ++i)
            s.toggle(at(10, 10 * i));
        const auto span = s.span();
        s.settings.workMinutes = 50;
        QCOMPARE(s.remaining(at(10, 10)), remaining);
        QCOMPARE(s.progress(at(10, 10)), progress);
        QCOMPARE(s.span(), span);
    }

    void edgesOfTheArithmetic()
    {
        PomodoroState s;
        s.run = FocusPaused{99999};
        QCOMPARE(s.remaining(0), 1500.0); // shown as the run length
        s.run = FocusPaused{-4};
        QCOMPARE(s.remaining(0), 0.0);
        QCOMPARE(s.progress(0), 1.0);
        s.run = FocusRunning{std::nan("")};
        QCOMPARE(s.remaining(0), 0.0);
        s.runDuration = 0;
        QCOMPARE(s.progress(0), 0.0);
        QCOMPARE(s.span(), std::nullopt);
        // A record's negative run length leaves nothing to run, not a negative time.
        s.runDuration = -5;
        s.run = FocusPaused{412.5};
        QCOMPARE(s.remaining(0), 0.0);
        s.run = FocusIdle{};
        QCOMPARE(s.remaining(0), 0.0);
    }

    void phasesAndRounds()
    {
        PomodoroState s;
        QStringList seen;
        for (int i = 0; i < 10; ++i) {
            s.toggle(at(9, i));
            s.complete(at(9, i, 30));
            seen << (s.phase == FocusPhase::work ? "W" : s.phase == FocusPhase::shortBreak ? "S" : "L");
            QVERIFY(s.isIdle());
            QCOMPARE(s.runDuration, std::nullopt);
        }
        // work→short, short→work, …, the fourth work round → long
        QCOMPARE(seen.join(QString()), QStringLiteral("SWSWSWLWSW"));
        QCOMPARE(s.roundsToday, 5);
        QCOMPARE(s.rounds(at(23, 59)), 5);
        // A break completes without counting.
        s.phase = FocusPhase::longBreak;
        s.complete(at(12, 0));
        QCOMPARE(s.phase, FocusPhase::work);
        QCOMPARE(s.roundsToday, 5);
        // The next day starts again at one.
        s.complete(at(2026, 5, 13, 8, 0));
        QCOMPARE(s.roundsToday, 1);
        QCOMPARE(s.roundsDay, std::optional(at(2026, 5, 13, 0, 0)));
        QCOMPARE(s.rounds(at(2026, 5, 12, 12, 0)), 0);
    }

    // A deadline that passed while nothing ran completes as of itself: the round counts for the
    // day it fell in, also over a daylight-saving night (23 and 25 hours).
    void rollForwardCountsTheDeadlinesDay_data()
    {
        QTest::addColumn<double>("deadline");
        QTest::addColumn<double>("later");
        QTest::addColumn<double>("day");
        QTest::newRow("plain night") << at(2026, 5, 12, 23, 50) << at(2026, 5, 13, 8, 0) << at(2026, 5, 12, 0, 0);
        QTest::newRow("night to summer time")
            << at(2026, 3, 28, 23, 50) << at(2026, 3, 29, 8, 0) << at(2026, 3, 28, 0, 0);
        QTest::newRow("after the spring change")
            << at(2026, 3, 29, 23, 50) << at(2026, 3, 30, 8, 0) << at(2026, 3, 29, 0, 0);
        QTest::newRow("after the autumn change")
            << at(2026, 10, 25, 23, 50) << at(2026, 10, 26, 8, 0) << at(2026, 10, 25, 0, 0);
    }
    void rollForwardCountsTheDeadlinesDay()
    {
        QFETCH(double, deadline);
        QFETCH(double, later);
        QFETCH(double, day);
        PomodoroState s;
        s.run = FocusRunning{deadline};
        s.runDuration = 1500;
        PomodoroState untouched = s;
        untouched.rollForward(deadline - 0.001);
        QCOMPARE(untouched, s);

        s.rollForward(later);
        QCOMPARE(s.phase, FocusPhase::shortBreak);
        QVERIFY(s.isIdle());
        QCOMPARE(s.roundsToday, 1);
        QCOMPARE(s.roundsDay, std::optional(day));
        QCOMPARE(s.rounds(deadline), 1);
        QCOMPARE(s.rounds(later), 0);
        // Paused and idle runs are left alone.
        PomodoroState paused;
        paused.run = FocusPaused{60};
        paused.rollForward(later);
        QCOMPARE(paused.run, FocusRunState(FocusPaused{60}));
    }

    void startOfDayOnDaylightSavingDays()
    {
        // 23 hours from the start of 29 March to the start of 30 March; 25 in October.
        QCOMPARE(startOfDay(at(2026, 3, 30, 12, 0)) - startOfDay(at(2026, 3, 29, 12, 0)), 23 * 3600.0);
        QCOMPARE(startOfDay(at(2026, 10, 26, 12, 0)) - startOfDay(at(2026, 10, 25, 12, 0)), 25 * 3600.0);
    }

    void exactBytes_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("idle") << 0
                              << QByteArray(R"({"settings":{"workMinutes":25,"shortBreakMinutes":5,"longBreakMinutes":15,)"
                                            R"("roundsBeforeLong":4},"phase":"work","run":{"idle":{}},"roundsToday":0})");
        QTest::newRow("running") << 1
                                 << QByteArray(R"({"settings":{"workMinutes":50,"shortBreakMinutes":5,"longBreakMinutes":15,)"
                                               R"("roundsBeforeLong":4},"phase":"work","run":{"running":{"deadline":)"
                                               R"(800000000.25}},"roundsToday":0,"runDuration":3000})");
        QTest::newRow("paused") << 2
                                << QByteArray(R"({"settings":{"workMinutes":25,"shortBreakMinutes":5,"longBreakMinutes":15,)"
                                              R"("roundsBeforeLong":4},"phase":"longBreak","run":{"paused":{"remaining":)"
                                              R"(412.5}},"roundsToday":4,"roundsDay":799974000,"runDuration":900})");
    }
    void exactBytes()
    {
        QFETCH(int, which);
        QFETCH(QByteArray, json);
        PomodoroState s;
        if (which == 1) {
            s.settings.workMinutes = 50;
            s.toggle(800000000.25 - 3000);
        } else if (which == 2) {
            s.phase = FocusPhase::longBreak;
            s.run = FocusPaused{412.5};
            s.roundsToday = 4;
            s.roundsDay = 799974000;
            s.runDuration = 900;
        }
        QCOMPARE(encoded(s), json);
        const auto back = decodePomodoro(json);
        QVERIFY(back.ok());
        QCOMPARE(back.value(), s);
        // Stored digits come back as they were.
        QCOMPARE(encoded(back.value()), json);
    }

    void numbersKeepTheirDigits()
    {
        PomodoroState s;
        s.run = FocusRunning{787654321.123456789};
        s.roundsDay = 1e-7;
        const QByteArray json = encoded(s);
        QVERIFY2(!json.contains('e') || json.indexOf('e') < json.indexOf("deadline"), json.constData());
        QCOMPARE(encoded(decodePomodoro(json).value()), json);
        s.runDuration = std::numeric_limits<double>::infinity();
        QCOMPARE(encodePomodoro(s), std::nullopt);
    }

    void decoding_data()
    {
        QTest::addColumn<QByteArray>("run");
        QTest::addColumn<QByteArray>("rest");
        QTest::addColumn<QString>("error"); // empty: decodes
        const QByteArray rest = R"("roundsToday":2)";
        QTest::newRow("idle") << QByteArray(R"({"idle":{}})") << rest << QString();
        QTest::newRow("idle and an extra key") << QByteArray(R"({"idle":{},"extra":1})") << rest << QString();
        QTest::newRow("no case") << QByteArray("{}") << rest << "Invalid number of keys found, expected one.";
        QTest::newRow("two cases") << QByteArray(R"({"idle":{},"paused":{"remaining":5}})") << rest
                                   << "Invalid number of keys found, expected one.";
        QTest::newRow("null optionals") << QByteArray(R"({"paused":{"remaining":5}})")
                                        << QByteArray(R"("roundsToday":2,"roundsDay":null,"runDuration":null)")
                                        << QString();
        QTest::newRow("extra keys") << QByteArray(R"({"idle":{}})") << QByteArray(R"("roundsToday":2,"x":[1])")
                                    << QString();
        QTest::newRow("no roundsToday") << QByteArray(R"({"idle":{}})") << QByteArray(R"("y":1)") << "fails";
        QTest::newRow("roundsToday as text") << QByteArray(R"({"idle":{}})") << QByteArray(R"("roundsToday":"2")")
                                             << "fails";
        QTest::newRow("infinite deadline") << QByteArray(R"({"running":{"deadline":1e400}})") << rest << "fails";
        QTest::newRow("deadline beyond dates") << QByteArray(R"({"running":{"deadline":1e300}})") << rest << "fails";
        QTest::newRow("running without deadline") << QByteArray(R"({"running":{}})") << rest << "fails";
        QTest::newRow("infinite duration") << QByteArray(R"({"idle":{}})")
                                           << QByteArray(R"("roundsToday":2,"runDuration":-1e999)") << "fails";
    }
    void decoding()
    {
        QFETCH(QByteArray, run);
        QFETCH(QByteArray, rest);
        QFETCH(QString, error);
        const QByteArray json = R"({"phase":"work","settings":{"roundsBeforeLong":4,"workMinutes":25,)"
                                R"("shortBreakMinutes":5,"longBreakMinutes":15},"run":)"
            + run + "," + rest + "}";
        const auto result = decodePomodoro(json);
        if (error.isEmpty()) {
            QVERIFY2(result.ok(), qPrintable(result.ok() ? QString() : result.error()));
            QCOMPARE(result.value().roundsToday, 2);
            QCOMPARE(result.value().roundsDay, std::nullopt);
            QCOMPARE(result.value().runDuration, std::nullopt);
        } else {
            QVERIFY(!result.ok());
            if (error != QLatin1String("fails"))
                QCOMPARE(result.error(), error);
        }
    }

    // Records that could not drive a timer are refused like undecodable ones.
    void refusedSettings_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::newRow("no long break rounds") << QByteArray(R"("workMinutes":25,"shortBreakMinutes":5,"longBreakMinutes":15,"roundsBeforeLong":0)");
        QTest::newRow("zero minutes") << QByteArray(R"("workMinutes":0,"shortBreakMinutes":5,"longBreakMinutes":15,"roundsBeforeLong":4)");
        QTest::newRow("negative break") << QByteArray(R"("workMinutes":25,"shortBreakMinutes":-5,"longBreakMinutes":15,"roundsBeforeLong":4)");
        QTest::newRow("overflowing minutes") << QByteArray(R"("workMinutes":3074457345618258603,"shortBreakMinutes":5,"longBreakMinutes":15,"roundsBeforeLong":4)");
        QTest::newRow("fractional minutes") << QByteArray(R"("workMinutes":25.5,"shortBreakMinutes":5,"longBreakMinutes":15,"roundsBeforeLong":4)");
        QTest::newRow("missing rounds") << QByteArray(R"("workMinutes":25,"shortBreakMinutes":5,"longBreakMinutes":15)");
    }
    void refusedSettings()
    {
        QFETCH(QByteArray, settings);
        const QByteArray json = R"({"settings":{)" + settings + R"(},"phase":"work","run":{"idle":{}},"roundsToday":0})";
        QVERIFY(!decodePomodoro(json).ok());
    }

    // Given the time now, a running phase may end no later than its longest length allows: the
    // longest of the settings' phases, or the length fixed at the run's start.
    void deadlineWithinTheLongestPhase_data()
    {
        QTest::addColumn<double>("ahead");
        QTest::addColumn<QByteArray>("runDuration");
        QTest::addColumn<bool>("decodes");
        QTest::newRow("passed") << -3600.0 << QByteArray("null") << true;
        QTest::newRow("a whole work phase") << 1500.0 << QByteArray("null") << true;
        QTest::newRow("a second more") << 1501.0 << QByteArray("null") << false;
        QTest::newRow("fixed at 90 minutes") << 5400.0 << QByteArray("5400") << true;
        QTest::newRow("past its fixed length") << 5401.0 << QByteArray("5400") << false;
        QTest::newRow("63,000 years") << 2e12 << QByteArray("null") << false;
        QTest::newRow("63,000 years, a vast fixed length") << 2e12 << QByteArray("1e9") << false;
    }
    void deadlineWithinTheLongestPhase()
    {
        QFETCH(double, ahead);
        QFETCH(QByteArray, runDuration);
        QFETCH(bool, decodes);
        const double now = 787654321;
        const QByteArray json = R"({"settings":{"workMinutes":25,"shortBreakMinutes":5,"longBreakMinutes":15,)"
                                R"("roundsBeforeLong":4},"phase":"work","run":{"running":{"deadline":)"
            + QByteArray::number(now + ahead, 'f', 0) + R"(}},"roundsToday":0,"runDuration":)" + runDuration + "}";
        QCOMPARE(decodePomodoro(json, now).ok(), decodes);
        // Without the time, only the record's own ranges apply.
        QVERIFY(decodePomodoro(json).ok());
    }

    void unknownPhaseIsRefused()
    {
        QVERIFY(!decodePomodoro(R"({"settings":{"workMinutes":25,"shortBreakMinutes":5,"longBreakMinutes":15,)"
                                R"("roundsBeforeLong":4},"phase":"nap","run":{"idle":{}},"roundsToday":0})")
                     .ok());
    }
};

QTEST_GUILESS_MAIN(PomodoroStateTest)
#include "tst_pomodorostate.moc"
