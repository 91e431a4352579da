// labels: unit
// How the adapter reads MPRIS metadata maps and cover-art URLs, quirks included.
#include "Artwork.h"
#include "Metadata.h"

#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace tavrenhold::adapter;

namespace {
QString show(const std::optional<QString> &s) { return s ? *s : QStringLiteral("-"); }
QVariant wrapped(const QVariant &v) { return QVariant::fromValue(QDBusVariant(v)); }
} // namespace

class MetadataTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QVariantMap>("metadata");
        QTest::addColumn<QString>("title");   // "-" when absent
        QTest::addColumn<QString>("artist");
        QTest::addColumn<QString>("album");
        QTest::addColumn<qlonglong>("lengthUs"); // -1 when absent
        QTest::addColumn<QString>("trackId");
        QTest::addColumn<QString>("artUrl");

        const auto path = [](const char *p) { return QVariant::fromValue(QDBusObjectPath(QString::fromLatin1(p))); };
        QTest::newRow("mpv, tagged")
            << QVariantMap{{"mpris:trackid", path("/0")},
                           {"xesam:title", "Adapter Tone"},
                           {"xesam:artist", QStringList{"Test Artist"}},
                           {"xesam:album", "Tones"},
                           {"mpris:length", qlonglong(10'000'000)},
                           {"xesam:url", "file:///tmp/tone.flac"}}
            << "Adapter Tone" << "Test Artist" << "Tones" << 10'000'000LL << "/0" << "-";
        QTest::newRow("artist list holding one empty text")
            << QVariantMap{{"xesam:title", "T"}, {"xesam:artist", QStringList{""}}}
            << "T" << "-" << "-" << -1LL << "-" << "-";
        QTest::newRow("several artists, empty ones dropped")
            << QVariantMap{{"xesam:title", "T"}, {"xesam:artist", QStringList{"A", "", " ", "B"}}}
            << "T" << "A, B" << "-" << -1LL << "-" << "-";
        QTest::newRow("artist as a plain text")
            << QVariantMap{{"xesam:artist", "Solo"}} << "-" << "Solo" << "-" << -1LL << "-" << "-";
        QTest::newRow("artist as a list of variants")
            << QVariantMap{{"xesam:artist", QVariantList{wrapped("A"), wrapped("B")}}}
            << "-" << "A, B" << "-" << -1LL << "-" << "-";
        QTest::newRow("album artist stands in for a missing artist")
            << QVariantMap{{"xesam:albumArtist", QStringList{"Band"}}}
            << "-" << "Band" << "-" << -1LL << "-" << "-";
        QTest::newRow("blank title is no title")
            << QVariantMap{{"xesam:title", "  "}} << "-" << "-" << "-" << -1LL << "-" << "-";
        QTest::newRow("track id as a string, values wrapped in variants")
            << QVariantMap{{"mpris:trackid", wrapped("spotify:track:4uLU6hMC")},
                           {"xesam:title", wrapped("Song")},
                           {"mpris:length", wrapped(quint64(215'000'000))}}
            << "Song" << "-" << "-" << 215'000'000LL << "spotify:track:4uLU6hMC" << "-";
        QTest::newRow("length as int") << QVariantMap{{"mpris:length", int(5'000'000)}}
                                       << "-" << "-" << "-" << 5'000'000LL << "-" << "-";
        QTest::newRow("length as double") << QVariantMap{{"mpris:length", 2.5e6}}
                                          << "-" << "-" << "-" << 2'500'000LL << "-" << "-";
        QTest::newRow("length zero") << QVariantMap{{"mpris:length", qlonglong(0)}}
                                     << "-" << "-" << "-" << -1LL << "-" << "-";
        QTest::newRow("length negative") << QVariantMap{{"mpris:length", qlonglong(-5)}}
                                         << "-" << "-" << "-" << -1LL << "-" << "-";
        QTest::newRow("length not a number") << QVariantMap{{"mpris:length", qQNaN()}}
                                             << "-" << "-" << "-" << -1LL << "-" << "-";
        QTest::newRow("length beyond int64") << QVariantMap{{"mpris:length", quint64(1) << 63}}
                                             << "-" << "-" << "-" << -1LL << "-" << "-";
        QTest::newRow("length as text") << QVariantMap{{"mpris:length", "215000000"}}
                                        << "-" << "-" << "-" << -1LL << "-" << "-";
        QTest::newRow("title of the wrong type") << QVariantMap{{"xesam:title", 42}}
                                                 << "-" << "-" << "-" << -1LL << "-" << "-";
        QTest::newRow("art url") << QVariantMap{{"mpris:artUrl", "file:///music/cover.jpg"}}
                                 << "-" << "-" << "-" << -1LL << "-" << "file:///music/cover.jpg";
        QTest::newRow("empty map") << QVariantMap{} << "-" << "-" << "-" << -1LL << "-" << "-";
    }
    void parse()
    {
        QFETCH(QVariantMap, metadata);
        const TrackInfo t = parseMetadata(metadata);
        QTEST(show(t.title), "title");
        QTEST(show(t.artist), "artist");
        QTEST(show(t.album), "album");
        QTEST(qlonglong(t.lengthUs.value_or(-1)), "lengthUs");
        QTEST(show(t.trackId), "trackId");
        QTEST(show(t.artUrl), "artUrl");
    }

    void otherTrack_data()
    {
        QTest::addColumn<QVariantMap>("before");
        QTest::addColumn<QVariantMap>("after");
        QTest::addColumn<bool>("other");
        const auto id = [](const char *p) { return QVariant::fromValue(QDBusObjectPath(QString::fromLatin1(p))); };
        // mpv first names the track by its file, then by its tag: still the same track.
        QTest::newRow("same id, title filled in") << QVariantMap{{"mpris:trackid", id("/0")}, {"xesam:title", "tone.flac"}}
                                                  << QVariantMap{{"mpris:trackid", id("/0")}, {"xesam:title", "Tone"}} << false;
        QTest::newRow("next id") << QVariantMap{{"mpris:trackid", id("/0")}, {"xesam:title", "Tone"}}
                                 << QVariantMap{{"mpris:trackid", id("/1")}, {"xesam:title", "Tone"}} << true;
        QTest::newRow("no ids, other title") << QVariantMap{{"xesam:title", "A"}} << QVariantMap{{"xesam:title", "B"}} << true;
        QTest::newRow("no ids, same title, art added") << QVariantMap{{"xesam:title", "A"}}
                                                       << QVariantMap{{"xesam:title", "A"}, {"mpris:artUrl", "file:///a.png"}} << false;
    }
    void otherTrack()
    {
        QFETCH(QVariantMap, before);
        QFETCH(QVariantMap, after);
        QTEST(parseMetadata(after).isOtherTrackThan(parseMetadata(before)), "other");
    }

    void artwork_data()
    {
        QTest::addColumn<QString>("url");    // "@" stands for the fixture folder
        QTest::addColumn<QByteArray>("bytes"); // empty: no artwork
        QTest::newRow("file") << "file://@/cover.png" << QByteArray("PNGDATA");
        QTest::newRow("file at the cap") << "file://@/cap.bin" << QByteArray(64, 'x');
        QTest::newRow("file over the cap") << "file://@/big.bin" << QByteArray();
        QTest::newRow("missing file") << "file://@/none.png" << QByteArray();
        QTest::newRow("folder") << "file://@" << QByteArray();
        QTest::newRow("named pipe (must not block)") << "file://@/fifo" << QByteArray();
        QTest::newRow("empty file") << "file://@/empty.png" << QByteArray();
        QTest::newRow("data, base64") << "data:image/png;base64,UE5HREFUQQ==" << QByteArray("PNGDATA");
        QTest::newRow("data, percent-encoded") << "data:text/plain,a%20b" << QByteArray("a b");
        QTest::newRow("data, broken base64") << "data:image/png;base64,UE5H*REFUQQ==" << QByteArray();
        QTest::newRow("data, no comma") << "data:image/png;base64" << QByteArray();
        QTest::newRow("data over the cap") << "data:;base64," + QString::fromLatin1(QByteArray(65, 'y').toBase64())
                                           << QByteArray();
        QTest::newRow("https is not downloaded") << "https://i.scdn.co/image/ab67" << QByteArray();
        QTest::newRow("not a url") << "cover.png" << QByteArray();
    }
    void artwork()
    {
        QFETCH(QString, url);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const auto write = [&](const char *name, const QByteArray &bytes) {
            QFile f(dir.filePath(QString::fromLatin1(name)));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        };
        write("cover.png", "PNGDATA");
        write("cap.bin", QByteArray(64, 'x'));
        write("big.bin", QByteArray(65, 'x'));
        write("empty.png", QByteArray());
        QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("fifo"))).constData(), 0600), 0);

        url.replace(QLatin1Char('@'), dir.path());
        const auto bytes = loadArtwork(url, 64);
        QTEST(bytes.value_or(QByteArray()), "bytes");
    }
};

QTEST_GUILESS_MAIN(MetadataTest)
#include "tst_metadata.moc"
