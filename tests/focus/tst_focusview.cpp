// labels: qml
// The expanded Focus pane offscreen: what it shows idle, running, paused, after two rounds and for
// a long phase, all read from the view's own items.
#include "fakes/ManualClock.h"
#include "focus/FocusFace.h"
#include "focus/FocusPane.h"
#include "platform/Defaults.h"

#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <memory>

Q_IMPORT_QML_PLUGIN(Tavrenhold_DesignPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_FocusPlugin)

using namespace tavrenhold;
using namespace std::chrono_literals;

namespace {
struct ViewRig {
    QTemporaryDir dir;
    test::ManualClock clock;
    platform::Defaults defaults{dir.filePath(QStringLiteral("defaults.json"))};
    FocusPane pane{defaults, clock};
    QQmlEngine engine;
    std::unique_ptr<QObject> view;

    ViewRig()
    {
        QQmlComponent component(&engine, pane.content());
        view.reset(component.createWithInitialProperties({{"pane", QVariant::fromValue<QObject *>(&pane)}}));
        if (!view)
            qWarning("%s", qPrintable(component.errorString()));
    }
    [[nodiscard]] QString text(const char *name) const
    {
        auto *item = view->findChild<QObject *>(QLatin1String(name));
        return item ? item->property("text").toString() : QStringLiteral("(missing)");
    }
    [[nodiscard]] QString toggleSymbol() const
    {
        return view->findChild<QObject *>(QStringLiteral("focusToggle"))->property("symbol").toString();
    }
    [[nodiscard]] bool resetRoundsShown() const
    {
        return view->findChild<QQuickItem *>(QStringLiteral("focusResetRounds"))->isVisible();
    }
    [[nodiscard]] double ring() const
    {
        return view->findChild<QObject *>(QStringLiteral("focusRing"))->property("value").toDouble();
    }
    // What the view's half-second refresh does.
    void refresh() const { view->findChild<FocusFace *>(QStringLiteral("focusFace"))->refresh(); }
};
} // namespace

class FocusViewTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void idleFace()
    {
        ViewRig rig;
        QVERIFY(rig.view);
        QCOMPARE(rig.text("focusTitle"), QStringLiteral("FOCUS"));
        QCOMPARE(rig.text("focusTime"), QStringLiteral("25:00"));
        QCOMPARE(rig.text("focusRounds"), QStringLiteral("0 rounds today"));
        QVERIFY(!rig.resetRoundsShown());
        QCOMPARE(rig.toggleSymbol(), QStringLiteral("play.fill"));
        QCOMPARE(rig.ring(), 0.0);
    }

    void runningThenPaused()
    {
        ViewRig rig;
        rig.pane.toggle();
        QCOMPARE(rig.toggleSymbol(), QStringLiteral("pause.fill"));
        rig.clock.advance(5min);
        QCOMPARE(rig.text("focusTime"), QStringLiteral("25:00")); // until the next refresh
        rig.refresh();
        QCOMPARE(rig.text("focusTime"), QStringLiteral("20:00"));
        QCOMPARE(rig.ring(), 0.2);

        rig.pane.toggle();
        QCOMPARE(rig.toggleSymbol(), QStringLiteral("play.fill"));
        rig.clock.advance(5min);
        rig.refresh();
        QCOMPARE(rig.text("focusTime"), QStringLiteral("20:00"));
        QCOMPARE(rig.ring(), 0.2);
    }

    void afterTwoRounds()
    {
        ViewRig rig;
        for (int i = 0; i < 3; ++i)
            rig.pane.skip(); // work, break, work
        QCOMPARE(rig.text("focusTitle"), QStringLiteral("BREAK"));
        QCOMPARE(rig.text("focusTime"), QStringLiteral("5:00"));
        QCOMPARE(rig.text("focusRounds"), QStringLiteral("2 rounds today"));
        QVERIFY(rig.resetRoundsShown());
        rig.pane.resetRoundsToday();
        QCOMPARE(rig.text("focusRounds"), QStringLiteral("0 rounds today"));
        QVERIFY(!rig.resetRoundsShown());
        rig.pane.skip();
        rig.pane.skip();
        QCOMPARE(rig.text("focusRounds"), QStringLiteral("1 round today"));
    }

    void longPhaseShowsHours()
    {
        ViewRig rig;
        PomodoroState state = rig.pane.state();
        state.settings.workMinutes = 90;
        rig.pane.setState(state);
        QCOMPARE(rig.text("focusTime"), QStringLiteral("1:30:00"));
        state.phase = FocusPhase::longBreak;
        rig.pane.setState(state);
        QCOMPARE(rig.text("focusTitle"), QStringLiteral("LONG BREAK"));
    }
};

QTEST_MAIN(FocusViewTest)
#include "tst_focusview.moc"
