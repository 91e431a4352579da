// labels: unit
#include "design/ArtworkCache.h"

#include <QBuffer>
#include <QImage>
#include <QTest>

using namespace tavrenhold;

namespace {
// A small PNG filled with one colour; distinct colours give distinct bytes.
QByteArray png(QColor colour, QSize size = QSize(4, 3))
{
    QImage picture(size, QImage::Format_ARGB32);
    picture.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    return bytes;
}

NotchImage art(const QString &id, const QByteArray &bytes) { return *NotchImage::make(id, bytes); }

// Fills the cache with ids "t1"... "t<n>", each a different picture.
void fill(ArtworkCache &cache, int n)
{
    for (int i = 1; i <= n; ++i)
        QVERIFY(cache.image(art(QStringLiteral("t%1").arg(i), png(QColor(i * 20, 0, 0)))));
}

QStringList idsFrom(int first, int last)
{
    QStringList ids;
    for (int i = first; i <= last; ++i)
        ids << QStringLiteral("t%1").arg(i);
    return ids;
}
} // namespace

class ArtworkCacheTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void makeNeedsBytes_data()
    {
        QTest::addColumn<std::optional<QByteArray>>("data");
        QTest::addColumn<bool>("made");
        QTest::newRow("absent") << std::optional<QByteArray>() << false;
        QTest::newRow("empty") << std::optional<QByteArray>(QByteArray()) << false;
        QTest::newRow("one byte") << std::optional<QByteArray>(QByteArray("x")) << true;
        QTest::newRow("picture") << std::optional<QByteArray>(png(Qt::red)) << true;
    }
    void makeNeedsBytes()
    {
        QFETCH(std::optional<QByteArray>, data);
        QFETCH(bool, made);
        const auto image = NotchImage::make(QStringLiteral("track"), data);
        QCOMPARE(image.has_value(), made);
        if (image) {
            QCOMPARE(image->id, QStringLiteral("track"));
            QCOMPARE(image->bytes, *data);
        }
    }

    void sameValueDecodesOnceAndSharesTheObject()
    {
        ArtworkCache cache;
        const auto first = cache.image(art("a", png(Qt::blue, QSize(7, 5))));
        QVERIFY(first);
        QCOMPARE(first->size(), QSize(7, 5));
        QCOMPARE(first->pixelColor(3, 2), QColor(Qt::blue));
        // An equal value made separately is still a hit.
        const auto second = cache.image(art("a", png(Qt::blue, QSize(7, 5))));
        QVERIFY(second);
        QCOMPARE(second->cacheKey(), first->cacheKey());
        QCOMPARE(cache.decodeCount(), 1);
        QCOMPARE(cache.ids(), QStringList{"a"});
    }

    void newBytesUnderAKnownIdDecodeAgainInPlace()
    {
        ArtworkCache cache;
        QVERIFY(cache.image(art("a", png(Qt::red))));
        QVERIFY(cache.image(art("b", png(Qt::green))));
        const auto old = cache.image(art("a", png(Qt::red)));

        const auto replaced = cache.image(art("a", png(Qt::yellow)));
        QVERIFY(replaced);
        QCOMPARE(cache.decodeCount(), 3);
        QCOMPARE(replaced->pixelColor(0, 0), QColor(Qt::yellow));
        QVERIFY(replaced->cacheKey() != old->cacheKey());
        QCOMPARE(cache.ids(), (QStringList{"a", "b"}));
        // The new picture is what is kept now.
        QCOMPARE(cache.image(art("a", png(Qt::yellow)))->cacheKey(), replaced->cacheKey());
        QCOMPARE(cache.decodeCount(), 3);
    }

    void ninthPictureEvictsTheFirstInserted()
    {
        ArtworkCache cache;
        fill(cache, 8);
        QCOMPARE(cache.ids(), idsFrom(1, 8));
        // A hit on the second does not refresh its age.
        const auto secondKey = cache.image(art("t2", png(QColor(40, 0, 0))))->cacheKey();
        QCOMPARE(cache.decodeCount(), 8);

        QVERIFY(cache.image(art("t9", png(QColor(180, 0, 0)))));
        QCOMPARE(cache.ids(), idsFrom(2, 9));
        // The eight kept are hits; nothing else is decoded.
        for (int i = 2; i <= 9; ++i)
            QVERIFY(cache.image(art(QStringLiteral("t%1").arg(i), png(QColor(i * 20, 0, 0)))));
        QCOMPARE(cache.decodeCount(), 9);

        // The first is gone from store and tokens alike: it decodes again, and now the second goes.
        QVERIFY(cache.image(art("t1", png(QColor(20, 0, 0)))));
        QCOMPARE(cache.decodeCount(), 10);
        QCOMPARE(cache.ids(), idsFrom(3, 9) << "t1");
        const auto second = cache.image(art("t2", png(QColor(40, 0, 0))));
        QVERIFY(second->cacheKey() != secondKey);
        QCOMPARE(cache.decodeCount(), 11);
        QCOMPARE(cache.ids().size(), ArtworkCache::limit);
    }

    void undecodableBytesLeaveTheCacheAsItWas_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("new id, text") << "new" << QByteArray("not a picture");
        QTest::newRow("new id, one byte") << "new" << QByteArray("x");
        QTest::newRow("cached id, text") << "t3" << QByteArray("not a picture");
        QTest::newRow("cached id, cut-off png") << "t3" << png(QColor(60, 0, 0)).left(20);
        QTest::newRow("oldest id, text") << "t1" << QByteArray("\x89PNG");
    }
    void undecodableBytesLeaveTheCacheAsItWas()
    {
        QFETCH(QString, id);
        QFETCH(QByteArray, bytes);
        ArtworkCache cache;
        fill(cache, 8);
        const auto before = cache.ids();
        const auto key = cache.image(art("t3", png(QColor(60, 0, 0))))->cacheKey();

        QVERIFY(!cache.image(art(id, bytes)));
        QCOMPARE(cache.decodeCount(), 9);
        // Nothing evicted, nothing replaced: the earlier pictures are still hits with the same object.
        QCOMPARE(cache.ids(), before);
        QCOMPARE(cache.image(art("t3", png(QColor(60, 0, 0))))->cacheKey(), key);
        QVERIFY(cache.image(art("t1", png(QColor(20, 0, 0)))));
        QCOMPARE(cache.decodeCount(), 9);
        // The bad bytes are tried again each time: a failure is not remembered as a picture.
        QVERIFY(!cache.image(art(id, bytes)));
        QCOMPARE(cache.decodeCount(), 10);
    }
};

QTEST_MAIN(ArtworkCacheTest)
#include "tst_artworkcache.moc"
