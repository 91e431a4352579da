#include "design/NotchPane.h"

#include <QTest>

using namespace tavrenhold;

Q_DECLARE_METATYPE(tavrenhold::IdleItem)

namespace {
NotchImage image(const char *id, const char *bytes) { return *NotchImage::make(QString::fromLatin1(id), QByteArray(bytes)); }
const QDateTime t0(QDate(2026, 3, 1), QTime(10, 0), Qt::UTC);
} // namespace

class PaneContractTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void rawValues_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<int>("expected"); // -1: no pane
        QTest::newRow("clipboard") << "clipboard" << int(PaneID::clipboard);
        QTest::newRow("focus") << "focus" << int(PaneID::focus);
        QTest::newRow("capital") << "Music" << -1;
        QTest::newRow("leading blank") << " music" << -1;
        QTest::newRow("empty") << "" << -1;
        QTest::newRow("title is not raw") << "AI Usage" << -1;
    }
    void rawValues()
    {
        QFETCH(QString, raw);
        QFETCH(int, expected);
        const auto pane = tavrenhold::paneFromRaw(raw);
        QCOMPARE(pane.has_value(), expected >= 0);
        if (pane)
            QCOMPARE(int(*pane), expected);
    }

    void tableRoundTrips()
    {
        const QStringList raws{"usage", "music", "clipboard", "notes", "drop", "focus"};
        QCOMPARE(int(allPanes.size()), raws.size());
        for (int i = 0; i < raws.size(); ++i) {
            QCOMPARE(rawValue(allPanes[i]), raws[i]);
            QCOMPARE(tavrenhold::paneFromRaw(raws[i]), std::optional(allPanes[i]));
        }
        QCOMPARE(title(PaneID::usage), QStringLiteral("AI Usage"));
        QCOMPARE(symbol(PaneID::drop), QStringLiteral("square.stack.3d.up"));
        QCOMPARE(symbol(PaneID::usage), QStringLiteral("gauge.with.dots.needle.67percent"));
    }

    void itemEquality_data()
    {
        QTest::addColumn<IdleItem>("a");
        QTest::addColumn<IdleItem>("b");
        QTest::addColumn<bool>("equal");
        QTest::newRow("absent artwork") << IdleItem(IdleArtwork{}) << IdleItem(IdleArtwork{}) << true;
        QTest::newRow("absent vs image") << IdleItem(IdleArtwork{}) << IdleItem(IdleArtwork{image("a", "x")}) << false;
        QTest::newRow("same id other bytes") << IdleItem(IdleArtwork{image("a", "x")})
                                             << IdleItem(IdleArtwork{image("a", "y")}) << false;
        QTest::newRow("same image") << IdleItem(IdleArtwork{image("a", "x")}) << IdleItem(IdleArtwork{image("a", "x")})
                                    << true;
        QTest::newRow("ring span absent vs present")
            << IdleItem(IdleRing{0.5, "4:00", std::nullopt})
            << IdleItem(IdleRing{0.5, "4:00", TimeSpan{t0, t0.addSecs(1500)}}) << false;
        QTest::newRow("ring equal spans") << IdleItem(IdleRing{0.5, "4:00", TimeSpan{t0, t0.addSecs(60)}})
                                          << IdleItem(IdleRing{0.5, "4:00", TimeSpan{t0, t0.addSecs(60)}}) << true;
        QTest::newRow("waveform lengths") << IdleItem(IdleWaveform{{0.1f, 0.2f}}) << IdleItem(IdleWaveform{{0.1f}})
                                          << false;
        QTest::newRow("waveform zero signs") << IdleItem(IdleWaveform{{0.0f}}) << IdleItem(IdleWaveform{{-0.0f}})
                                             << true;
        QTest::newRow("glyph vs badge") << IdleItem(IdleGlyph{"timer"}) << IdleItem(IdleBadge{"timer", ""}) << false;
        QTest::newRow("badge text") << IdleItem(IdleBadge{"s", "2"}) << IdleItem(IdleBadge{"s", "3"}) << false;
    }
    void itemEquality()
    {
        QFETCH(IdleItem, a);
        QFETCH(IdleItem, b);
        QFETCH(bool, equal);
        QCOMPARE(a == b, equal);
        QCOMPARE(b == a, equal);
    }

    void signalsAndComposition()
    {
        QVERIFY(IdleSignal::inactive == IdleSignal{});
        IdleSignal usage{false, 24, std::nullopt, IdleGlyph{symbol(PaneID::usage)}, std::nullopt, std::nullopt, 0};
        QVERIFY(usage != IdleSignal::inactive);
        IdleSignal withProgress = IdleSignal::inactive;
        withProgress.progress = 0.0;
        QVERIFY(withProgress != IdleSignal::inactive); // an absent optional equals only an absent one

        IdleComposition c;
        QVERIFY(!c.hasLeading());
        c.rotor.push_back({PaneID::music, IdleWaveform{{0.2f}}});
        QVERIFY(!c.hasLeading());
        c.pinned = IdleEntry{PaneID::focus, IdleRing{0.1, "1:00", std::nullopt}};
        QVERIFY(c.hasLeading());
        IdleComposition d = c;
        QVERIFY(c == d);
        d.progressPane = PaneID::music;
        QVERIFY(c != d);
    }
};

QTEST_GUILESS_MAIN(PaneContractTest)
#include "tst_panecontract.moc"
