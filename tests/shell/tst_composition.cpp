// labels: unit
#include "ShellFixture.h"

#include <QJsonArray>
#include <QTest>

#include <map>

using namespace tavrenhold;
using namespace tavrenhold::test;

using Offers = std::map<QString, IdleSignal>;
Q_DECLARE_METATYPE(Offers)

namespace {

// A short text for an item, so that a failing row shows what differs.
QString describe(const IdleItem &item)
{
    return std::visit(
        [](const auto &i) -> QString {
            using T = std::decay_t<decltype(i)>;
            if constexpr (std::is_same_v<T, IdleArtwork>)
                return QStringLiteral("artwork(%1)").arg(i.image ? i.image->id : QStringLiteral("none"));
            else if constexpr (std::is_same_v<T, IdleWaveform>)
                return QStringLiteral("waveform(%1)").arg(i.levels.size());
            else if constexpr (std::is_same_v<T, IdleRing>)
                return QStringLiteral("ring(%1)").arg(i.label);
            else if constexpr (std::is_same_v<T, IdleBadge>)
                return QStringLiteral("badge(%1 %2)").arg(i.symbol, i.text);
            else
                return QStringLiteral("glyph(%1)").arg(i.symbol);
        },
        item);
}

QString describe(const std::optional<IdleEntry> &entry)
{
    return entry ? rawValue(entry->pane) + QLatin1Char(':') + describe(entry->item) : QStringLiteral("-");
}

// "pinned | identity | rotor entries | progress@pane".
QString describe(const IdleComposition &c)
{
    QStringList rotor;
    for (const IdleEntry &e : c.rotor)
        rotor.append(describe(std::optional(e)));
    const QString progress = c.progress ? QString::number(*c.progress) + QLatin1Char('@') + rawValue(*c.progressPane)
                                        : QStringLiteral("-");
    return QStringList{describe(c.pinned), describe(c.identity), rotor.join(u','), progress}.join(QStringLiteral(" | "));
}

const IdleWaveform kWave{{0.2f, 0.7f}};
const IdleArtwork kArt{NotchImage{QStringLiteral("t1"), QByteArray("jpeg")}};

// The signals the real panes give.
IdleSignal music()
{
    return IdleSignal{true, 100, std::nullopt, IdleItem(kArt), IdleItem(kWave), 0.25, 0};
}
IdleSignal focusRing() { return IdleSignal{true, 90, IdleItem(IdleRing{0.5, QStringLiteral("12:30"), std::nullopt}), {}, {}, {}, 0}; }
IdleSignal glyph(const QString &symbol, bool live = true) { return IdleSignal{live, 0, {}, IdleItem(IdleGlyph{symbol}), {}, {}, 0}; }
IdleSignal with(IdleSignal s, auto &&change)
{
    change(s);
    return s;
}

} // namespace

class CompositionTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { isolateUserFolders(); }

    void composition_data()
    {
        QTest::addColumn<QString>("focused");
        QTest::addColumn<QStringList>("hidden");
        QTest::addColumn<Offers>("offers");
        QTest::addColumn<QString>("expected");

        QTest::newRow("nothing live") << "notes" << QStringList{} << Offers{} << "- | - |  | -";
        QTest::newRow("usage focused, nothing connected")
            << "usage" << QStringList{} << Offers{{"usage", glyph("gauge.with.dots.needle.67percent", false)}}
            << "- | usage:glyph(gauge.with.dots.needle.67percent) |  | -";
        QTest::newRow("music focused and playing, timer running")
            << "music" << QStringList{} << Offers{{"music", music()}, {"focus", focusRing()}}
            << "focus:ring(12:30) | music:artwork(t1) | music:waveform(2) | 0.25@music";
        QTest::newRow("notes focused while music plays")
            << "notes" << QStringList{} << Offers{{"music", music()}, {"notes", glyph("pencil.and.scribble")}}
            << "- | notes:glyph(pencil.and.scribble) | music:waveform(2) | 0.25@music";
        QTest::newRow("only the focused pane's identity")
            << "clipboard" << QStringList{}
            << Offers{{"usage", glyph("gauge.with.dots.needle.67percent")}, {"notes", glyph("pencil.and.scribble")}}
            << "- | - |  | -";
        QTest::newRow("hidden panes still take part")
            << "notes" << QStringList{"music", "focus"}
            << Offers{{"music", music()}, {"focus", focusRing()}, {"notes", glyph("pencil.and.scribble")}}
            << "focus:ring(12:30) | notes:glyph(pencil.and.scribble) | music:waveform(2) | 0.25@music";
        QTest::newRow("first pinned in pane order")
            << "notes" << QStringList{}
            << Offers{{"focus", focusRing()},
                      {"usage", with(glyph("x"), [](IdleSignal &s) { s.pinnedLeading = IdleGlyph{"first"}; })}}
            << "usage:glyph(first) | - |  | -";
        QTest::newRow("pinned from the focused pane hides its identity")
            << "drop" << QStringList{}
            << Offers{{"drop", with(glyph("square.stack.3d.up"), [](IdleSignal &s) { s.pinnedLeading = IdleGlyph{"pin"}; })}}
            << "drop:glyph(pin) | - |  | -";
        QTest::newRow("pinned equal to identity shows once")
            << "usage" << QStringList{}
            << Offers{{"usage", glyph("timer")},
                      {"focus", with(IdleSignal{}, [](IdleSignal &s) { s.pinnedLeading = IdleGlyph{"timer"}; })}}
            << "focus:glyph(timer) | - |  | -";
        QTest::newRow("non-focused rotating item that is no waveform")
            << "notes" << QStringList{}
            << Offers{{"clipboard", with(IdleSignal{}, [](IdleSignal &s) { s.rotating = IdleGlyph{"doc.on.clipboard"}; })},
                      {"notes", with(IdleSignal{}, [](IdleSignal &s) { s.rotating = IdleGlyph{"pencil.and.scribble"}; })}}
            << "- | - | notes:glyph(pencil.and.scribble) | -";
        QTest::newRow("focused rotating item equal to another's waveform")
            << "notes" << QStringList{}
            << Offers{{"music", music()}, {"notes", with(IdleSignal{}, [](IdleSignal &s) { s.rotating = kWave; })}}
            << "- | - | notes:waveform(2) | 0.25@music";
        QTest::newRow("waveform equal to the identity")
            << "clipboard" << QStringList{}
            << Offers{{"music", music()}, {"clipboard", with(IdleSignal{}, [](IdleSignal &s) { s.identity = kWave; })}}
            << "- | clipboard:waveform(2) |  | 0.25@music";
        QTest::newRow("waveforms of several panes in pane order")
            << "focus" << QStringList{}
            << Offers{{"drop", with(IdleSignal{}, [](IdleSignal &s) { s.rotating = IdleWaveform{{0.1f}}; })},
                      {"music", music()}}
            << "- | - | music:waveform(2),drop:waveform(1) | 0.25@music";
        QTest::newRow("the focused pane's progress first")
            << "usage" << QStringList{}
            << Offers{{"music", music()}, {"usage", with(glyph("g"), [](IdleSignal &s) { s.progress = 0.75; })}}
            << "- | usage:glyph(g) | music:waveform(2) | 0.75@usage";
        QTest::newRow("no progress without music")
            << "usage" << QStringList{}
            << Offers{{"drop", with(IdleSignal{}, [](IdleSignal &s) { s.progress = 0.5; })}} << "- | - |  | -";
    }
    void composition()
    {
        QFETCH(QString, focused);
        QFETCH(QStringList, hidden);
        QFETCH(Offers, offers);
        QFETCH(QString, expected);

        QJsonObject stored;
        stored.insert(NotchShellModel::focusedPaneKey, focused);
        stored.insert(QStringLiteral("shell.hiddenPanes"), QJsonArray::fromStringList(hidden));
        ShellEnv env(stored);
        env.addAllPanes();
        for (const auto &[pane, signal] : offers)
            env.paneNamed(pane)->setIdle(signal);
        auto model = env.make();

        QCOMPARE(model->focusedName(), focused);
        QCOMPARE(describe(model->composition()), expected);
    }

    // The QML values follow the C++ composition: the rotor index clamps into the rotor, and the
    // travelling waveform is the shown entry's, else the first waveform.
    void shownRotorEntries()
    {
        ShellEnv env(QJsonObject{{NotchShellModel::focusedPaneKey, "notes"}});
        env.addAllPanes();
        env.paneNamed("notes")->setIdle(with(IdleSignal{}, [](IdleSignal &s) { s.rotating = IdleGlyph{"pencil"}; }));
        env.paneNamed("music")->setIdle(music());
        auto model = env.make();
        QCOMPARE(model->rotorEntries().size(), 2);
        QCOMPARE(model->shownRotorIndex(), 0);
        QCOMPARE(model->travelLevels().size(), 2); // the glyph shows; the waveform still travels

        model->runRotor(5);
        for (int i = 0; i < 4; ++i)
            env.clock.advance(std::chrono::milliseconds(3400));
        QCOMPARE(model->rotorIndex(), 4);
        QCOMPARE(model->shownRotorIndex(), 1);
        model->cancelRotor();
    }
};

QTEST_GUILESS_MAIN(CompositionTest)
#include "tst_composition.moc"
