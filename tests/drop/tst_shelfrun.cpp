// labels: x11 e2e
// The built program on a private display with openbox and a private session bus, and other
// programs' drags driven through XTEST: a Qt window drags a file onto the notch, a GTK window
// promises a file by direct save (kept and broken promises), and a shelf chip is dragged out onto a
// Qt window that takes copies.
#include "e2e/ProgramRig.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QScreen>

#include <utility>

using tavrenhold::test::dieWithParent;
using tavrenhold::test::Openbox;
using tavrenhold::test::ProgramRig;
using tavrenhold::test::XDriver;

namespace {

const QRegularExpression parkedName(QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}-(.+)$"));

QImage grab() { return QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32); }

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Another program whose output lines the test reads.
class Peer {
public:
    ~Peer() { ProgramRig::stop(process); }

    bool start(const QString &program, const QStringList &arguments, const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
    {
        process.setProcessEnvironment(env);
        dieWithParent(process);
        process.setProcessChannelMode(QProcess::SeparateChannels);
        process.start(program, arguments);
        return process.waitForStarted(10000) && said(QStringLiteral("ready"));
    }
    // Waits until a line starting with `prefix` came; returns it.
    QString line(const QString &prefix, int timeout = 20000)
    {
        QString found;
        QTest::qWaitFor(
            [&] {
                m_out += QString::fromUtf8(process.readAllStandardOutput());
                for (const QString &l : m_out.split(QLatin1Char('\n'))) {
                    if (l.startsWith(prefix)) {
                        found = l;
                        return true;
                    }
                }
                return false;
            },
            timeout);
        return found;
    }
    bool said(const QString &prefix, int timeout = 20000) { return !line(prefix, timeout).isNull(); }
    [[nodiscard]] QString output() const { return m_out; }

    QProcess process;

private:
    QString m_out;
};

} // namespace

class ShelfRunTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        m_screen = QGuiApplication::primaryScreen()->geometry();
        m_centreX = m_screen.center().x() + 1;
        QVERIFY(m_openbox.start(m_driver.connection()));
    }

    // A Qt window's drag of a file, released in the hover strip at the top or on the drop band below
    // the bar: the notch opens on the Drop pane, answers copy (never move, which would delete the
    // original), and parks the file.
    void aQtDragParksAFile_data()
    {
        QTest::addColumn<int>("releaseY");
        QTest::newRow("hover strip") << 12;
        QTest::newRow("drop band below the bar") << 90;
    }
    void aQtDragParksAFile()
    {
        QFETCH(int, releaseY);
        ProgramRig rig;
        QVERIFY(rig.startBus());
        QVERIFY(rig.writeDefaults({{QStringLiteral("style.theme"), QStringLiteral("dark")}}));
        const QString file = rig.home.filePath(QStringLiteral("files/a.txt"));
        QVERIFY(QDir().mkpath(QFileInfo(file).absolutePath()));
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("dragged bytes");
        out.close();

        const QRect place(200, 500, 160, 120);
        Peer peer;
        QVERIFY(peer.start(QStringLiteral(TAVRENHOLD_DRAG_PEER),
                           {QStringLiteral("source"), QString::number(place.x()), QString::number(place.y()),
                            QString::number(place.width()), QString::number(place.height()), file}));
        startProgram(rig);
        const int emptyBar = brightInBar(grab());

        dragTo(place.center(), QPoint(m_centreX, releaseY));
        const QString shelf = shelfOf(rig);
        QTRY_VERIFY2_WITH_TIMEOUT(parked(shelf, QStringLiteral("a.txt")).size() == 1,
                                  qPrintable(peer.output() + rig.program.readAllStandardError()), 30000);
        QCOMPARE(readFile(shelf + QLatin1Char('/') + parked(shelf, QStringLiteral("a.txt")).first()),
                 QByteArray("dragged bytes"));
        QCOMPARE(peer.line(QStringLiteral("result ")), QStringLiteral("result %1").arg(int(Qt::CopyAction)));
        QCOMPARE(readFile(file), QByteArray("dragged bytes")); // the original stays

        // Closed again, the bar carries the shelf's badge: its symbol and "1" in ink.
        m_driver.moveTo(100, m_screen.height() - 100);
        QTRY_VERIFY2_WITH_TIMEOUT(brightInBar(grab()) > emptyBar + 15,
                                  qPrintable(QStringLiteral("%1 bright pixels, %2 before").arg(brightInBar(grab())).arg(emptyBar)),
                                  20000);
    }

    // A GTK window's promised file: written by the source into a staging folder and parked, on the
    // hover strip or the drop band, under a name that fits the file system; a broken promise, or a
    // link the source planted in place of the file, leaves the shelf empty and its staging folder
    // behind.
    void promisedFiles_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("releaseY");
        QTest::newRow("kept") << QStringLiteral("save") << QStringLiteral("promised.txt") << 12;
        QTest::newRow("kept, on the drop band") << QStringLiteral("save") << QStringLiteral("promised.txt") << 90;
        QTest::newRow("kept, 300-character name") << QStringLiteral("save") << QString(296, QLatin1Char('p')) + ".txt"
                                                  << 12;
        QTest::newRow("broken") << QStringLiteral("fail") << QStringLiteral("promised.txt") << 12;
        QTest::newRow("planted link") << QStringLiteral("link") << QStringLiteral("promised.txt") << 12;
    }
    void promisedFiles()
    {
        QFETCH(QString, mode);
        QFETCH(QString, name);
        QFETCH(int, releaseY);
        ProgramRig rig;
        QVERIFY(rig.startBus());
        QVERIFY(rig.writeDefaults({{QStringLiteral("style.theme"), QStringLiteral("dark")}}));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("NO_AT_BRIDGE"), QStringLiteral("1"));
        env.insert(QStringLiteral("GDK_BACKEND"), QStringLiteral("x11"));
        // What a planted link points at: a file of the user's the source wants to get hold of.
        const QString secret = rig.home.filePath(QStringLiteral("secret.txt"));
        QFile secretFile(secret);
        QVERIFY(secretFile.open(QIODevice::WriteOnly));
        secretFile.write("secret bytes");
        secretFile.close();
        const QString content = mode == QLatin1String("link") ? secret : QStringLiteral("promised bytes");
        const QRect place(200, 500, 160, 120);
        Peer peer;
        QVERIFY2(peer.start(QStringLiteral("/usr/bin/python3"),
                            {QStringLiteral(TAVRENHOLD_XDS_SOURCE), QString::number(place.x()), QString::number(place.y()),
                             QString::number(place.width()), QString::number(place.height()), name, content, mode},
                            env),
                 qPrintable(peer.process.readAllStandardError()));
        startProgram(rig);

        dragTo(place.center(), QPoint(m_centreX, releaseY));
        QVERIFY2(peer.said(QStringLiteral("asked "), 30000), qPrintable(peer.output() + peer.process.readAllStandardError()));
        const QString shelf = shelfOf(rig);
        const auto staging = [&] { return QDir(shelf).entryList({QStringLiteral("staging-*")}, QDir::Dirs); };
        if (mode == QLatin1String("save")) {
            QTRY_VERIFY_WITH_TIMEOUT(parked(shelf, QString()).size() == 1, 30000);
            const QString stored = parked(shelf, QString()).first();
            const QString shown = parkedName.match(stored).captured(1);
            QVERIFY2(stored.toUtf8().size() <= 255, qPrintable(stored));
            QVERIFY2(shown.endsWith(QLatin1String(".txt")) && name.startsWith(shown.chopped(4)), qPrintable(shown));
            QCOMPARE(readFile(shelf + QLatin1Char('/') + stored), QByteArray("promised bytes"));
            QTRY_COMPARE_WITH_TIMEOUT(staging(), QStringList(), 10000);
        } else {
            QVERIFY(peer.said(QStringLiteral("end"), 30000));
            QTRY_COMPARE_WITH_TIMEOUT(staging().size(), 1, 10000);
            // No file the source wrote (a planted link stays a link, not followed).
            const QDir folder(shelf + QLatin1Char('/') + staging().first());
            for (const QFileInfo &entry : folder.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
                QVERIFY2(entry.isSymLink() && mode == QLatin1String("link"), qPrintable(entry.fileName()));
            // Nothing is parked while the drop is settled (the copy of a parked file takes milliseconds).
            QVERIFY(!QTest::qWaitFor([&] { return !parked(shelf, QString()).isEmpty(); }, 3000));
            QCOMPARE(readFile(secret), QByteArray("secret bytes"));
        }
    }

    // A chip dragged onto another program's window: that program gets a copy outside the shelf with
    // the same bytes, and the item leaves the shelf.
    void aChipDraggedOut()
    {
        ProgramRig rig;
        QVERIFY(rig.startBus());
        QVERIFY(rig.writeDefaults({{QStringLiteral("style.theme"), QStringLiteral("dark")},
                                   {QStringLiteral("shell.focusedPane"), QStringLiteral("drop")}}));
        const QString shelf = shelfOf(rig);
        QVERIFY(QDir().mkpath(shelf));
        const QString stored = shelf + QStringLiteral("/0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0-out.txt");
        QFile seed(stored);
        QVERIFY(seed.open(QIODevice::WriteOnly));
        seed.write("chip bytes");
        seed.close();

        const QRect place(560, 600, 300, 200);
        Peer peer;
        QVERIFY(peer.start(QStringLiteral(TAVRENHOLD_DRAG_PEER),
                           {QStringLiteral("target"), QString::number(place.x()), QString::number(place.y()),
                            QString::number(place.width()), QString::number(place.height())}));
        startProgram(rig);

        // Open the notch on the Drop pane and find the chip: its name in bright ink below the top.
        m_driver.moveTo(m_centreX, 300);
        m_driver.moveTo(m_centreX, 0);
        QRect chip;
        QVERIFY2(QTest::qWaitFor([&] { return (chip = chipBox(grab())).isValid(); }, 20000),
                 rig.program.readAllStandardError().constData());
        // The surface has come to rest when two looks a moment apart find the chip in one place.
        QRect last;
        QVERIFY(QTest::qWaitFor(
            [&] {
                last = std::exchange(chip, chipBox(grab()));
                return chip.isValid() && chip == last;
            },
            20000));

        dragTo(chip.center(), place.center());
        const QString line = peer.line(QStringLiteral("dropped "), 30000);
        QVERIFY2(!line.isNull(), qPrintable(peer.output() + rig.program.readAllStandardError()));
        const QString received = line.mid(8);
        QVERIFY2(received.startsWith(rig.home.filePath(QStringLiteral("cache/app.tavrenhold/DragOut/"))), qPrintable(received));
        QCOMPARE(QFileInfo(received).fileName(), QStringLiteral("out.txt"));
        QCOMPARE(readFile(received), QByteArray("chip bytes"));
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(stored), 15000);
    }

private:
    static QString shelfOf(const ProgramRig &rig)
    {
        return rig.home.filePath(QStringLiteral("cache/app.tavrenhold/DropShelf"));
    }

    // The shelf's parked entries whose display name is `name` (any name when empty).
    static QStringList parked(const QString &shelf, const QString &name)
    {
        QStringList found;
        for (const QString &entry : QDir(shelf).entryList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
            const auto match = parkedName.match(entry);
            if (match.hasMatch() && (name.isEmpty() || match.captured(1) == name))
                found << entry;
        }
        return found;
    }

    // Starts the program with the pointer far from the notch and waits for its panel.
    void startProgram(ProgramRig &rig)
    {
        m_driver.moveTo(100, m_screen.height() - 100);
        rig.start();
        QVERIFY2(rig.program.waitForStarted(10000), qPrintable(rig.program.errorString()));
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         QProcess search;
                         search.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                                 QStringLiteral("--name"), QStringLiteral("^Tavrenhold$")});
                         return search.waitForFinished(5000) && !search.readAllStandardOutput().trimmed().isEmpty();
                     },
                     20000),
                 rig.program.readAllStandardError().constData());
        QTest::qWait(1000); // the pointer monitor settles
    }

    // A drag through XTEST: press at `from`, move there in small steps (a drag's sources and
    // targets answer motion), wiggle over the target, release.
    void dragTo(QPoint from, QPoint to)
    {
        m_driver.moveTo(from.x(), from.y());
        QTest::qWait(100);
        m_driver.press(1);
        QTest::qWait(100);
        constexpr int steps = 40;
        QPoint at = from;
        for (int i = 1; i <= steps; ++i) {
            const QPoint next = from + (to - from) * i / steps;
            m_driver.moveBy(next.x() - at.x(), next.y() - at.y());
            at = next;
            QTest::qWait(25);
        }
        for (int i = 0; i < 16; ++i) {
            m_driver.moveBy(i % 2 ? 2 : -2, 0);
            QTest::qWait(80);
        }
        m_driver.release(1);
    }

    // Ink in the collapsed bar at the top centre (over a black desktop).
    int brightInBar(const QImage &shot) const
    {
        int count = 0;
        for (int y = 0; y < 40; ++y) {
            const auto *line = reinterpret_cast<const QRgb *>(shot.constScanLine(y));
            for (int x = m_centreX - 300; x < m_centreX + 300; ++x) {
                if (qRed(line[x]) > 110 && qGreen(line[x]) > 110 && qBlue(line[x]) > 100)
                    ++count;
            }
        }
        return count;
    }

    // The chip's name: bright ink in the open surface, below the pane row (whose chosen pill is
    // bright too) and the header.
    QRect chipBox(const QImage &shot) const
    {
        QRect box;
        for (int y = 115; y < qMin(shot.height(), 300); ++y) {
            const auto *line = reinterpret_cast<const QRgb *>(shot.constScanLine(y));
            for (int x = m_centreX - 230; x < m_centreX + 230; ++x) {
                const QRgb p = line[x];
                if (qRed(p) > 200 && qGreen(p) > 200 && qBlue(p) > 190)
                    box |= QRect(x, y, 1, 1);
            }
        }
        return box;
    }

    XDriver m_driver;
    Openbox m_openbox;
    QRect m_screen;
    int m_centreX = 0;
};

int main(int argc, char **argv)
{
    return tavrenhold::test::runOnPrivateDisplay<ShelfRunTest>(argc, argv);
}

#include "tst_shelfrun.moc"
