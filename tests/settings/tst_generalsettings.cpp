// labels: unit settings
// The General tab's texts and the focus pickers' write rule, without a window.
#include "app/GeneralSettings.h"
#include "fakes/ManualClock.h"
#include "focus/FocusPane.h"
#include "platform/Defaults.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace tavrenhold;

class GeneralSettingsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void labels_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("expected");
        QTest::newRow("hover off") << GeneralSettings::hoverLabel(0) << "Off";
        QTest::newRow("hover 10") << GeneralSettings::hoverLabel(10) << "10 pt";
        QTest::newRow("hover truncated") << GeneralSettings::hoverLabel(40.9) << "40 pt";
        QTest::newRow("hover 120") << GeneralSettings::hoverLabel(120) << "120 pt";
        QTest::newRow("width") << GeneralSettings::pointsLabel(520) << "520 pt";
        QTest::newRow("minutes") << GeneralSettings::minutesLabel(25) << "25 min";
        QTest::newRow("rounds") << GeneralSettings::roundsLabel(4) << "4 rounds";
        QTest::newRow("no rounds today") << GeneralSettings::resetRoundsTitle(0) << "Reset Today's Rounds";
        QTest::newRow("three rounds today") << GeneralSettings::resetRoundsTitle(3) << "Reset Today's Rounds (3)";
    }
    void labels()
    {
        QFETCH(QString, label);
        QFETCH(QString, expected);
        QCOMPARE(label, expected);
    }

    // A pick outside the options or equal to the current length changes and stores nothing.
    void focusBinding_data()
    {
        QTest::addColumn<qint64>("value");
        QTest::addColumn<bool>("stored");
        QTest::newRow("an option") << qint64(50) << true;
        QTest::newRow("the current length") << qint64(25) << false;
        QTest::newRow("not an option") << qint64(26) << false;
    }
    void focusBinding()
    {
        QFETCH(qint64, value);
        QFETCH(bool, stored);
        QTemporaryDir dir;
        platform::Defaults defaults(dir.filePath(QStringLiteral("defaults.json")));
        test::ManualClock clock;
        FocusPane focus(defaults, clock);
        QSignalSpy changes(&focus, &FocusPane::stateChanged);
        GeneralSettings::focusBinding(focus, &FocusSettings::workMinutes, FocusSettings::workOptions, value);
        QCOMPARE(defaults.contains(FocusPane::defaultsKey), stored);
        QCOMPARE(changes.count(), stored ? 1 : 0);
        QCOMPARE(focus.state().settings.workMinutes, stored ? value : 25);
    }
};

QTEST_GUILESS_MAIN(GeneralSettingsTest)
#include "tst_generalsettings.moc"
