// labels: qml
// The Clipboard pane and its view offscreen: the idle signal, the empty face, thumbnails (decoded
// to the row's size, refused past Qt's allocation limit), pinned rows, long texts shown as far as
// two lines go, the buttons that hover shows, a click on a row or on its buttons, and a search
// that hides every entry.
#include "clipboard/ClipboardPane.h"
#include "clipboard/ClipboardService.h"
#include "clipboard/ClipboardThumbnail.h"
#include "fakes/FakePasteboard.h"
#include "fakes/ManualClock.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <functional>
#include <memory>

Q_IMPORT_QML_PLUGIN(Tavrenhold_DesignPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_ClipboardPlugin)

using namespace tavrenhold;
using namespace std::chrono_literals;

namespace {
QByteArray png(QSize size = QSize(30, 10))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}


quint32 crc32(const QByteArray &bytes)
{
    quint32 crc = 0xffffffffu;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A PNG whose header claims `width` × `height` pixels, with no pixels behind it: all it takes for
// a reader to allocate that much.
QByteArray pngHeaderClaiming(quint32 width, quint32 height)
{
    const auto be = [](quint32 v) {
        const char bytes[] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
        return QByteArray(bytes, 4);
    };
    const auto chunk = [&](const QByteArray &type, const QByteArray &data) {
        return be(quint32(data.size())) + type + data + be(crc32(type + data));
    };
    return QByteArrayLiteral("\x89PNG\r\n\x1a\n")
           + chunk("IHDR", be(width) + be(height) + QByteArrayLiteral("\x08\x06\x00\x00\x00"))
           + chunk("IEND", {});
}

struct ViewRig {
    QTemporaryDir dir;
    test::ManualClock clock;
    test::FakePasteboard pasteboard;
    test::FakeFrontmostApplication frontmost;
    ClipboardService service{pasteboard, frontmost, dir.path(), clock};
    ClipboardPane pane{service};
    QQmlEngine engine;
    QQuickWindow window;
    std::unique_ptr<QQuickItem> view;

    ViewRig()
    {
        service.start();
        window.resize(520, 200);
        QQmlComponent component(&engine, pane.content());
        view.reset(qobject_cast<QQuickItem *>(
            component.createWithInitialProperties({{"pane", QVariant::fromValue<QObject *>(&pane)}})));
        if (!view) {
            qWarning("%s", qPrintable(component.errorString()));
            return;
        }
        view->setParentItem(window.contentItem());
        view->setSize(QSizeF(520, 200));
        window.show();
    }
    void image(const QByteArray &bytes)
    {
        platform::PasteboardContent content;
        content.png = bytes;
        pasteboard.setContent(content);
        clock.advance(1s);
    }
    void text(const QString &text)
    {
        pasteboard.copyText(text);
        clock.advance(1s);
    }
    [[nodiscard]] QList<QQuickItem *> rows() const
    {
        QList<QQuickItem *> out;
        const std::function<void(QQuickItem *)> walk = [&](QQuickItem *item) {
            for (QQuickItem *child : item->childItems()) {
                if (child->objectName() == QLatin1String("clipboardRow") && child->isVisible())
                    out << child;
                walk(child);
            }
        };
        walk(view.get());
        std::sort(out.begin(), out.end(), [](QQuickItem *a, QQuickItem *b) { return a->y() < b->y(); });
        return out;
    }
    [[nodiscard]] QString emptyText() const
    {
        auto *item = view->findChild<QQuickItem *>(QStringLiteral("clipboardEmpty"));
        return item && item->isVisible() ? item->property("text").toString() : QString();
    }
    static QQuickItem *part(QQuickItem *row, const char *name) { return row->findChild<QQuickItem *>(QLatin1String(name)); }
    [[nodiscard]] QPoint centre(QQuickItem *item) const
    {
        return item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint();
    }
    void settle() const { QCoreApplication::processEvents(); }
};
} // namespace

class PaneViewTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void idleSignal()
    {
        ViewRig rig;
        QSignalSpy idle(&rig.pane, &NotchPane::idleChanged);
        QCOMPARE(rig.pane.idle(), IdleSignal::inactive);
        rig.text(QStringLiteral("a"));
        QCOMPARE(idle.count(), 1);
        QVERIFY(rig.pane.idle().isLive);
        QCOMPARE(rig.pane.idle().priority, 28);
        QCOMPARE(rig.pane.idle().identity, std::optional<IdleItem>(IdleGlyph{QStringLiteral("doc.on.clipboard")}));
        rig.text(QStringLiteral("b"));
        QCOMPARE(idle.count(), 1); // still not empty
        rig.service.togglePin(rig.service.items().back());
        rig.service.clearHistory();
        QCOMPARE(idle.count(), 1); // the pinned entry keeps the glyph
        rig.service.remove(rig.service.items().front());
        QCOMPARE(idle.count(), 2);
        QCOMPARE(rig.pane.idle(), IdleSignal::inactive);
        QCOMPARE(rig.pane.contentHeight(), 200.0);
    }

    void emptyFace()
    {
        ViewRig rig;
        QVERIFY(rig.view);
        QCOMPARE(rig.emptyText(), QStringLiteral("Clipboard history is empty"));
        QVERIFY(rig.rows().isEmpty());
        auto *pause = rig.view->findChild<QQuickItem *>(QStringLiteral("clipboardPause"));
        QCOMPARE(pause->property("text").toString(), QStringLiteral("Pause"));
        QTest::mouseClick(&rig.window, Qt::LeftButton, {}, rig.centre(pause));
        QVERIFY(rig.service.isPaused());
        QCOMPARE(pause->property("text").toString(), QStringLiteral("Resume"));
        QTest::mouseClick(&rig.window, Qt::LeftButton, {}, rig.centre(pause));
        QVERIFY(!rig.service.isPaused());
    }

    void rowsShowEntries()
    {
        ViewRig rig;
        rig.frontmost.app = platform::RunningApplication{QStringLiteral("org.gnome.TextEditor"), QStringLiteral("Text Editor")};
        rig.text(QStringLiteral("  pinned text\n"));
        rig.frontmost.app.reset();
        rig.service.togglePin(rig.service.items().front());
        rig.image(png());
        rig.image(QByteArrayLiteral("no picture"));
        rig.settle();
        const auto rows = rig.rows();
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rig.emptyText(), QString());

        // Pinned first: filled pin in the accent, buttons shown without hover, its source and time.
        QQuickItem *pinned = rows.at(0);
        QCOMPARE(ViewRig::part(pinned, "clipboardPreview")->property("text").toString(), QStringLiteral("pinned text"));
        QCOMPARE(ViewRig::part(pinned, "clipboardSource")->property("text").toString(), QStringLiteral("Text Editor"));
        QCOMPARE(ViewRig::part(pinned, "clipboardTime")->property("text").toString(), QStringLiteral("2 seconds ago")); // worked out at the last change
        QVERIFY(ViewRig::part(pinned, "clipboardButtons")->isVisible());
        QCOMPARE(ViewRig::part(pinned, "clipboardPin")->property("name").toString(), QStringLiteral("pin.fill"));
        QCOMPARE(ViewRig::part(pinned, "clipboardRowSymbol")->property("name").toString(), QStringLiteral("doc.on.clipboard"));

        // Bytes that do not decode: the photo symbol. A PNG: its thumbnail, no symbol.
        QQuickItem *broken = rows.at(1);
        QCOMPARE(ViewRig::part(broken, "clipboardPreview")->property("text").toString(), QStringLiteral("Image"));
        QVERIFY(!ViewRig::part(broken, "clipboardThumbnail")->isVisible());
        QCOMPARE(ViewRig::part(broken, "clipboardRowSymbol")->property("name").toString(), QStringLiteral("photo"));
        QVERIFY(!ViewRig::part(broken, "clipboardButtons")->isVisible());
        QQuickItem *picture = rows.at(2);
        QVERIFY(ViewRig::part(picture, "clipboardThumbnail")->isVisible());
        QVERIFY(!ViewRig::part(picture, "clipboardRowSymbol")->isVisible());
        QCOMPARE(ViewRig::part(picture, "clipboardThumbnail")->size(), QSizeF(22, 22));
    }

    void hoverShowsButtonsAndClicksAct()
    {
        ViewRig rig;
        rig.text(QStringLiteral("older"));
        rig.text(QStringLiteral("newer"));
        rig.settle();
        QQuickItem *second = rig.rows().at(1);
        QVERIFY(!ViewRig::part(second, "clipboardButtons")->isVisible());
        QTest::mouseMove(&rig.window, rig.centre(second));
        QTRY_VERIFY(ViewRig::part(second, "clipboardButtons")->isVisible());
        QVERIFY(!ViewRig::part(rig.rows().at(0), "clipboardButtons")->isVisible());

        // The pin button pins and copies nothing.
        QTest::mouseClick(&rig.window, Qt::LeftButton, {}, rig.centre(ViewRig::part(second, "clipboardPin")));
        QVERIFY(rig.pasteboard.writes().empty());
        QCOMPARE(rig.service.items().front().text, QStringLiteral("older"));
        QVERIFY(rig.service.items().front().pinned);

        // A click elsewhere on a row copies it back.
        rig.settle();
        QQuickItem *newer = rig.rows().at(1);
        QTest::mouseClick(&rig.window, Qt::LeftButton, {},
                          newer->mapToScene(QPointF(newer->width() * 0.6, newer->height() / 2)).toPoint());
        QCOMPARE(rig.pasteboard.writes().size(), size_t(1));
        QCOMPARE(rig.pasteboard.writes().front().text, QStringLiteral("newer"));

        // The delete button deletes and copies nothing more.
        rig.settle();
        QQuickItem *first = rig.rows().at(0);
        QTest::mouseMove(&rig.window, rig.centre(first));
        QTRY_VERIFY(ViewRig::part(first, "clipboardButtons")->isVisible());
        QTest::mouseClick(&rig.window, Qt::LeftButton, {}, rig.centre(ViewRig::part(first, "clipboardDelete")));
        QCOMPARE(rig.service.items().size(), size_t(1));
        QCOMPARE(rig.pasteboard.writes().size(), size_t(1));
    }

    // A picture is decoded to the least that covers the row's box (never enlarged); one whose
    // header asks for more than Qt's allocation limit, or bytes that are no picture, give nothing.
    void thumbnailDecode_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("decoded");
        const int box = ClipboardThumbnail::decodeBox;
        QTest::newRow("smaller than the box") << png(QSize(30, 10)) << QSize(30, 10);
        QTest::newRow("a screenshot") << png(QSize(1920, 1080)) << QSize(114, box);
        QTest::newRow("tall") << png(QSize(500, 5000)) << QSize(box, 640);
        QTest::newRow("beyond the allocation limit") << pngHeaderClaiming(40000, 40000) << QSize();
        QTest::newRow("not a picture") << QByteArray("no picture") << QSize();
    }
    void thumbnailDecode()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, decoded);
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        const QImage image = decodeThumbnail(buffer, QSize(ClipboardThumbnail::decodeBox, ClipboardThumbnail::decodeBox));
        QCOMPARE(image.isNull() ? QSize() : image.size(), decoded);
    }

    // In the pane a large picture shows decoded small, and so does one read from its file after a
    // restart; a picture beyond the limit shows the symbol.
    void largePicturesInRows()
    {
        ViewRig rig;
        rig.image(pngHeaderClaiming(40000, 40000));
        rig.image(png(QSize(3000, 2000)));
        rig.settle();
        const auto rows = rig.rows();
        QCOMPARE(rows.size(), 2);
        auto *picture = qobject_cast<ClipboardThumbnail *>(ViewRig::part(rows.at(0), "clipboardThumbnail"));
        QTRY_VERIFY_WITH_TIMEOUT(picture->isVisible(), 10000);
        QCOMPARE(picture->image().size(), QSize(96, 64));
        QVERIFY(!ViewRig::part(rows.at(1), "clipboardThumbnail")->isVisible());
        QCOMPARE(ViewRig::part(rows.at(1), "clipboardRowSymbol")->property("name").toString(), QStringLiteral("photo"));

        ClipboardService restarted(rig.pasteboard, rig.frontmost, rig.dir.path(), rig.clock);
        QTRY_VERIFY_WITH_TIMEOUT(restarted.isLoaded(), 10000);
        QVERIFY(!restarted.items().front().imageData);
        ClipboardThumbnail fromFile;
        fromFile.setStore(&restarted);
        fromFile.setItemId(restarted.items().front().id.toString(QUuid::WithoutBraces));
        QTRY_VERIFY_WITH_TIMEOUT(fromFile.valid(), 10000);
        QCOMPARE(fromFile.image().size(), QSize(96, 64));
    }

    // A long text's row is handed only what two lines show; the entry and the search keep it all.
    void longTextsInRows_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("cut"); // past what one entry may take in the stored history
        QTest::newRow("short") << QStringLiteral("a few words") << QStringLiteral("a few words") << false;
        QTest::newRow("one long line") << QStringLiteral("word ").repeated(800'000) + QStringLiteral("needle")
                                       << QStringLiteral("word ").repeated(60) << false;
        QTest::newRow("many lines") << QStringLiteral("line\n").repeated(400'000) + QStringLiteral("needle")
                                    << QStringLiteral("line\nline\nline") << false;
        QTest::newRow("control characters") << QString(2'000'000, QChar(1)) + QStringLiteral("needle")
                                            << QString(ClipboardItem::rowPreviewLength, QChar(1)) << false;
        QTest::newRow("control characters past an entry's share")
            << QString(3'000'000, QChar(1)) + QStringLiteral("needle")
            << QString(ClipboardItem::rowPreviewLength, QChar(1)) << true;
    }
    void longTextsInRows()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QFETCH(bool, cut);
        ViewRig rig;
        rig.text(text);
        rig.settle();
        const auto rows = rig.rows();
        QCOMPARE(rows.size(), 1);
        QQuickItem *preview = ViewRig::part(rows.front(), "clipboardPreview");
        QCOMPARE(preview->property("text").toString(), shown);
        QVERIFY(preview->property("lineCount").toInt() <= 2);
        QCOMPARE(preview->property("truncated").toBool(), shown != text.trimmed()); // an ellipsis says there is more
        // The entry keeps the whole text, or, cut, its start and a notice above the list says so.
        auto *notice = rig.view->findChild<QQuickItem *>(QStringLiteral("clipboardNotice"));
        QCOMPARE(notice->isVisible(), cut);
        QCOMPARE(rig.service.items().front().text == text.trimmed(), !cut);
        QVERIFY(text.startsWith(*rig.service.items().front().text));
        rig.service.setSearchQuery(QStringLiteral("needle"));
        rig.settle();
        QCOMPARE(rig.rows().size(), text.contains(QLatin1String("needle")) && !cut ? 1 : 0);
    }

    void searchWithoutMatch()
    {
        ViewRig rig;
        rig.text(QStringLiteral("alpha"));
        rig.text(QStringLiteral("beta"));
        auto *search = rig.view->findChild<QQuickItem *>(QStringLiteral("clipboardSearch"));
        QCOMPARE(search->property("placeholderText").toString(), QStringLiteral("Search clipboard"));
        search->forceActiveFocus();
        QTest::keyClick(&rig.window, Qt::Key_Z);
        QTest::keyClick(&rig.window, Qt::Key_Z);
        QCOMPARE(rig.service.searchQuery(), QStringLiteral("zz"));
        rig.settle();
        QVERIFY(rig.rows().isEmpty());
        QCOMPARE(rig.emptyText(), QStringLiteral("Nothing in your clipboard history matches"));
        rig.service.setSearchQuery(QStringLiteral(" ALP "));
        QCOMPARE(search->property("text").toString(), QStringLiteral(" ALP "));
        rig.settle();
        QCOMPARE(rig.rows().size(), 1);
        rig.service.setSearchQuery(QString());
        rig.settle();
        QCOMPARE(rig.rows().size(), 2);
    }
};

QTEST_MAIN(PaneViewTest)
#include "tst_paneview.moc"
