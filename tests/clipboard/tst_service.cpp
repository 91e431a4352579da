// labels: unit
// The clipboard history service over a fake clipboard, a temporary folder and a manual clock: what
// a change records or skips, the order of the history, and what copying back writes.
#include "clipboard/ClipboardService.h"
#include "fakes/FakePasteboard.h"
#include "fakes/ManualClock.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace tavrenhold;
using namespace std::chrono_literals;

namespace {
QByteArray encoded(const char *format)
{
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

struct Rig {
    QTemporaryDir dir;
    test::ManualClock clock;
    test::FakePasteboard pasteboard;
    test::FakeFrontmostApplication frontmost;
    std::unique_ptr<ClipboardService> service;

    Rig()
    {
        service = std::make_unique<ClipboardService>(pasteboard, frontmost, dir.path(), clock);
        service->start();
    }
    // The history as previews, pinned ones marked with '*'.
    [[nodiscard]] QStringList previews() const
    {
        QStringList out;
        for (const ClipboardItem &item : service->items())
            out << (item.pinned ? QStringLiteral("*") : QString()) + item.preview();
        return out;
    }
    void image(bool withTiff, bool withText)
    {
        platform::PasteboardContent content;
        content.types = {QStringLiteral("image/png")};
        content.png = encoded("PNG");
        if (withTiff)
            content.tiff = QByteArrayLiteral("II*\0not really");
        if (withText) {
            content.types << QStringLiteral("UTF8_STRING");
            content.text = QStringLiteral("caption");
        }
        pasteboard.setContent(content);
    }
    // One step of a scripted case: "kind:argument".
    void run(const QString &step)
    {
        const QString kind = step.section(QLatin1Char(':'), 0, 0);
        const QString arg = step.section(QLatin1Char(':'), 1);
        if (kind == QLatin1String("text"))
            pasteboard.copyText(arg);
        else if (kind == QLatin1String("marked"))
            pasteboard.copyText(QStringLiteral("hunter2"), {arg});
        else if (kind == QLatin1String("image"))
            image(true, true);
        else if (kind == QLatin1String("png"))
            image(false, false);
        else if (kind == QLatin1String("files"))
            pasteboard.setContent({{QStringLiteral("text/uri-list")}, {}, {}, {}});
        else if (kind == QLatin1String("pin"))
            service->togglePin(service->items().at(arg.toInt()));
        else if (kind == QLatin1String("copyback"))
            service->copy(service->items().at(arg.toInt()));
        else if (kind == QLatin1String("pause"))
            service->setPaused(true);
        else if (kind == QLatin1String("resume"))
            service->setPaused(false);
        else if (kind == QLatin1String("front"))
            frontmost.app = arg.isEmpty() ? std::nullopt
                                          : std::optional(platform::RunningApplication{arg, arg + QStringLiteral(" App")});
        else if (kind == QLatin1String("advance"))
            clock.advance(Millis(arg.toInt()));
        else if (kind == QLatin1String("fail")) {
            pasteboard.failReads = true;
            pasteboard.copyText(arg);
            pasteboard.failReads = false;
        } else
            QFAIL(qPrintable(QStringLiteral("unknown step ") + step));
    }
};
} // namespace

class ServiceTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void capture_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("history");
        const auto l = [](std::initializer_list<const char *> list) {
            QStringList out;
            for (const char *s : list)
                out << QString::fromUtf8(s);
            return out;
        };
        QTest::newRow("trimmed before comparing") << l({"text:hello", "text:hello", "text: hello\n"}) << l({"hello"});
        QTest::newRow("inner white space kept") << l({"text:\t a  b \r\n"}) << l({"a  b"});
        QTest::newRow("decomposed é equals composed") << l({"text:caf\u00e9", "text:cafe\u0301"}) << l({"cafe\u0301"});
        QTest::newRow("case is not folded") << l({"text:Hello", "text:hello"}) << l({"hello", "Hello"});
        QTest::newRow("pinned duplicate stays") << l({"text:hello", "pin:0", "text:hello"}) << l({"*hello", "hello"});
        QTest::newRow("white space only, never later")
            << l({"text: \n\t", "text:a"}) << l({"a"});
        QTest::newRow("paused changes are used up") << l({"pause", "text:a", "resume"}) << l({});
        QTest::newRow("recording again after resume") << l({"pause", "text:a", "resume", "text:b"}) << l({"b"});
        QTest::newRow("own write, and anything within 0.3 s")
            << l({"text:a", "text:b", "copyback:1", "text:c"}) << l({"a", "b"});
        QTest::newRow("after 0.3 s") << l({"text:a", "text:b", "copyback:1", "advance:300", "text:d"})
                                      << l({"d", "a", "b"});
        QTest::newRow("copied back stands above pinned")
            << l({"text:a", "pin:0", "text:b", "copyback:1"}) << l({"b", "*a"});
        QTest::newRow("next capture sorts again")
            << l({"text:a", "pin:0", "text:b", "copyback:1", "advance:300", "text:c"}) << l({"*a", "c", "b"});
        QTest::newRow("pin then unpin returns to its time")
            << l({"text:a", "advance:1000", "text:b", "advance:1000", "text:c", "pin:2", "pin:0"}) << l({"c", "b", "a"});
        QTest::newRow("blocked password manager") << l({"front:org.keepassxc.KeePassXC", "text:secret"}) << l({});
        QTest::newRow("blocked vendor id") << l({"front:com.1password.1password", "text:secret"}) << l({});
        QTest::newRow("unblocked app") << l({"front:org.gnome.TextEditor", "text:note"}) << l({"note"});
        QTest::newRow("concealed") << l({"marked:org.nspasteboard.ConcealedType"}) << l({});
        QTest::newRow("transient") << l({"marked:org.nspasteboard.TransientType"}) << l({});
        QTest::newRow("auto-generated") << l({"marked:org.nspasteboard.AutoGeneratedType"}) << l({});
        QTest::newRow("password manager hint") << l({"marked:x-kde-passwordManagerHint"}) << l({});
        QTest::newRow("image before text") << l({"image"}) << l({"Image"});
        QTest::newRow("png only") << l({"png"}) << l({"Image"});
        QTest::newRow("images are not de-duplicated") << l({"png", "png"}) << l({"Image", "Image"});
        QTest::newRow("files only") << l({"files"}) << l({});
        QTest::newRow("time-out records nothing, next copy does") << l({"fail:a", "text:b"}) << l({"b"});
    }
    void capture()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, history);
        Rig rig;
        for (const QString &step : steps)
            rig.run(step);
        QCOMPARE(rig.previews(), history);
    }

    void whatIsThereAtStartIsNotRecorded()
    {
        QTemporaryDir dir;
        test::ManualClock clock;
        test::FakePasteboard pasteboard;
        test::FakeFrontmostApplication frontmost;
        pasteboard.copyText(QStringLiteral("before"));
        ClipboardService service(pasteboard, frontmost, dir.path(), clock);
        pasteboard.copyText(QStringLiteral("before start"));
        service.start();
        // A change between making and starting is picked up by start(); the one before making is not.
        QCOMPARE(service.items().size(), size_t(1));
        QCOMPARE(service.items().front().text, QStringLiteral("before start"));
        service.start();
        QCOMPARE(pasteboard.reads(), 1);
    }

    void entryFields()
    {
        Rig rig;
        rig.frontmost.app = platform::RunningApplication{QStringLiteral("org.gnome.TextEditor"), QStringLiteral("Text Editor")};
        const double before = historySeconds(rig.clock.wallNow());
        rig.pasteboard.copyText(QStringLiteral("x"));
        rig.frontmost.app = platform::RunningApplication{QStringLiteral("nameless"), std::nullopt};
        rig.run(QStringLiteral("image"));
        const ClipboardItem &image = rig.service->items().at(0);
        const ClipboardItem &text = rig.service->items().at(1);
        QCOMPARE(text.sourceApp, QStringLiteral("Text Editor"));
        QCOMPARE(text.copiedAt, before);
        QVERIFY(!text.imageData);
        QCOMPARE(image.kind, ClipboardItem::Kind::image);
        QCOMPARE(image.imageData, QByteArrayLiteral("II*\0not really")); // the TIFF bytes, unchanged
        QVERIFY(!image.text);
        QVERIFY(!image.sourceApp);
        QVERIFY(!image.thumbnail()); // bytes that do not decode
        QVERIFY(text.id != image.id);
    }

    void limitKeepsPinned()
    {
        Rig rig;
        rig.pasteboard.copyText(QStringLiteral("pinned"));
        rig.service->togglePin(rig.service->items().front());
        for (int i = 1; i <= 100; ++i) {
            rig.clock.advance(1s);
            rig.pasteboard.copyText(QString::number(i));
        }
        QCOMPARE(rig.service->items().size(), size_t(101));
        rig.clock.advance(1s);
        rig.pasteboard.copyText(QStringLiteral("101st"));
        QCOMPARE(rig.service->items().size(), size_t(101));
        QCOMPARE(rig.service->items().front().text, QStringLiteral("pinned"));
        QCOMPARE(rig.service->items().at(1).text, QStringLiteral("101st"));
        QCOMPARE(rig.service->items().back().text, QStringLiteral("2")); // "1" went
        rig.service->clearHistory();
        QCOMPARE(rig.previews(), QStringList{QStringLiteral("*pinned")});
    }

    void changesDuringAReadFoldIntoOneTick()
    {
        Rig rig;
        rig.pasteboard.holdReads = true;
        rig.pasteboard.copyText(QStringLiteral("a"));
        rig.pasteboard.copyText(QStringLiteral("b"));
        rig.pasteboard.copyText(QStringLiteral("c"));
        QCOMPARE(rig.pasteboard.reads(), 1);
        rig.pasteboard.answerRead();
        QCOMPARE(rig.pasteboard.reads(), 2);
        rig.pasteboard.answerRead();
        QCOMPARE(rig.pasteboard.reads(), 2);
        QCOMPARE(rig.previews(), QStringList{QStringLiteral("c")});
    }

    void ownContentIsSkippedWhateverTheTiming()
    {
        Rig rig;
        rig.pasteboard.copyText(QStringLiteral("a"));
        rig.service->copy(rig.service->items().front());
        rig.clock.advance(1s);
        // Our own content announced again long after the write (a late owner event).
        Q_EMIT rig.pasteboard.changed();
        rig.pasteboard.write({{}, QStringLiteral("written by us")});
        QCOMPARE(rig.previews(), QStringList{QStringLiteral("a")});
    }

    void copyBackWrites_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("types");
        QTest::newRow("png goes as png") << encoded("PNG") << QStringList{QStringLiteral("image/png")};
        QTest::newRow("jpeg goes as a png conversion") << encoded("JPEG") << QStringList{QStringLiteral("image/png")};
        QTest::newRow("undecodable bytes go nowhere") << QByteArrayLiteral("not an image") << QStringList{};
        QTest::newRow("undecodable tiff goes as tiff") << QByteArrayLiteral("MM\0*garbage")
                                                       << QStringList{QStringLiteral("image/tiff")};
        if (QImage::fromData(encoded("TIFF")).isNull())
            qWarning("no TIFF image plugin: the TIFF conversion row is left out");
        else
            QTest::newRow("tiff goes as tiff and png") << encoded("TIFF")
                                                       << QStringList{QStringLiteral("image/tiff"), QStringLiteral("image/png")};
    }
    void copyBackWrites()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, types);
        Rig rig;
        platform::PasteboardContent content;
        content.png = bytes;
        rig.pasteboard.setContent(content);
        QCOMPARE(rig.service->items().size(), size_t(1));
        rig.service->copy(rig.service->items().front());
        QCOMPARE(rig.pasteboard.writes().size(), size_t(1));
        const platform::PasteboardWrite &write = rig.pasteboard.writes().front();
        QStringList written;
        for (const auto &[type, data] : write.data) {
            written << type;
            if (type == QLatin1String("image/tiff"))
                QCOMPARE(data, bytes);
            else
                QVERIFY(!QImage::fromData(data, "PNG").isNull());
        }
        QCOMPARE(written, types);
        if (bytes.startsWith("\x89PNG"))
            QCOMPARE(write.data.front().second, bytes);
    }

    void copyBackOfAGoneEntry()
    {
        Rig rig;
        rig.pasteboard.copyText(QStringLiteral("a"));
        ClipboardItem gone = rig.service->items().front();
        rig.service->remove(gone);
        QSignalSpy changed(rig.service.get(), &ClipboardService::itemsChanged);
        rig.service->copy(gone);
        QCOMPARE(rig.pasteboard.writes().back().text, QStringLiteral("a"));
        QVERIFY(rig.service->items().empty());
        QCOMPARE(changed.count(), 0);
        rig.service->togglePin(gone);
        QCOMPARE(changed.count(), 0);
    }

    void filtered_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("empty") << QString() << QStringList{"Image", "Hello World", "notes"};
        QTest::newRow("white space only") << QStringLiteral("  \t") << QStringList{"Image", "Hello World", "notes"};
        QTest::newRow("spaces around a word") << QStringLiteral("  world ") << QStringList{"Hello World"};
        QTest::newRow("case-insensitive") << QStringLiteral("HELLO") << QStringList{"Hello World"};
        QTest::newRow("part of Image finds images") << QStringLiteral("MAG") << QStringList{"Image"};
        QTest::newRow("source app") << QStringLiteral("editor") << QStringList{"Hello World"};
        QTest::newRow("no match") << QStringLiteral("zzz") << QStringList{};
    }
    void filtered()
    {
        QFETCH(QString, query);
        QFETCH(QStringList, shown);
        Rig rig;
        rig.pasteboard.copyText(QStringLiteral("notes"));
        rig.clock.advance(1s);
        rig.frontmost.app = platform::RunningApplication{QStringLiteral("org.gnome.TextEditor"), QStringLiteral("Text Editor")};
        rig.pasteboard.copyText(QStringLiteral("Hello World"));
        rig.frontmost.app.reset();
        rig.clock.advance(1s);
        rig.run(QStringLiteral("png"));
        QSignalSpy spy(rig.service.get(), &ClipboardService::searchQueryChanged);
        rig.service->setSearchQuery(query);
        rig.service->setSearchQuery(query);
        QCOMPARE(spy.count(), query.isEmpty() ? 0 : 1);
        QStringList previews;
        for (const ClipboardItem &item : rig.service->filtered())
            previews << item.preview();
        QCOMPARE(previews, shown);
    }

    void previews_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("preview");
        QTest::newRow("image") << int(ClipboardItem::Kind::image) << QStringLiteral("x") << QStringLiteral("Image");
        QTest::newRow("trimmed") << int(ClipboardItem::Kind::text) << QStringLiteral(" a\n") << QStringLiteral("a");
        QTest::newRow("blank") << int(ClipboardItem::Kind::text) << QStringLiteral(" \n") << QStringLiteral("Empty text");
        QTest::newRow("absent") << int(ClipboardItem::Kind::text) << QString() << QStringLiteral("Empty text");
    }
    void previews()
    {
        QFETCH(int, kind);
        QFETCH(QString, text);
        QFETCH(QString, preview);
        ClipboardItem item;
        item.kind = ClipboardItem::Kind(kind);
        if (!text.isNull())
            item.text = text;
        QCOMPARE(item.preview(), preview);
    }

    void relativeTimes_data()
    {
        QTest::addColumn<double>("ago");
        QTest::addColumn<QString>("text");
        QTest::newRow("now") << 0.4 << QStringLiteral("now");
        QTest::newRow("seconds") << 12.0 << QStringLiteral("12 seconds ago");
        QTest::newRow("a minute") << 61.0 << QStringLiteral("1 minute ago");
        QTest::newRow("minutes") << 3599.0 << QStringLiteral("59 minutes ago");
        QTest::newRow("hours") << 7200.0 << QStringLiteral("2 hours ago");
        QTest::newRow("yesterday") << 86400.0 * 1.5 << QStringLiteral("yesterday");
        QTest::newRow("days") << 86400.0 * 3 << QStringLiteral("3 days ago");
        QTest::newRow("last week") << 86400.0 * 8 << QStringLiteral("last week");
        QTest::newRow("months") << 86400.0 * 70 << QStringLiteral("2 months ago");
        QTest::newRow("last year") << 86400.0 * 400 << QStringLiteral("last year");
        QTest::newRow("future") << -7200.0 << QStringLiteral("in 2 hours");
    }
    void relativeTimes()
    {
        QFETCH(double, ago);
        QFETCH(QString, text);
        QCOMPARE(relativeTime(800000000.0 - ago, 800000000.0), text);
    }
};

QTEST_MAIN(ServiceTest)
#include "tst_service.moc"
