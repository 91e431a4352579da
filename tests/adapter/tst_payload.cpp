// labels: unit
// The JSON the adapter writes: payload fields, stream lines, bundle identifiers.
#include "Payload.h"
#include "PlayerState.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <QTest>

using namespace tavrenhold::adapter;

namespace {

const QDateTime t0 = QDateTime(QDate(2024, 5, 1), QTime(12, 0, 3, 250), Qt::UTC);

QJsonObject object(const QByteArray &json) { return QJsonDocument::fromJson(json).object(); }

Payload song(const QString &title, bool playing)
{
    Payload p;
    p.title = title;
    p.artist = QStringLiteral("Artist");
    p.playing = playing;
    return p;
}

} // namespace

class PayloadTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void playerPayload_data()
    {
        QTest::addColumn<QString>("busName");
        QTest::addColumn<QString>("status");
        QTest::addColumn<qlonglong>("positionUs"); // -1: the player gave none
        QTest::addColumn<qlonglong>("lengthUs");   // -1: none
        QTest::addColumn<double>("rate");
        QTest::addColumn<QByteArray>("artwork");
        QTest::addColumn<QByteArray>("json");

        QTest::newRow("playing mpv")
            << "org.mpris.MediaPlayer2.mpv" << "Playing" << 1'500'000LL << 10'000'000LL << 1.0 << QByteArray()
            << QByteArray(R"({"title":"Tone","duration":10,"elapsedTime":1.5,"timestamp":"2024-05-01T12:00:03.250Z",)"
                          R"("playing":true,"playbackRate":1,"bundleIdentifier":"mpv"})");
        QTest::newRow("paused reads rate 0")
            << "org.mpris.MediaPlayer2.mpv" << "Paused" << 0LL << 10'000'000LL << 1.5 << QByteArray()
            << QByteArray(R"({"title":"Tone","duration":10,"elapsedTime":0,"timestamp":"2024-05-01T12:00:03.250Z",)"
                          R"("playing":false,"playbackRate":0,"bundleIdentifier":"mpv"})");
        QTest::newRow("playing faster")
            << "org.mpris.MediaPlayer2.spotify" << "Playing" << -1LL << -1LL << 1.5 << QByteArray()
            << QByteArray(R"({"title":"Tone","playing":true,"playbackRate":1.5,"bundleIdentifier":"com.spotify.client"})");
        QTest::newRow("position past the length is clamped")
            << "org.mpris.MediaPlayer2.mpv" << "Paused" << 12'000'000LL << 10'000'000LL << 1.0 << QByteArray()
            << QByteArray(R"({"title":"Tone","duration":10,"elapsedTime":10,"timestamp":"2024-05-01T12:00:03.250Z",)"
                          R"("playing":false,"playbackRate":0,"bundleIdentifier":"mpv"})");
        QTest::newRow("artwork in standard base64")
            << "org.mpris.MediaPlayer2.mpv" << "Stopped" << -1LL << -1LL << 1.0 << QByteArray("\xff\xd8\xff\xe0?>", 6)
            << QByteArray(R"({"title":"Tone","playing":false,"playbackRate":0,"bundleIdentifier":"mpv",)"
                          R"("artworkData":"/9j/4D8+"})");
        QTest::newRow("no usable bundle") << "org.mpris.MediaPlayer2.a/b" << "Playing" << -1LL << -1LL << 1.0
                                          << QByteArray()
                                          << QByteArray(R"({"title":"Tone","playing":true,"playbackRate":1})");
    }
    void playerPayload()
    {
        QFETCH(QString, busName);
        QFETCH(QString, status);
        QFETCH(qlonglong, positionUs);
        QFETCH(qlonglong, lengthUs);
        QFETCH(double, rate);
        QFETCH(QByteArray, artwork);
        QFETCH(QByteArray, json);

        PlayerState p;
        p.busName = busName;
        p.status = playbackStatusFrom(status);
        p.rate = rate;
        p.track.title = QStringLiteral("Tone");
        if (lengthUs >= 0)
            p.track.lengthUs = lengthUs;
        if (positionUs >= 0)
            p.position = PositionAnchor{positionUs, t0};
        const auto art = artwork.isEmpty() ? std::nullopt : std::optional(artwork);
        QCOMPARE(toJson(payloadFor(p, art)), object(json));
    }

    void timestampForm()
    {
        // Both forms the program reads are UTC with a "Z"; ours carries milliseconds.
        static const QRegularExpression form(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z$"));
        QCOMPARE(isoTimestamp(t0), QStringLiteral("2024-05-01T12:00:03.250Z"));
        const QDateTime local = t0.toOffsetFromUtc(2 * 3600);
        QCOMPARE(isoTimestamp(local), QStringLiteral("2024-05-01T12:00:03.250Z"));
        QVERIFY(form.match(isoTimestamp(QDateTime::currentDateTime())).hasMatch());
    }

    void nonFiniteNumbersLeftOut()
    {
        Payload p;
        p.duration = qQNaN();
        p.elapsedTime = qInf();
        p.playbackRate = 1.0;
        QCOMPARE(toJson(p), object(R"({"playbackRate":1})"));
    }

    void bundleIdentifier_data()
    {
        QTest::addColumn<QString>("busName");
        QTest::addColumn<QString>("desktopEntry");
        QTest::addColumn<QString>("bundle");
        QTest::newRow("mpv") << "org.mpris.MediaPlayer2.mpv" << "mpv" << "mpv";
        QTest::newRow("second mpv, no entry") << "org.mpris.MediaPlayer2.mpv.instance4711" << "" << "mpv";
        QTest::newRow("spotify by entry") << "org.mpris.MediaPlayer2.spotify" << "spotify" << "com.spotify.client";
        QTest::newRow("spotify by bus name") << "org.mpris.MediaPlayer2.spotify" << "" << "com.spotify.client";
        QTest::newRow("spotify as a flatpak") << "org.mpris.MediaPlayer2.spotify" << "com.spotify.Client"
                                              << "com.spotify.client";
        QTest::newRow("firefox") << "org.mpris.MediaPlayer2.firefox.instance_1_84" << "firefox-esr" << "firefox-esr";
        QTest::newRow("chromium, no entry") << "org.mpris.MediaPlayer2.chromium.instance12345" << "" << "chromium";
        QTest::newRow("entry with its file ending") << "org.mpris.MediaPlayer2.Lollypop" << "org.gnome.Lollypop.desktop"
                                                    << "org.gnome.Lollypop";
        QTest::newRow("entry with a path falls back to the bus name")
            << "org.mpris.MediaPlayer2.vlc" << "../../etc/vlc" << "vlc";
        QTest::newRow("nothing usable") << "org.mpris.MediaPlayer2." << "" << "";
    }
    void bundleIdentifier()
    {
        QFETCH(QString, busName);
        QFETCH(QString, desktopEntry);
        QTEST(bundleIdentifierFor(busName, desktopEntry), "bundle");
    }

    // Each row feeds payloads one after another; "-" stands for a repeat that writes no line.
    void lines_data()
    {
        QTest::addColumn<bool>("diff");
        QTest::addColumn<QList<Payload>>("payloads");
        QTest::addColumn<QList<QByteArray>>("lines");
        const QList<Payload> run{song(QStringLiteral("A"), true), song(QStringLiteral("A"), true),
                                 song(QStringLiteral("A"), false), Payload{}};
        QTest::newRow("full lines") << false << run
                                    << QList<QByteArray>{R"({"type":"data","payload":{"title":"A","artist":"Artist","playing":true}})",
                                                         "-",
                                                         R"({"type":"data","payload":{"title":"A","artist":"Artist","playing":false}})",
                                                         R"({"type":"data","payload":{}})"};
        QTest::newRow("diff lines") << true << run
                                    << QList<QByteArray>{R"({"type":"data","diff":true,"payload":{"title":"A","artist":"Artist","playing":true}})",
                                                         "-",
                                                         R"({"type":"data","diff":true,"payload":{"playing":false}})",
                                                         R"({"type":"data","diff":true,"payload":{"title":null,"artist":null,"playing":null}})"};
        QTest::newRow("nothing playing from the start") << false << QList<Payload>{Payload{}, Payload{}}
                                                        << QList<QByteArray>{R"({"type":"data","payload":{}})", "-"};
    }
    void lines()
    {
        QFETCH(bool, diff);
        QFETCH(QList<Payload>, payloads);
        QFETCH(QList<QByteArray>, lines);
        LineMaker maker(diff);
        for (qsizetype i = 0; i < payloads.size(); ++i) {
            const auto line = maker.lineFor(payloads.at(i));
            if (lines.at(i) == "-") {
                QVERIFY2(!line, qPrintable(QStringLiteral("step %1 wrote a line").arg(i)));
                continue;
            }
            QVERIFY2(line, qPrintable(QStringLiteral("step %1 wrote nothing").arg(i)));
            QVERIFY(line->endsWith('\n'));
            QCOMPARE(line->count('\n'), 1);
            QCOMPARE(object(*line), object(lines.at(i)));
        }
    }
};

QTEST_GUILESS_MAIN(PayloadTest)
#include "tst_payload.moc"
