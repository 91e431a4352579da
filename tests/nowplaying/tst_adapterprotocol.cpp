// labels: unit
#include "fakes/ManualClock.h"
#include "nowplaying/AdapterLineReader.h"
#include "nowplaying/AdapterProcess.h"
#include "nowplaying/AdapterStream.h"

#include <QTest>

using namespace tavrenhold;

Q_DECLARE_METATYPE(tavrenhold::AdapterPayload)

namespace {
AdapterPayload titled(const QString &title)
{
    AdapterPayload p;
    p.title = title;
    return p;
}

QByteArray dataLine(const QByteArray &payload) { return R"({"type":"data","payload":)" + payload + "}\n"; }

QDateTime utc(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC);
}

// The wall time of a fresh ManualClock: what a time stamp that is no date becomes.
QDateTime clockNow() { return test::ManualClock().wallNow(); }
} // namespace

class AdapterProtocolTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void lineReader_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QList<AdapterPayload>>("expected");
        QTest::addColumn<int>("maxLine"); // 0: the default bound

        const QByteArray a = dataLine(R"({"title":"A"})");
        const QByteArray b = dataLine(R"({"title":"B"})");

        QTest::newRow("two lines in one chunk") << QList<QByteArray>{a + b}
                                                << QList<AdapterPayload>{titled("A"), titled("B")} << 0;
        QTest::newRow("one line over three chunks")
            << QList<QByteArray>{a.left(5), a.mid(5, 10), a.mid(15)} << QList<AdapterPayload>{titled("A")} << 0;
        QTest::newRow("line feed in a chunk of its own")
            << QList<QByteArray>{a.chopped(1), "\n"} << QList<AdapterPayload>{titled("A")} << 0;
        QTest::newRow("empty lines are skipped")
            << QList<QByteArray>{"\n" + a + "\n\n" + b} << QList<AdapterPayload>{titled("A"), titled("B")} << 0;
        QTest::newRow("bad JSON between good lines")
            << QList<QByteArray>{a + "{\"type\":\"data\",\"payload\":\n" + "not json\n" + b}
            << QList<AdapterPayload>{titled("A"), titled("B")} << 0;
        QTest::newRow("data without payload") << QList<QByteArray>{R"({"type":"data"})" "\n"}
                                              << QList<AdapterPayload>{} << 0;
        QTest::newRow("data with null payload") << QList<QByteArray>{R"({"type":"data","payload":null})" "\n"}
                                                << QList<AdapterPayload>{} << 0;
        QTest::newRow("other type with payload")
            << QList<QByteArray>{R"({"type":"status","payload":{"title":"A"}})" "\n"
                                 R"({"type":"Data","payload":{"title":"A"}})" "\n"}
            << QList<AdapterPayload>{} << 0;
        QTest::newRow("missing or non-text type")
            << QList<QByteArray>{R"({"payload":{"title":"A"}})" "\n" R"({"type":1,"payload":{"title":"A"}})" "\n"
                                 R"({"type":null,"payload":{"title":"A"}})" "\n"}
            << QList<AdapterPayload>{} << 0;
        QTest::newRow("top level not an object") << QList<QByteArray>{"[1,2]\n\"data\"\n"} << QList<AdapterPayload>{}
                                                 << 0;
        QTest::newRow("payload not an object") << QList<QByteArray>{R"({"type":"data","payload":[1]})" "\n"}
                                               << QList<AdapterPayload>{} << 0;
        QTest::newRow("empty payload object") << QList<QByteArray>{dataLine("{}")}
                                              << QList<AdapterPayload>{AdapterPayload{}} << 0;

        AdapterPayload full;
        full.title = "Song";
        full.artist = "Art";
        full.album = "Alb";
        full.duration = 215000;
        full.elapsedTime = 12.5;
        full.timestamp = utc(2026, 3, 1, 10, 0, 0);
        full.playing = true;
        full.playbackRate = 1;
        full.bundleIdentifier = "com.spotify.client";
        full.parentApplicationBundleIdentifier = "org.mozilla.firefox";
        full.artworkData = QByteArray("\x89PNG\r\n", 6);
        QTest::newRow("every field")
            << QList<QByteArray>{dataLine(R"({"title":"Song","artist":"Art","album":"Alb","duration":215000,)"
                                          R"("elapsedTime":12.5,"timestamp":"2026-03-01T10:00:00Z","playing":true,)"
                                          R"("playbackRate":1,"bundleIdentifier":"com.spotify.client",)"
                                          R"("parentApplicationBundleIdentifier":"org.mozilla.firefox",)"
                                          R"("artworkData":"iVBORw0K","extra":{"x":[1]}})")}
            << QList<AdapterPayload>{full} << 0;

        AdapterPayload nulls;
        nulls.artist = "Art";
        QTest::newRow("nulls are absent")
            << QList<QByteArray>{dataLine(R"({"title":null,"artist":"Art","duration":null,"playing":null,)"
                                          R"("timestamp":null,"artworkData":null})")}
            << QList<AdapterPayload>{nulls} << 0;

        // A wrong type drops the whole line, with all its other fields; the next line still counts.
        const QList<QByteArray> wrongTypes{
            R"({"title":"X","playing":"true"})", R"({"title":"X","duration":"215"})", R"({"title":7})",
            R"({"title":"X","playing":1})",      R"({"title":"X","timestamp":1767225600})",
            R"({"title":"X","artworkData":"not base64!"})", R"({"title":"X","artworkData":12})",
            R"({"title":"X","bundleIdentifier":["a"]})",   R"({"title":"X","timestamp":{"s":1}})",
        };
        for (const QByteArray &bad : wrongTypes)
            QTest::addRow("wrong type drops the line: %s", bad.constData())
                << QList<QByteArray>{dataLine(bad) + b} << QList<AdapterPayload>{titled("B")} << 0;

        auto stamped = [](const QDateTime &when) {
            AdapterPayload p;
            p.timestamp = when;
            return QList<AdapterPayload>{p};
        };
        QTest::newRow("date without fractional seconds")
            << QList<QByteArray>{dataLine(R"({"timestamp":"2026-03-01T10:00:05Z"})")} << stamped(utc(2026, 3, 1, 10, 0, 5))
            << 0;
        QTest::newRow("date with fractional seconds")
            << QList<QByteArray>{dataLine(R"({"timestamp":"2026-03-01T10:00:05.250Z"})")}
            << stamped(utc(2026, 3, 1, 10, 0, 5, 250)) << 0;
        QTest::newRow("date with a zone offset")
            << QList<QByteArray>{dataLine(R"({"timestamp":"2026-03-01T12:00:05+02:00"})")}
            << stamped(utc(2026, 3, 1, 10, 0, 5)) << 0;
        QTest::newRow("text that is no date is now")
            << QList<QByteArray>{dataLine(R"({"timestamp":"yesterday"})")} << stamped(clockNow()) << 0;
        QTest::newRow("impossible date is now")
            << QList<QByteArray>{dataLine(R"({"timestamp":"2026-02-30T10:00:00Z"})")} << stamped(clockNow()) << 0;
        QTest::newRow("date without zone is now")
            << QList<QByteArray>{dataLine(R"({"timestamp":"2026-03-01T10:00:05"})")} << stamped(clockNow()) << 0;

        QTest::newRow("carriage return before the line feed")
            << QList<QByteArray>{a.chopped(1) + "\r\n"} << QList<AdapterPayload>{titled("A")} << 0;
        QTest::newRow("output without a final line feed is held back")
            << QList<QByteArray>{a + b.chopped(1)} << QList<AdapterPayload>{titled("A")} << 0;

        AdapterPayload unholdable;
        unholdable.title = "x 1e999 \" 2e999";
        unholdable.playing = true;
        QTest::newRow("numbers no double can hold are absent")
            << QList<QByteArray>{dataLine("{\"title\":\"x 1e999 \\\" 2e999\",\"duration\":1e999,"
                                          "\"elapsedTime\":-1e999,\"playbackRate\":1e-999,\"playing\":true}")}
            << QList<AdapterPayload>{unholdable} << 0;

        const QByteArray overlong = dataLine(R"({"title":")" + QByteArray(100, 'x') + R"("})");
        QTest::newRow("overlong line is discarded, the next is read")
            << QList<QByteArray>{overlong + b} << QList<AdapterPayload>{titled("B")} << 64;
        QTest::newRow("overlong line over several chunks is discarded up to its line feed")
            << QList<QByteArray>{a + overlong.left(40), overlong.mid(40, 40), overlong.mid(80), b}
            << QList<AdapterPayload>{titled("A"), titled("B")} << 64;
        QTest::newRow("line at the bound is read")
            << QList<QByteArray>{a} << QList<AdapterPayload>{titled("A")} << int(a.size() - 1);
    }
    void lineReader()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(QList<AdapterPayload>, expected);
        QFETCH(int, maxLine);
        test::ManualClock clock;
        AdapterLineReader reader(AdapterStream::makeDecoder(clock),
                                 maxLine > 0 ? maxLine : AdapterLineReader::defaultMaxLineBytes);
        QList<AdapterPayload> got;
        for (const QByteArray &chunk : chunks)
            got += reader.feed(chunk);
        QCOMPARE(got.size(), expected.size());
        for (qsizetype i = 0; i < got.size(); ++i)
            QVERIFY2(got[i] == expected[i], qPrintable(QStringLiteral("payload %1 differs").arg(i)));
        if (maxLine > 0)
            QVERIFY(reader.pending() <= maxLine);
    }

    void overlongLineKeepsTheBufferBounded()
    {
        AdapterLineReader reader(AdapterDecoder(), 1024);
        const QByteArray junk(4096, 'x');
        for (int i = 0; i < 100; ++i) {
            QVERIFY(reader.feed(junk).isEmpty());
            QVERIFY(reader.pending() <= 1024);
        }
        QCOMPARE(reader.feed("\n" + dataLine(R"({"title":"A"})")).size(), 1);
        QCOMPARE(reader.pending(), 0);
    }

    void barePayload_data()
    {
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<bool>("decodes");
        QTest::addColumn<QString>("title");
        QTest::newRow("object with trailing line feed") << QByteArray(R"({"title":"Song","playing":false})" "\n")
                                                        << true << "Song";
        QTest::newRow("an envelope is no payload's fields") << QByteArray(dataLine(R"({"title":"Song"})")) << true
                                                            << "";
        QTest::newRow("empty output") << QByteArray() << false << "";
        QTest::newRow("two objects") << QByteArray("{}\n{}\n") << false << "";
        QTest::newRow("wrong field type") << QByteArray(R"({"title":"Song","elapsedTime":"3"})") << false << "";
    }
    void barePayload()
    {
        QFETCH(QByteArray, output);
        QFETCH(bool, decodes);
        QFETCH(QString, title);
        const auto payload = AdapterStream::makeDecoder().decodePayload(output);
        QCOMPARE(payload.has_value(), decodes);
        if (payload)
            QCOMPARE(payload->title.value_or(QString()), title);
    }

    void commandArguments_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QStringList>("expected"); // empty: nothing is sent
        using K = TransportCommand::Kind;
        QTest::newRow("play") << int(K::play) << 0.0 << QStringList{"send", "0"};
        QTest::newRow("pause") << int(K::pause) << 0.0 << QStringList{"send", "1"};
        QTest::newRow("toggle") << int(K::toggle) << 0.0 << QStringList{"send", "2"};
        QTest::newRow("next") << int(K::next) << 0.0 << QStringList{"send", "4"};
        QTest::newRow("previous") << int(K::previous) << 0.0 << QStringList{"send", "5"};
        QTest::newRow("seek truncates to whole microseconds") << int(K::seek) << 61.2345679 << QStringList{"seek", "61234567"};
        QTest::newRow("seek before the start is 0") << int(K::seek) << -3.0 << QStringList{"seek", "0"};
        QTest::newRow("seek far but representable") << int(K::seek) << 9.0e12 << QStringList{"seek", "9000000000000000000"};
        QTest::newRow("seek beyond 64 bits") << int(K::seek) << 1.0e13 << QStringList{};
        QTest::newRow("seek to not a number") << int(K::seek) << qQNaN() << QStringList{};
        QTest::newRow("seek to infinity") << int(K::seek) << qInf() << QStringList{};
        QTest::newRow("seek to minus infinity") << int(K::seek) << -qInf() << QStringList{};
    }
    void commandArguments()
    {
        QFETCH(int, kind);
        QFETCH(double, seconds);
        QFETCH(QStringList, expected);
        const auto arguments = AdapterProcess::commandArguments(TransportCommand{TransportCommand::Kind(kind), seconds});
        QCOMPARE(arguments.has_value(), !expected.isEmpty());
        if (arguments)
            QCOMPARE(*arguments, expected);
    }
};

QTEST_GUILESS_MAIN(AdapterProtocolTest)
#include "tst_adapterprotocol.moc"
