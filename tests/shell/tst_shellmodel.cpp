// labels: unit
#include "ShellFixture.h"

#include <QJsonArray>
#include <QSignalSpy>
#include <QTest>

using namespace tavrenhold;
using namespace tavrenhold::test;

namespace {

QJsonObject storedFocus(const QString &name, const QStringList &hidden = {}, const QStringList &order = {})
{
    QJsonObject o;
    if (!name.isEmpty())
        o.insert(NotchShellModel::focusedPaneKey, name);
    if (!hidden.isEmpty())
        o.insert(QStringLiteral("shell.hiddenPanes"), QJsonArray::fromStringList(hidden));
    if (!order.isEmpty())
        o.insert(QStringLiteral("shell.paneOrder"), QJsonArray::fromStringList(order));
    return o;
}

// Runs one step of a script against the model: "expand", "idle", "proximity", "land:<pane>",
// "hide:<pane>" and "show:<pane>" (the settings change, then the shell re-reads them), and
// "move:<from>:<to>" (rows of the Panes settings).
void run(ShellEnv &env, NotchShellModel &model, const QString &step)
{
    const QStringList parts = step.split(u':');
    const QString verb = parts.value(0);
    if (verb == QLatin1String("expand"))
        model.setPhase(NotchPhase::expanded);
    else if (verb == QLatin1String("idle"))
        model.setPhase(NotchPhase::idle);
    else if (verb == QLatin1String("proximity"))
        model.setPhase(NotchPhase::proximity);
    else if (verb == QLatin1String("land"))
        model.land(parts.value(1));
    else if (verb == QLatin1String("hide") || verb == QLatin1String("show")) {
        env.preferences->setVisible(parts.value(1), verb == QLatin1String("show"));
        model.syncPanePreferences();
    } else if (verb == QLatin1String("move")) {
        env.preferences->move({parts.value(1).toInt()}, parts.value(2).toInt());
        model.syncPanePreferences();
    } else {
        QFAIL(qPrintable(QStringLiteral("unknown step ") + step));
    }
}

IdleSignal glyphSignal(const QString &symbol)
{
    IdleSignal s;
    s.isLive = true;
    s.identity = IdleGlyph{symbol};
    return s;
}

IdleSignal fullMusic()
{
    IdleSignal s;
    s.isLive = true;
    s.priority = 100;
    s.identity = IdleArtwork{NotchImage{QStringLiteral("track"), QByteArray("png")}};
    s.rotating = IdleWaveform{{0.2f, 0.4f}};
    s.progress = 0.5;
    return s;
}

IdleSignal runningFocus()
{
    IdleSignal s;
    s.isLive = true;
    s.priority = 90;
    s.pinnedLeading = IdleRing{0.25, QStringLiteral("18:45"), std::nullopt};
    return s;
}

} // namespace

class ShellModelTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { isolateUserFolders(); }

    // The focused pane comes from "shell.focusedPane" when that names a visible pane; otherwise the
    // first visible one. Creation writes nothing and activates nothing.
    void creation_data()
    {
        QTest::addColumn<QJsonObject>("stored");
        QTest::addColumn<QString>("focused");
        QTest::addColumn<QStringList>("order");

        const QStringList all{"usage", "music", "clipboard", "notes", "drop", "focus"};
        QTest::newRow("nothing stored") << QJsonObject() << "usage" << all;
        QTest::newRow("stored visible pane") << storedFocus("notes") << "notes" << all;
        QTest::newRow("stored pane hidden")
            << storedFocus("focus", {"focus"}) << "usage" << QStringList{"usage", "music", "clipboard", "notes", "drop"};
        QTest::newRow("unknown name") << storedFocus("Music") << "usage" << all;
        QTest::newRow("first visible in user order")
            << storedFocus("", {"drop"}, {"drop", "clipboard", "usage", "music", "notes", "focus"}) << "clipboard"
            << QStringList{"clipboard", "usage", "music", "notes", "focus"};
    }
    void creation()
    {
        QFETCH(QJsonObject, stored);
        QFETCH(QString, focused);
        QFETCH(QStringList, order);

        ShellEnv env(stored);
        env.addAllPanes();
        const QString before = env.storedText(NotchShellModel::focusedPaneKey);
        auto model = env.make();

        QCOMPARE(model->focusedName(), focused);
        QCOMPARE(model->landedName(), focused);
        QCOMPARE(model->orderNames(), order);
        QCOMPARE(env.storedText(NotchShellModel::focusedPaneKey), before);
        QVERIFY(env.log.isEmpty());
        QCOMPARE(model->phase(), NotchPhase::idle);
    }

    // The phase table and landing: a pane is deactivated before the next is activated, never
    // activated twice in a row, and only while expanded.
    void activation_data()
    {
        QTest::addColumn<QStringList>("script");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<QString>("landed");
        QTest::addColumn<QString>("stored");

        QTest::newRow("expand") << QStringList{"expand"} << QStringList{"activate:usage"} << "usage" << "-";
        QTest::newRow("expand twice") << QStringList{"expand", "expand"} << QStringList{"activate:usage"} << "usage" << "-";
        QTest::newRow("collapse") << QStringList{"expand", "idle"}
                                  << QStringList{"activate:usage", "deactivate:usage"} << "usage" << "-";
        QTest::newRow("expanded to proximity") << QStringList{"expand", "proximity"}
                                               << QStringList{"activate:usage", "deactivate:usage"} << "usage" << "-";
        QTest::newRow("idle and proximity touch no pane")
            << QStringList{"proximity", "idle", "proximity"} << QStringList{} << "usage" << "-";
        QTest::newRow("expand again") << QStringList{"expand", "idle", "expand"}
                                      << QStringList{"activate:usage", "deactivate:usage", "activate:usage"} << "usage"
                                      << "-";
        QTest::newRow("land while expanded")
            << QStringList{"expand", "land:notes"}
            << QStringList{"activate:usage", "deactivate:usage", "activate:notes"} << "notes" << "notes";
        QTest::newRow("land on the active pane")
            << QStringList{"expand", "land:usage"} << QStringList{"activate:usage"} << "usage" << "-";
        QTest::newRow("land while collapsed") << QStringList{"land:drop", "expand"} << QStringList{"activate:drop"}
                                              << "drop" << "drop";
        QTest::newRow("land on an unknown name")
            << QStringList{"expand", "land:Music"} << QStringList{"activate:usage"} << "usage" << "-";
        QTest::newRow("landed pane hidden while expanded")
            << QStringList{"expand", "land:notes", "hide:notes"}
            << QStringList{"activate:usage", "deactivate:usage", "activate:notes", "deactivate:notes", "activate:usage"}
            << "usage" << "usage";
        QTest::newRow("landed pane hidden while collapsed")
            << QStringList{"land:notes", "hide:notes", "expand"} << QStringList{"activate:usage"} << "usage" << "usage";
        QTest::newRow("another pane hidden") << QStringList{"expand", "land:drop", "hide:music"}
                                             << QStringList{"activate:usage", "deactivate:usage", "activate:drop"}
                                             << "drop" << "drop";
        QTest::newRow("order changes around the landed pane")
            << QStringList{"expand", "land:clipboard", "move:2:0"}
            << QStringList{"activate:usage", "deactivate:usage", "activate:clipboard"} << "clipboard" << "clipboard";
    }
    void activation()
    {
        QFETCH(QStringList, script);
        QFETCH(QStringList, log);
        QFETCH(QString, landed);
        QFETCH(QString, stored);

        ShellEnv env;
        env.addAllPanes();
        auto model = env.make();
        for (const QString &step : script)
            run(env, *model, step);

        QCOMPARE(env.log, log);
        QCOMPARE(env.violations(), 0);
        QCOMPARE(model->landedName(), landed);
        QCOMPARE(model->focusedName(), landed);
        QCOMPARE(env.storedText(NotchShellModel::focusedPaneKey), stored);
    }

    void landingOnAPaneThatIsNotThere()
    {
        ShellEnv env;
        env.addPanes({"usage", "music"});
        auto model = env.make();
        model->setPhase(NotchPhase::expanded);
        model->land(PaneID::focus);
        QCOMPARE(model->landed(), PaneID::usage);
        QCOMPARE(env.log, QStringList{"activate:usage"});
        QCOMPARE(model->orderNames(), (QStringList{"usage", "music"}));
    }

    void hidingReordersWithoutTouchingTheLandedPane()
    {
        ShellEnv env;
        env.addAllPanes();
        auto model = env.make();
        QSignalSpy order(model.get(), &NotchShellModel::orderChanged);
        QSignalSpy landed(model.get(), &NotchShellModel::landedChanged);
        model->land(PaneID::notes);
        landed.clear();

        run(env, *model, QStringLiteral("hide:usage"));
        QCOMPARE(order.count(), 1);
        QCOMPARE(landed.count(), 0);
        QCOMPARE(model->landedIndex(), 2); // music, clipboard, notes
        run(env, *model, QStringLiteral("hide:notes"));
        QCOMPARE(model->landedName(), QStringLiteral("music"));
        QCOMPARE(model->landedIndex(), 0);
    }

    void noPanesAtAll()
    {
        ShellEnv env(storedFocus("drop"));
        auto model = env.make();
        QCOMPARE(model->orderNames(), QStringList{"music"});
        QCOMPARE(model->focusedID(), PaneID::music);
        QCOMPARE(model->landed(), PaneID::music);
        QVERIFY(!model->pane(PaneID::music));

        model->start();
        model->setPhase(NotchPhase::expanded);
        QCOMPARE(model->surfaceHeight(), 320.0);
        QCOMPARE(model->landedContentHeight(), 208.0);
        QCOMPARE(model->contentHeights().value("music").toDouble(), 208.0);
        QVERIFY(!model->composition().hasLeading());
        QCOMPARE(model->composition().rotor.size(), size_t(0));
        model->land(PaneID::music);
        QCOMPARE(env.storedText(NotchShellModel::focusedPaneKey), QStringLiteral("drop"));
    }

    // Surface height by phase and height setting, and the corner radius that follows from it.
    void surfaceHeight_data()
    {
        QTest::addColumn<int>("phase");
        QTest::addColumn<bool>("notchHeight");
        QTest::addColumn<double>("hardwareHeight");
        QTest::addColumn<double>("height");
        QTest::addColumn<double>("radius");

        const int idle = int(NotchPhase::idle), near = int(NotchPhase::proximity), open = int(NotchPhase::expanded);
        QTest::newRow("idle standard") << idle << false << 32.0 << 44.0 << 17.0;
        QTest::newRow("proximity standard") << near << false << 32.0 << 47.0 << 17.0;
        QTest::newRow("idle notch") << idle << true << 32.0 << 32.0 << 13.0;
        QTest::newRow("proximity notch") << near << true << 32.0 << 35.0 << 14.0;
        QTest::newRow("idle notch of no height") << idle << true << 0.0 << 1.0 << 0.0;
        QTest::newRow("proximity notch of no height") << near << true << 0.0 << 4.0 << 2.0;
        QTest::newRow("expanded standard") << open << false << 32.0 << 268.0 << 32.0;
        QTest::newRow("expanded notch") << open << true << 32.0 << 268.0 << 32.0;
    }
    void surfaceHeight()
    {
        QFETCH(int, phase);
        QFETCH(bool, notchHeight);
        QFETCH(double, hardwareHeight);
        QFETCH(double, height);
        QFETCH(double, radius);

        ShellEnv env;
        env.addAllPanes(156);
        env.settings->setCollapsedHeight(notchHeight ? CollapsedHeight::notch : CollapsedHeight::standard);
        auto model = env.make(ShellEnv::geometry(200, hardwareHeight));
        model->setPhase(NotchPhase(phase));
        QCOMPARE(model->surfaceHeight(), height);
        QCOMPARE(model->cornerRadius(), radius);
    }

    // Width of the collapsed surface from the composition, and how far it lies off the notch's centre
    // so that the gap between the wings is over the notch; the notch width mode and the expanded
    // phase ignore it.
    void targetWidth_data()
    {
        QTest::addColumn<int>("phase");
        QTest::addColumn<bool>("notchWidth");
        QTest::addColumn<QString>("content");
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("surfaceWidth");
        QTest::addColumn<double>("shift"); // of the surface's centre from the notch's

        const int idle = int(NotchPhase::idle), near = int(NotchPhase::proximity), open = int(NotchPhase::expanded);
        QTest::newRow("empty idle") << idle << false << "empty" << 214.0 << 214.0 << 0.0;
        QTest::newRow("empty proximity") << near << false << "empty" << 215.5 << 215.5 << 0.0;
        QTest::newRow("full idle") << idle << false << "full" << 352.0 << 352.0 << -16.0;
        QTest::newRow("full proximity") << near << false << "full" << 355.0 << 355.0 << -16.0;
        QTest::newRow("identity only") << idle << false << "identity" << 246.0 << 246.0 << -23.0;
        QTest::newRow("rotor only") << idle << false << "rotor" << 260.0 << 260.0 << 30.0;
        QTest::newRow("notch width") << near << true << "full" << 200.0 << 200.0 << 0.0;
        QTest::newRow("expanded") << open << false << "full" << 560.0 << 560.0 << 0.0;
    }
    void targetWidth()
    {
        QFETCH(int, phase);
        QFETCH(bool, notchWidth);
        QFETCH(QString, content);
        QFETCH(double, width);
        QFETCH(double, surfaceWidth);
        QFETCH(double, shift);

        ShellEnv env(storedFocus("music"));
        env.addAllPanes();
        env.settings->setExpandedWidth(560);
        env.settings->setCollapsedWidth(notchWidth ? CollapsedWidth::notch : CollapsedWidth::compact);
        if (content == QLatin1String("full")) {
            env.paneNamed("music")->setIdle(fullMusic());
            env.paneNamed("focus")->setIdle(runningFocus());
        } else if (content == QLatin1String("identity")) {
            env.paneNamed("music")->setIdle(glyphSignal("music.note"));
        } else if (content == QLatin1String("rotor")) {
            IdleSignal s;
            s.rotating = IdleWaveform{{0.5f}};
            env.paneNamed("clipboard")->setIdle(s);
        }
        auto model = env.make();
        model->setPhase(NotchPhase(phase));
        QCOMPARE(model->targetWidth(), width);
        QCOMPARE(model->surfaceWidth(), surfaceWidth);
        QCOMPARE(model->surfaceShift(), shift);
    }

    // Sizes and the composition are told when a pane or a setting changes them, and only then.
    void notifiesOnlyOnChange()
    {
        ShellEnv env(storedFocus("music"));
        env.addAllPanes(150);
        auto model = env.make();
        QSignalSpy width(model.get(), &NotchShellModel::targetWidthChanged);
        QSignalSpy identity(model.get(), &NotchShellModel::identityChanged);
        QSignalSpy composition(model.get(), &NotchShellModel::compositionChanged);
        QSignalSpy height(model.get(), &NotchShellModel::surfaceHeightChanged);
        QSignalSpy heights(model.get(), &NotchShellModel::contentHeightsChanged);
        QSignalSpy landedHeight(model.get(), &NotchShellModel::landedContentHeightChanged);
        QSignalSpy wings(model.get(), &NotchShellModel::showsWingsChanged);

        env.paneNamed("music")->setIdle(IdleSignal::inactive); // unchanged
        env.paneNamed("notes")->setIdle(glyphSignal("pencil.and.scribble")); // not focused: not shown
        QCOMPARE(composition.count(), 0);
        QCOMPARE(width.count(), 0);

        env.paneNamed("music")->setIdle(glyphSignal("music.note"));
        QCOMPARE(identity.count(), 1);
        QCOMPARE(width.count(), 1);
        QCOMPARE(model->targetWidth(), 246.0);
        QCOMPARE(model->identityEntry().value("symbol").toString(), QStringLiteral("music.note"));

        env.settings->setCollapsedWidth(CollapsedWidth::notch);
        QCOMPARE(width.count(), 2);
        QCOMPARE(wings.count(), 1);
        env.settings->setCollapsedWidth(CollapsedWidth::notch);
        QCOMPARE(width.count(), 2);

        // The landed pane's height reaches the expanded surface; another pane's only its slot.
        model->setPhase(NotchPhase::expanded);
        QCOMPARE(height.count(), 1);
        env.paneNamed("clipboard")->setHeight(180);
        QCOMPARE(height.count(), 1);
        QCOMPARE(heights.count(), 1);
        QCOMPARE(landedHeight.count(), 0);
        env.paneNamed("music")->setHeight(200);
        QCOMPARE(height.count(), 2);
        QCOMPARE(landedHeight.count(), 1);
        QCOMPARE(model->surfaceHeight(), 312.0);
        QCOMPARE(model->landedContentHeight(), 200.0);

        // Landing on a pane of another height changes no pane's height, but the landed one's.
        model->land(PaneID::clipboard);
        QCOMPARE(heights.count(), 2);
        QCOMPARE(landedHeight.count(), 2);
        QCOMPARE(model->landedContentHeight(), 180.0);
        QCOMPARE(height.count(), 3);
        QCOMPARE(model->surfaceHeight(), 292.0);
        env.paneNamed("notes")->setHeight(180);
        model->land(PaneID::notes);
        QCOMPARE(landedHeight.count(), 2);
    }

    void viewValues()
    {
        ShellEnv env(storedFocus("music"));
        env.addAllPanes();
        env.paneNamed("music")->setIdle(fullMusic());
        env.paneNamed("focus")->setIdle(runningFocus());
        auto model = env.make();

        QCOMPARE(model->pinnedEntry().value("kind").toString(), QStringLiteral("ring"));
        QCOMPARE(model->pinnedEntry().value("accent").toString(), QStringLiteral("focusAccent"));
        QCOMPARE(model->pinnedEntry().value("label").toString(), QStringLiteral("18:45"));
        QCOMPARE(model->identityEntry().value("imageId").toString(), QStringLiteral("track"));
        QCOMPARE(model->rotorEntries().size(), 1);
        QCOMPARE(model->rotorEntries().first().toMap().value("isPlaying").toBool(), true);
        QCOMPARE(model->progressPaneName(), QStringLiteral("music"));
        QCOMPARE(model->progressTint(), QStringLiteral("ink"));
        QVERIFY(model->showsProgressBar());
        QVERIFY(model->hasTravelArtwork());
        QVERIFY(model->hasTravelWave());
        QVERIFY(model->artworkImage(QStringLiteral("track")).has_value());

        // The progress line needs the standard height.
        env.settings->setCollapsedHeight(CollapsedHeight::notch);
        QVERIFY(!model->showsCollapsedProgress());
        QVERIFY(!model->showsProgressBar());

        // Full screen hides the collapsed surface only.
        model->setHidesCollapsed(true);
        QCOMPARE(model->surfaceOpacity(), 0.0);
        model->setPhase(NotchPhase::expanded);
        QCOMPARE(model->surfaceOpacity(), 1.0);
        QVERIFY(model->openOnMusic());
        QCOMPARE(model->paneObject("music"), static_cast<QObject *>(env.paneNamed("music")));
        QVERIFY(!model->paneObject("Music"));
    }
};

QTEST_GUILESS_MAIN(ShellModelTest)
#include "tst_shellmodel.moc"
