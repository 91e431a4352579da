// labels: x11 e2e notes
// The built program with the Notes pane in front: the pointer opens the surface, clicks "plus",
// clicks into the note and types; leaving the surface saves the note to notes.json, and the next
// start shows it as a tile.
#include "ProgramRig.h"

#include <QDeadlineTimer>
#include <QImage>
#include <QScreen>
#include <QUuid>

using tavrenhold::test::Openbox;
using tavrenhold::test::ProgramRig;
using tavrenhold::test::XDriver;

namespace {
QImage grab() { return QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32); }

// Where the Notes accent (the "plus" button, "Save") is drawn in the upper part of the screen.
QRect accentBox(const QImage &shot)
{
    QRect box;
    for (int y = 0; y < qMin(shot.height(), 360); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(shot.constScanLine(y));
        for (int x = 0; x < shot.width(); ++x) {
            const QRgb p = line[x];
            if (qRed(p) > 225 && qAbs(qGreen(p) - 173) < 30 && qAbs(qBlue(p) - 112) < 35)
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

// Bright text (Style.ink) in a band of the screen: tile titles, nothing of the empty face.
int brightPixels(const QImage &shot, int top, int bottom)
{
    int count = 0;
    for (int y = qMax(0, top); y < qMin(shot.height(), bottom); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(shot.constScanLine(y));
        for (int x = 0; x < shot.width(); ++x) {
            if (qRed(line[x]) > 210 && qGreen(line[x]) > 210 && qBlue(line[x]) > 210)
                ++count;
        }
    }
    return count;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
// Pixels of anything drawn in a band of the screen: the open surface's pills and tiles, nothing of
// the collapsed bar above the band.
int litPixels(const QImage &shot, int top, int bottom)
{
    int count = 0;
    for (int y = qMax(0, top); y < qMin(shot.height(), bottom); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(shot.constScanLine(y));
        for (int x = 0; x < shot.width(); ++x)
            count += qMax(qRed(line[x]), qMax(qGreen(line[x]), qBlue(line[x]))) > 24 ? 1 : 0;
    }
    return count;
}

// Resident memory of a process in KiB, 0 when it cannot be read.
qint64 residentKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

// `count` short notes in the stored format.
QByteArray manyNotes(int count)
{
    QByteArray out("[");
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            out.append(',');
        out.append(QStringLiteral("{\"id\":\"%1\",\"title\":\"Note %2\",\"body\":\"line one\\nline two %2 %4\",\"updatedAt\":%3}")
                       .arg(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper())
                       .arg(i)
                       .arg(800000000 - i)
                       .arg(QString(i % 7 * 30, QLatin1Char('w')))
                       .toUtf8());
    }
    out.append(']');
    return out;
}
} // namespace

// The program on this test's display, under openbox, and the pointer that opens and leaves its
// surface.
struct NotesProgram {
    ProgramRig rig;
    XDriver driver;
    Openbox openbox;
    QRect screen;
    int centreX = 0;

    [[nodiscard]] bool begin(const QByteArray &notes = {})
    {
        if (!rig.startBus() || !openbox.start(driver.connection()))
            return false;
        screen = QGuiApplication::primaryScreen()->geometry();
        centreX = screen.center().x() + 1;
        if (!notes.isEmpty()) {
            QDir().mkpath(QFileInfo(notesFile()).absolutePath());
            QFile out(notesFile());
            if (!out.open(QIODevice::WriteOnly) || out.write(notes) != notes.size())
                return false;
        }
        return rig.writeDefaults({{QStringLiteral("style.theme"), QStringLiteral("dark")},
                                  {QStringLiteral("shell.focusedPane"), QStringLiteral("notes")}});
    }
    [[nodiscard]] QString notesFile() const { return rig.home.filePath(QStringLiteral("data/app.tavrenhold/notes.json")); }

    // The pointer comes up to the notch; a program still starting on a busy machine may not
    // watch the pointer yet, so it comes again until the surface opens.
    bool expand()
    {
        QDeadlineTimer deadline(45000);
        while (!deadline.hasExpired()) {
            driver.moveTo(centreX, 300);
            driver.moveTo(centreX, 0);
            if (QTest::qWaitFor([&] { return accentBox(grab()).isValid(); }, 5000))
                return true;
        }
        return false;
    }
    // The surface has come to rest when two looks a moment apart find the accent in one place.
    static bool settled()
    {
        QRect last;
        return QTest::qWaitFor(
            [&] {
                const QRect now = accentBox(grab());
                const bool same = now.isValid() && now == last;
                last = now;
                return same;
            },
            20000);
    }
    void leave() { driver.moveTo(100, screen.height() - 100); }
};

class NotesRunTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void aTypedNoteOutlivesTheRun()
    {
        NotesProgram program;
        QVERIFY(program.begin());
        ProgramRig &rig = program.rig;
        XDriver &driver = program.driver;
        const int centreX = program.centreX;
        const QString notesFile = program.notesFile();
        const auto expand = [&] { return program.expand(); };
        const auto settled = [&] { return NotesProgram::settled(); };
        const auto leave = [&] { program.leave(); };

        leave();
        rig.start();
        QVERIFY2(rig.program.waitForStarted(10000), qPrintable(rig.program.errorString()));
        QVERIFY2(expand(), rig.program.readAllStandardError().constData());
        QVERIFY(settled());
        const QRect plus = accentBox(grab());
        const int emptyBright = brightPixels(grab(), plus.bottom() + 6, plus.bottom() + 150);

        // "plus" opens the editor: the accent is then the wider "Save".
        driver.click(plus.center().x(), plus.center().y());
        QVERIFY(QTest::qWaitFor([&] { return accentBox(grab()).width() > plus.width() + 4; }, 10000));
        const QRect save = accentBox(grab());
        // Into the body editor, below the title field, and type.
        driver.click(centreX, save.bottom() + 130);
        QProcess type;
        type.start(QStringLiteral("xdotool"), {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("40"),
                                              QStringLiteral("milk run")});
        QVERIFY(type.waitForFinished(20000));
        QCOMPARE(type.exitCode(), 0);

        // Leaving closes the surface, which saves the note.
        leave();
        QVERIFY2(QTest::qWaitFor([&] { return readFile(notesFile).contains("\"body\":\"milk run\""); }, 15000),
                 readFile(notesFile).constData());
        ProgramRig::stop(rig.program);
        QCOMPARE(rig.program.exitStatus(), QProcess::NormalExit);
        const QByteArray saved = readFile(notesFile);
        QCOMPARE(saved.count("\"id\""), 1);

        // The next start shows the note as a tile, its title in bright ink.
        rig.start();
        QVERIFY2(rig.program.waitForStarted(10000), qPrintable(rig.program.errorString()));
        QVERIFY2(expand(), rig.program.readAllStandardError().constData());
        QVERIFY2(QTest::qWaitFor([&] { return brightPixels(grab(), plus.bottom() + 6, plus.bottom() + 150) > emptyBright + 40; },
                                 10000),
                 qPrintable(QStringLiteral("bright pixels: %1 before, %2 now")
                                .arg(emptyBright)
                                .arg(brightPixels(grab(), plus.bottom() + 6, plus.bottom() + 150))));
        leave();
        ProgramRig::stop(rig.program);
        QCOMPARE(readFile(notesFile), saved);
    }

    // A brisk wheel with the pointer over the tiles pages through the panes and back, sliding the
    // Notes list out of the carousel's window and in again: the program answers afterwards (it
    // collapses when the pointer leaves, it ends at SIGTERM) and its memory stays bounded.
    void aWheelFlickOverManyNotesLeavesTheProgramAnswering()
    {
        NotesProgram program;
        QVERIFY(program.begin(manyNotes(10000)));
        program.leave();
        program.rig.start();
        QVERIFY2(program.rig.program.waitForStarted(10000), qPrintable(program.rig.program.errorString()));
        QVERIFY2(program.expand(), program.rig.program.readAllStandardError().constData());
        QVERIFY(NotesProgram::settled());
        const qint64 pid = program.rig.program.processId();
        const qint64 before = residentKiB(pid);

        program.driver.moveTo(program.centreX - 100, 180);
        // Fifteen notches down and fifteen up, 40 ms apart (X buttons 5 and 4), three times.
        for (const int button : {5, 4, 5, 4, 5, 4}) {
            for (int n = 0; n < 15; ++n) {
                program.driver.press(button);
                program.driver.release(button);
                QTest::qWait(40);
            }
        }
        // The pointer leaves and the surface collapses.
        program.leave();
        QVERIFY2(QTest::qWaitFor([&] { return litPixels(grab(), 60, 300) < 50; }, 30000), "the surface stays open");
        const qint64 after = residentKiB(pid);
        QVERIFY2(after - before < 200 * 1024, qPrintable(QStringLiteral("%1 KiB before, %2 KiB after").arg(before).arg(after)));
        program.rig.program.terminate();
        QVERIFY(program.rig.program.waitForFinished(15000));
        QCOMPARE(program.rig.program.exitStatus(), QProcess::NormalExit);
    }
};

int main(int argc, char **argv)
{
    return tavrenhold::test::runOnPrivateDisplay<NotesRunTest>(argc, argv);
}

#include "tst_notesrun.moc"
