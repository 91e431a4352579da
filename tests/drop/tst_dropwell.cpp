// labels: unit
// The drop well without a display: which drags it takes, the safe name of a promised file, and a
// drop of files and a promise parked after the drop returns, with a source that answers through a
// fake direct save.
#include "drop/DropPane.h"
#include "drop/DropWellView.h"
#include "fakes/ManualClock.h"
#include "platform/DirectSave.h"

#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTest>

using namespace tavrenhold;

namespace {

// A source that promises one file: it suggests a name, and writes the file where it is told when
// the target asks for the drop's data (here: when it is told, the data being fixed in the test).
class FakeDirectSave final : public platform::DirectSave {
public:
    std::optional<QByteArray> name;
    bool writes = true;
    QList<QByteArray> targets;

    std::optional<QByteArray> suggestedName() override { return name; }
    bool setTarget(const QByteArray &uri) override
    {
        targets << uri;
        if (writes) {
            QFile file(QUrl::fromEncoded(uri).toLocalFile());
            if (!file.open(QIODevice::WriteOnly))
                return false;
            file.write("promised");
        }
        return true;
    }
};

QMimeData *mime(const QList<QUrl> &urls, const std::optional<QByteArray> &promise = std::nullopt)
{
    auto *data = new QMimeData;
    if (!urls.isEmpty())
        data->setUrls(urls);
    if (promise)
        data->setData(QStringLiteral("XdndDirectSave0"), *promise);
    return data;
}

QStringList visible(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

class DropWellTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void acceptance_data()
    {
        QTest::addColumn<QList<QUrl>>("urls");
        QTest::addColumn<bool>("promise");
        QTest::addColumn<bool>("ownProgram");
        QTest::addColumn<bool>("accepted");
        const QUrl file = QUrl::fromLocalFile(QStringLiteral("/tmp/a.txt"));
        QTest::newRow("file") << QList<QUrl>{file} << false << false << true;
        QTest::newRow("localhost") << QList<QUrl>{QUrl(QStringLiteral("file://localhost/tmp/a.txt"))} << false << false
                                   << true;
        QTest::newRow("web link") << QList<QUrl>{QUrl(QStringLiteral("https://example.org/a.txt"))} << false << false
                                  << false;
        QTest::newRow("other host") << QList<QUrl>{QUrl(QStringLiteral("file://otherhost/tmp/a.txt"))} << false
                                    << false << false;
        QTest::newRow("web link and file")
            << QList<QUrl>{QUrl(QStringLiteral("https://example.org/")), file} << false << false << true;
        QTest::newRow("promise") << QList<QUrl>{} << true << false << true;
        QTest::newRow("nothing") << QList<QUrl>{} << false << false << false;
        QTest::newRow("own program's file") << QList<QUrl>{file} << false << true << false;
        QTest::newRow("own program's promise") << QList<QUrl>{} << true << true << false;
    }
    void acceptance()
    {
        QFETCH(QList<QUrl>, urls);
        QFETCH(bool, promise);
        QFETCH(bool, ownProgram);
        QFETCH(bool, accepted);
        const std::unique_ptr<QMimeData> data(mime(urls, promise ? std::optional<QByteArray>("") : std::nullopt));
        QCOMPARE(DropWellView::acceptable(data.get(), ownProgram), accepted);
    }

    void promisedFileName_data()
    {
        QTest::addColumn<QByteArray>("suggested");
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << QByteArray("Report.pdf") << QStringLiteral("Report.pdf");
        QTest::newRow("path") << QByteArray("../../etc/passwd") << QStringLiteral("passwd");
        QTest::newRow("NUL") << QByteArray("na\0me.txt", 9) << QStringLiteral("name.txt");
        QTest::newRow("empty") << QByteArray() << QStringLiteral("Dropped File");
        QTest::newRow("dot") << QByteArray(".") << QStringLiteral("Dropped File");
        QTest::newRow("dot dot") << QByteArray("a/..") << QStringLiteral("Dropped File");
        QTest::newRow("trailing slash") << QByteArray("folder/") << QStringLiteral("Dropped File");
        QTest::newRow("unicode") << QByteArray("R\xc3\xa9sum\xc3\xa9.txt") << QStringLiteral("Résumé.txt");
    }
    void promisedFileName()
    {
        QFETCH(QByteArray, suggested);
        QFETCH(QString, name);
        QCOMPARE(DropWellView::promisedFileName(suggested), name);
    }

    // Long names are cut to 255 bytes of UTF-8, never inside a character, the extension kept.
    void longPromisedNames_data()
    {
        QTest::addColumn<QString>("suggested");
        QTest::addColumn<QString>("extension");
        QTest::newRow("ascii") << QString(300, QLatin1Char('x')) + QStringLiteral(".pdf") << QStringLiteral(".pdf");
        QTest::newRow("two-byte characters") << QString(200, QChar(0xe9)) + QStringLiteral(".txt") << QStringLiteral(".txt");
        QTest::newRow("four-byte characters") << QStringLiteral("\U0001F600").repeated(70) + QStringLiteral(".png")
                                              << QStringLiteral(".png");
        QTest::newRow("no extension") << QString(400, QLatin1Char('y')) << QString();
    }
    void longPromisedNames()
    {
        QFETCH(QString, suggested);
        QFETCH(QString, extension);
        const QString name = DropWellView::promisedFileName(suggested.toUtf8());
        const QByteArray bytes = name.toUtf8();
        QVERIFY2(bytes.size() <= 255 && bytes.size() > 240, qPrintable(QString::number(bytes.size())));
        QCOMPARE(QString::fromUtf8(bytes), name); // whole characters only
        QVERIFY(!name.contains(QChar(QChar::ReplacementCharacter)));
        QVERIFY(name.endsWith(extension));
        QVERIFY(suggested.startsWith(name.left(name.size() - extension.size())));
    }

    // Files and a promise in one drop: nothing is copied while the drop is answered; then the files
    // are parked in one batch and the promised file, written inside a fresh staging folder whatever
    // name the source suggested, is parked and its staging folder goes.
    void dropParksFilesThenThePromiseAfterwards()
    {
        QTemporaryDir root;
        test::ManualClock clock;
        DropPane pane(root.filePath(QStringLiteral("DropShelf")), clock);
        const QString a = root.filePath(QStringLiteral("a.txt"));
        const QString b = root.filePath(QStringLiteral("b.txt"));
        for (const QString &path : {a, b}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("file");
        }
        DropWellView well;
        well.setPane(&pane);
        auto directSave = std::make_unique<FakeDirectSave>();
        directSave->name = QByteArray("../escape.txt");
        FakeDirectSave &source = *directSave;
        well.setDirectSave(std::move(directSave));

        const std::unique_ptr<QMimeData> data(
            mime({QUrl::fromLocalFile(a), QUrl(QStringLiteral("https://example.org/")), QUrl::fromLocalFile(b)}, "S"));
        QVERIFY(well.take(data.get()));
        QCOMPARE(pane.items().size(), size_t(0));
        QCOMPARE(source.targets.size(), 1);
        const QString target = QUrl::fromEncoded(source.targets.first()).toLocalFile();
        QCOMPARE(QFileInfo(target).fileName(), QStringLiteral("escape.txt"));
        QCOMPARE(QFileInfo(QFileInfo(target).absolutePath()).absolutePath(), pane.directory());
        QVERIFY(QFileInfo(target).absolutePath().section(QLatin1Char('/'), -1).startsWith(QLatin1String("staging-")));
        QVERIFY(!QFile::exists(root.filePath(QStringLiteral("escape.txt"))));

        QTRY_COMPARE(pane.items().size(), size_t(3));
        QCOMPARE(pane.pulse(), 1);
        QStringList names;
        for (const ShelfItem &item : pane.items())
            names << item.name;
        QCOMPARE(names, (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt"), QStringLiteral("escape.txt")}));
        QCOMPARE(visible(pane.directory()).filter(QStringLiteral("staging-")), QStringList());
        QFile parked(pane.items().back().url.toLocalFile());
        QVERIFY(parked.open(QIODevice::ReadOnly));
        QCOMPARE(parked.readAll(), QByteArray("promised"));
    }

    // A promise the source could not keep leaves the shelf as it was and its staging folder in
    // place (it expires like any entry); one whose source is gone leaves no folder at all.
    void failedPromises_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("writes");
        QTest::newRow("error") << QByteArray("E") << false;
        QTest::newRow("no answer") << QByteArray() << false;
        QTest::newRow("error after a partial file") << QByteArray("E") << true;
    }
    void failedPromises()
    {
        QFETCH(QByteArray, answer);
        QFETCH(bool, writes);
        QTemporaryDir root;
        test::ManualClock clock;
        DropPane pane(root.filePath(QStringLiteral("DropShelf")), clock);
        DropWellView well;
        well.setPane(&pane);
        auto directSave = std::make_unique<FakeDirectSave>();
        directSave->name = QByteArray("late.txt");
        directSave->writes = writes;
        well.setDirectSave(std::move(directSave));

        const std::unique_ptr<QMimeData> data(mime({}, answer));
        QVERIFY(well.take(data.get()));
        QTest::qWait(0);
        QCoreApplication::processEvents();
        QCOMPARE(pane.items().size(), size_t(0));
        QCOMPARE(pane.pulse(), 0);
        const QStringList left = visible(pane.directory());
        QCOMPARE(left.size(), 1);
        QVERIFY(left.first().startsWith(QLatin1String("staging-")));
    }

    // Drags as the window delivers them: a file drag is answered with copy even when the source
    // proposes a move, and marks the pane targeted until it leaves; a web link is refused and
    // leaves the pane alone.
    void targeting_data()
    {
        QTest::addColumn<QUrl>("url");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("file") << QUrl::fromLocalFile(QStringLiteral("/tmp/a.txt")) << true;
        QTest::newRow("web link") << QUrl(QStringLiteral("https://example.org/a.txt")) << false;
    }
    void targeting()
    {
        QFETCH(QUrl, url);
        QFETCH(bool, accepted);
        QTemporaryDir root;
        test::ManualClock clock;
        DropPane pane(root.filePath(QStringLiteral("DropShelf")), clock);
        int expandRequests = 0;
        pane.setOnDragRequestsExpand([&] { ++expandRequests; });
        QQuickWindow window;
        window.resize(200, 100);
        auto *well = new DropWellView(window.contentItem());
        well->setSize(QSizeF(200, 100));
        well->setPane(&pane);
        window.show();
        const std::unique_ptr<QMimeData> data(mime({url}));

        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, {});
        enter.setDropAction(Qt::MoveAction);
        QCoreApplication::sendEvent(&window, &enter);
        QCOMPARE(enter.isAccepted(), accepted);
        QCOMPARE(pane.isTargeted(), accepted);
        QCOMPARE(expandRequests, accepted ? 1 : 0);

        // The window answers the source with the action of the move that follows every enter.
        QDragMoveEvent move(QPoint(60, 50), Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, {});
        move.setDropAction(Qt::MoveAction);
        QCoreApplication::sendEvent(&window, &move);
        QCOMPARE(move.isAccepted(), accepted);
        if (accepted)
            QCOMPARE(move.dropAction(), Qt::CopyAction);

        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(&window, &leave);
        QVERIFY(!pane.isTargeted());
        QCOMPARE(expandRequests, accepted ? 1 : 0);
        QCoreApplication::processEvents();
        QCOMPARE(pane.pulse(), 0);
    }

    void dropWithoutPaneOrFilesTakesNothing()
    {
        DropWellView well;
        const std::unique_ptr<QMimeData> file(mime({QUrl::fromLocalFile(QStringLiteral("/tmp/x"))}));
        QVERIFY(!well.take(file.get()));

        QTemporaryDir root;
        test::ManualClock clock;
        DropPane pane(root.filePath(QStringLiteral("DropShelf")), clock);
        well.setPane(&pane);
        const std::unique_ptr<QMimeData> web(mime({QUrl(QStringLiteral("https://example.org/"))}));
        QVERIFY(!well.take(web.get()));
        QCoreApplication::processEvents();
        QCOMPARE(pane.pulse(), 0);
    }
};

QTEST_MAIN(DropWellTest)
#include "tst_dropwell.moc"
