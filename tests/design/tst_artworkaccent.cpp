// labels: unit qml
#include "design/AccentRefresher.h"
#include "design/ArtworkPalette.h"
#include "design/GradientWash.h"

#include <QBuffer>
#include <QColorSpace>
#include <QColorTransform>
#include <QHash>
#include <QImage>
#include <QMutex>
#include <QPainter>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QThreadPool>
#include <QtQml/qqmlextensionplugin.h>

#include <atomic>
#include <memory>

Q_IMPORT_QML_PLUGIN(Tavrenhold_DesignPlugin)

using namespace tavrenhold;
using Accent = std::optional<ArtworkAccent>;

namespace {
ArtworkAccent fromBytes(int r, int g, int b) { return {r / 255.0, g / 255.0, b / 255.0}; }

QByteArray encode(const QImage &picture)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    return bytes;
}

// A picture of size w x h filled with one colour.
QImage flat(QColor colour, int w = 64, int h = 64)
{
    QImage picture(w, h, QImage::Format_ARGB32);
    picture.fill(colour);
    return picture;
}

// A picture whose top `topRows` rows are one colour and the rest another.
QImage twoBands(QColor top, int topRows, QColor bottom, int size = 64)
{
    QImage picture = flat(bottom, size, size);
    QPainter painter(&picture);
    painter.fillRect(0, 0, size, topRows, top);
    return picture;
}

// Already reduced pixels: the groups one after another, then opaque grey to fill the rest.
QByteArray pixels(const QList<QPair<int, QList<int>>> &groups)
{
    QByteArray bytes;
    for (const auto &[count, rgba] : groups) {
        for (int i = 0; i < count; ++i) {
            for (int c : rgba)
                bytes.append(char(c));
        }
    }
    while (bytes.size() < ArtworkPalette::side * ArtworkPalette::side * 4)
        bytes.append("\x80\x80\x80\xff", 4);
    return bytes;
}

bool near(const Accent &actual, const Accent &expected, double tolerance)
{
    if (actual.has_value() != expected.has_value())
        return false;
    if (!actual)
        return true;
    return std::abs(actual->r - expected->r) <= tolerance && std::abs(actual->g - expected->g) <= tolerance
        && std::abs(actual->b - expected->b) <= tolerance;
}

QByteArray describe(const Accent &accent)
{
    if (!accent)
        return "none";
    return QByteArray("(") + QByteArray::number(accent->r * 255, 'f', 3) + ", "
        + QByteArray::number(accent->g * 255, 'f', 3) + ", " + QByteArray::number(accent->b * 255, 'f', 3)
        + ") / 255";
}

#define COMPARE_ACCENT(actual, expected, tolerance)                                                         \
    QVERIFY2(near(actual, expected, tolerance),                                                             \
             QByteArray("got " + describe(actual) + ", expected " + describe(expected)).constData())

const ArtworkAccent red{1, 0, 0};
const ArtworkAccent green{0, 1, 0};
const ArtworkAccent blue{0, 0, 1};

// Stand-in colour work: blocks until the test opens the gate of its bytes, then gives
// red for "red" and blue for "blue".
class Gates {
public:
    ~Gates() { openAll(); }

    AccentRefresher::Compute compute()
    {
        return [this](const QByteArray &bytes) -> Accent {
            if (!gate(bytes)->tryAcquire(1, 10000))
                return std::nullopt;
            if (bytes == "red")
                return red;
            if (bytes == "blue")
                return blue;
            return std::nullopt;
        };
    }
    void open(const QByteArray &bytes) { gate(bytes)->release(); }
    // Opens every gate, also those of work that has not started yet.
    void openAll()
    {
        QMutexLocker lock(&m_mutex);
        m_allOpen = true;
        for (const auto &gate : std::as_const(m_gates))
            gate->release(100);
    }

private:
    std::shared_ptr<QSemaphore> gate(const QByteArray &bytes)
    {
        QMutexLocker lock(&m_mutex);
        auto &gate = m_gates[bytes];
        if (!gate)
            gate = std::make_shared<QSemaphore>(m_allOpen ? 100 : 0);
        return gate;
    }
    QMutex m_mutex;
    bool m_allOpen = false;
    QHash<QByteArray, std::shared_ptr<QSemaphore>> m_gates;
};

NotchImage art(const char *id, const char *bytes) { return *NotchImage::make(QString::fromLatin1(id), QByteArray(bytes)); }

// Lets every computation still running come back to the main thread.
void settle()
{
    QThreadPool::globalInstance()->waitForDone();
    QTest::qWait(20);
}
} // namespace

class ArtworkAccentTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        // Gated work blocks worker threads; make sure two of them can run side by side.
        QThreadPool::globalInstance()->setMaxThreadCount(4);
    }

    // Which reduced pixels count and which are candidates for a hue bucket. Half the bitmap holds
    // the pixel under test, the other half opaque grey: a candidate gives its own colour, a pixel
    // that only counts gives the mean with the grey, a skipped one leaves the grey alone.
    void pixelRules_data()
    {
        QTest::addColumn<QList<int>>("rgba");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("(0.8, 0.1, 0.1)") << QList<int>{204, 26, 26, 255} << "candidate";
        QTest::newRow("value just above 0.18") << QList<int>{46, 0, 0, 255} << "candidate";
        QTest::newRow("value below 0.18") << QList<int>{45, 0, 0, 255} << "counts";
        QTest::newRow("value just below 0.92") << QList<int>{234, 100, 100, 255} << "candidate";
        QTest::newRow("value above 0.92") << QList<int>{235, 100, 100, 255} << "counts";
        QTest::newRow("pure red") << QList<int>{255, 0, 0, 255} << "counts";
        QTest::newRow("saturation just above 0.18") << QList<int>{200, 163, 163, 255} << "candidate";
        QTest::newRow("saturation below 0.18") << QList<int>{200, 165, 165, 255} << "counts";
        QTest::newRow("saturated but delta below 0.12") << QList<int>{128, 102, 102, 255} << "counts";
        QTest::newRow("alpha just above half, colour as stored") << QList<int>{102, 13, 13, 128} << "candidate";
        QTest::newRow("alpha at half") << QList<int>{102, 13, 13, 127} << "skipped";
        QTest::newRow("transparent") << QList<int>{0, 0, 0, 0} << "skipped";
    }
    void pixelRules()
    {
        QFETCH(QList<int>, rgba);
        QFETCH(QString, outcome);
        const auto accent = ArtworkPalette::accentOfPixels(pixels({{512, rgba}}));
        const ArtworkAccent own = fromBytes(rgba[0], rgba[1], rgba[2]);
        const ArtworkAccent grey = fromBytes(128, 128, 128);
        Accent expected;
        if (outcome == "candidate")
            expected = own;
        else if (outcome == "counts")
            expected = ArtworkAccent{(own.r + grey.r) / 2, (own.g + grey.g) / 2, (own.b + grey.b) / 2};
        else
            expected = grey;
        COMPARE_ACCENT(accent, expected, 1e-9);
    }

    // The heaviest bucket wins; on a tie the lower bucket does, wherever its pixels lie.
    void heaviestBucketWins_data()
    {
        QTest::addColumn<QByteArray>("bitmap");
        QTest::addColumn<ArtworkAccent>("expected");
        const QList<int> hue7{200, 60, 40, 255}; // bucket 0
        const QList<int> hue127{40, 200, 60, 255}; // bucket 4, same weight as hue7
        const QList<int> hue359{204, 26, 28, 255}; // bucket 11
        const QList<int> hue1{204, 28, 26, 255}; // bucket 0, same weight as hue359
        QTest::newRow("tie, lower bucket first") << pixels({{512, hue7}, {512, hue127}}) << fromBytes(200, 60, 40);
        QTest::newRow("tie, lower bucket last") << pixels({{512, hue127}, {512, hue7}}) << fromBytes(200, 60, 40);
        QTest::newRow("one pixel more") << pixels({{511, hue7}, {513, hue127}}) << fromBytes(40, 200, 60);
        QTest::newRow("hue 359 is not bucket 0") << pixels({{512, hue359}, {512, hue1}}) << fromBytes(204, 28, 26);
        QTest::newRow("hue 359 heavier") << pixels({{513, hue359}, {511, hue1}}) << fromBytes(204, 26, 28);
        // A few vivid pixels outweigh many dull ones.
        QTest::newRow("weight over area") << pixels({{200, {30, 60, 150, 255}}, {800, {110, 150, 120, 255}}})
                                          << fromBytes(30, 60, 150);
    }
    void heaviestBucketWins()
    {
        QFETCH(QByteArray, bitmap);
        QFETCH(ArtworkAccent, expected);
        COMPARE_ACCENT(ArtworkPalette::accentOfPixels(bitmap), Accent(expected), 1e-9);
    }

    // From encoded bytes: decoded, drawn into 32 x 32 and analysed. Scaling may round by one step.
    void accentOfPictures_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<Accent>("expected");
        QTest::addColumn<double>("tolerance");
        QTest::newRow("not an image") << QByteArray("GIF89a but not really") << Accent() << 0.0;
        QTest::newRow("no bytes") << QByteArray() << Accent() << 0.0;
        QTest::newRow("fully transparent") << encode(flat(Qt::transparent)) << Accent() << 0.0;
        QTest::newRow("half transparent everywhere") << encode(flat(QColor(200, 40, 40, 127))) << Accent() << 0.0;
        QTest::newRow("pure grey") << encode(flat(QColor(128, 128, 128))) << Accent(fromBytes(128, 128, 128))
                                   << 1e-9;
        QTest::newRow("very dark red") << encode(flat(QColor(40, 5, 5))) << Accent(fromBytes(40, 5, 5)) << 1e-9;
        QTest::newRow("nearly white pink") << encode(flat(QColor(250, 200, 200))) << Accent(fromBytes(250, 200, 200))
                                           << 1e-9;
        QTest::newRow("(0.8, 0.1, 0.1)") << encode(flat(QColor::fromRgbF(0.8f, 0.1f, 0.1f), 100, 100))
                                         << Accent(fromBytes(204, 26, 26)) << 1.0 / 255;
        QTest::newRow("large flat blue") << encode(flat(QColor(40, 120, 200), 300, 200))
                                         << Accent(fromBytes(40, 120, 200)) << 1.0 / 255;
        QTest::newRow("exact 32 x 32") << encode(flat(QColor(40, 200, 60), 32, 32)) << Accent(fromBytes(40, 200, 60))
                                       << 1e-9;
        QTest::newRow("two colours, area decides")
            << encode(twoBands(QColor(200, 60, 40), 48, QColor(40, 200, 60))) << Accent(fromBytes(200, 60, 40))
            << 1.0 / 255;
        QTest::newRow("two colours, vivid quarter beats dull rest")
            << encode(twoBands(QColor(30, 60, 150), 16, QColor(110, 150, 120))) << Accent(fromBytes(30, 60, 150))
            << 1.0 / 255;
        QTest::newRow("two equal hue groups, lower bucket wins")
            << encode(twoBands(QColor(40, 200, 60), 32, QColor(200, 60, 40))) << Accent(fromBytes(200, 60, 40))
            << 1.0 / 255;
    }
    void accentOfPictures()
    {
        QFETCH(QByteArray, data);
        QFETCH(Accent, expected);
        QFETCH(double, tolerance);
        COMPARE_ACCENT(ArtworkPalette::accent(data), expected, tolerance);
    }

    void pictureInAnotherColourSpaceIsReadInSrgb()
    {
        QImage picture = flat(QColor(150, 60, 50));
        picture.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
        const QColor inSrgb =
            QColorSpace(QColorSpace::DisplayP3).transformationToColorSpace(QColorSpace::SRgb).map(QColor(150, 60, 50));
        const auto accent = ArtworkPalette::accent(encode(picture));
        COMPARE_ACCENT(accent, Accent(fromBytes(inSrgb.red(), inSrgb.green(), inSrgb.blue())), 1.0 / 255);
        QVERIFY(std::abs(accent->r - 150 / 255.0) > 5 / 255.0);
    }

    void washNotifiesOnlyOnChange()
    {
        GradientWash wash(nullptr);
        QSignalSpy changed(&wash, &GradientWash::accentChanged);
        const QList<QPair<Accent, int>> steps{
            {std::nullopt, 0},  {red, 1}, {red, 1}, {ArtworkAccent{1, 0, 1e-12}, 2},
            {std::nullopt, 3}, {std::nullopt, 3}, {blue, 4},
        };
        for (const auto &[accent, notifications] : steps) {
            wash.setAccent(accent);
            QCOMPARE(wash.accent(), accent);
            QCOMPARE(changed.count(), notifications);
        }
    }

    void qmlReadsTheSharedWash()
    {
        QQmlEngine engine;
        QQmlComponent component(&engine);
        component.setData("import QtQuick\nimport Tavrenhold.Design\n"
                          "QtObject { property bool has: GradientWash.hasAccent; property color tint: GradientWash.color }",
                          QUrl());
        std::unique_ptr<QObject> object(component.create());
        QVERIFY2(object, qPrintable(component.errorString()));
        QCOMPARE(object->property("has").toBool(), false);

        GradientWash::shared().setAccent(ArtworkAccent{0.8, 0.2, 0.4});
        QCOMPARE(object->property("has").toBool(), true);
        const QColor tint = object->property("tint").value<QColor>();
        QCOMPARE(tint.alphaF(), 1.0f);
        QVERIFY(qAbs(tint.redF() - 0.8f) < 1e-3f && qAbs(tint.greenF() - 0.2f) < 1e-3f && qAbs(tint.blueF() - 0.4f) < 1e-3f);

        GradientWash::shared().setAccent(std::nullopt);
        QCOMPARE(object->property("has").toBool(), false);
    }

    void refresherWorksOffTheMainThread()
    {
        GradientWash wash(nullptr);
        QSignalSpy changed(&wash, &GradientWash::accentChanged);
        std::atomic<QThread *> workedOn = nullptr;
        AccentRefresher refresher(wash, [&workedOn](const QByteArray &bytes) {
            workedOn = QThread::currentThread();
            return ArtworkPalette::accent(bytes);
        });

        refresher.refresh(NotchImage::make("track", encode(flat(QColor(40, 120, 200)))));
        QCOMPARE(refresher.inFlight(), 1);
        QTRY_COMPARE(refresher.inFlight(), 0);
        QVERIFY(workedOn.load() != nullptr);
        QVERIFY(workedOn.load() != QThread::currentThread());
        COMPARE_ACCENT(wash.accent(), Accent(fromBytes(40, 120, 200)), 1e-9);
        QCOMPARE(changed.count(), 1);

        // A picture without a usable colour clears the accent once it is worked out.
        refresher.refresh(NotchImage::make("next", QByteArray("not a picture")));
        QTRY_COMPARE(refresher.inFlight(), 0);
        QCOMPARE(wash.accent(), Accent());
        QCOMPARE(changed.count(), 2);
    }

    // The accent of a picture no longer shown is never applied, whichever result comes back first.
    void staleResultIsNeverApplied_data()
    {
        QTest::addColumn<QString>("then");
        QTest::addColumn<bool>("staleFirst");
        QTest::addColumn<Accent>("expected");
        QTest::addColumn<int>("notifications");
        QTest::newRow("newer picture, stale back first") << "newer" << true << Accent(blue) << 1;
        QTest::newRow("newer picture, stale back last") << "newer" << false << Accent(blue) << 1;
        QTest::newRow("same id, new bytes, stale back last") << "same id" << false << Accent(blue) << 1;
        QTest::newRow("artwork gone") << "none" << false << Accent() << 1;
        QTest::newRow("services stopped") << "clear" << false << Accent() << 1;
        QTest::newRow("refresher gone") << "destroy" << false << Accent(green) << 0;
    }
    void staleResultIsNeverApplied()
    {
        QFETCH(QString, then);
        QFETCH(bool, staleFirst);
        QFETCH(Accent, expected);
        QFETCH(int, notifications);

        GradientWash wash(nullptr);
        wash.setAccent(green);
        QSignalSpy changed(&wash, &GradientWash::accentChanged);
        Gates gates;
        auto refresher = std::make_unique<AccentRefresher>(wash, gates.compute());

        refresher->refresh(art("first", "red"));
        if (then == "newer")
            refresher->refresh(art("second", "blue"));
        else if (then == "same id")
            refresher->refresh(art("first", "blue"));
        else if (then == "none")
            refresher->refresh(std::nullopt);
        else if (then == "clear")
            refresher->clear();
        else
            refresher.reset();

        // With a newer picture two computations run; let them come back in the row's order.
        if (then == "newer" || then == "same id") {
            QCOMPARE(refresher->inFlight(), 2);
            gates.open(staleFirst ? "red" : "blue");
            QTRY_COMPARE(refresher->inFlight(), 1);
            QCOMPARE(wash.accent(), staleFirst ? Accent(green) : Accent(blue));
        }
        gates.openAll();
        settle();
        if (refresher)
            QCOMPARE(refresher->inFlight(), 0);
        QCOMPARE(wash.accent(), expected);
        QCOMPARE(changed.count(), notifications);
    }

    void sameAccentFromAnotherPictureNotifiesOnce()
    {
        GradientWash wash(nullptr);
        QSignalSpy changed(&wash, &GradientWash::accentChanged);
        AccentRefresher refresher(wash, &ArtworkPalette::accent);
        refresher.refresh(NotchImage::make("a", encode(flat(QColor(40, 120, 200)))));
        QTRY_COMPARE(refresher.inFlight(), 0);
        refresher.refresh(NotchImage::make("b", encode(flat(QColor(40, 120, 200), 32, 32))));
        QTRY_COMPARE(refresher.inFlight(), 0);
        COMPARE_ACCENT(wash.accent(), Accent(fromBytes(40, 120, 200)), 1e-9);
        QCOMPARE(changed.count(), 1);
    }
};

QTEST_MAIN(ArtworkAccentTest)
#include "tst_artworkaccent.moc"
