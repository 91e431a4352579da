// labels: x11 e2e notes
// The built program with the Notes pane in front: the pointer opens the surface, clicks "plus",
// clicks into the note and types; leaving the surface saves the note to notes.json, and the next
// start shows it as a tile.
#include "ProgramRig.h"

#include <QDeadlineTimer>
#include <QImage>
#include <QScreen>

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
} // namespace

class NotesRunTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void aTypedNoteOutlivesTheRun()
    {
        ProgramRig rig;
        XDriver driver;
        Openbox openbox;
        QVERIFY(rig.startBus());
        QVERIFY(openbox.start(driver.connection()));
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        const int centreX = screen.center().x() + 1;
        const QString notesFile = rig.home.filePath(QStringLiteral("data/app.tavrenhold/notes.json"));
        QVERIFY(rig.writeDefaults({{QStringLiteral("style.theme"), QStringLiteral("dark")},
                                   {QStringLiteral("shell.focusedPane"), QStringLiteral("notes")}}));

        // The pointer comes up to the notch; a program still starting on a busy machine may not
        // watch the pointer yet, so it comes again until the surface opens.
        const auto expand = [&] {
            QDeadlineTimer deadline(45000);
            while (!deadline.hasExpired()) {
                driver.moveTo(centreX, 300);
                driver.moveTo(centreX, 0);
                if (QTest::qWaitFor([&] { return accentBox(grab()).isValid(); }, 5000))
                    return true;
            }
            return false;
        };
        // The surface has come to rest when two looks a moment apart find the accent in one place.
        const auto settled = [&] {
            QRect last;
            return QTest::qWaitFor(
                [&] {
                    const QRect now = accentBox(grab());
                    const bool same = now.isValid() && now == last;
                    last = now;
                    return same;
                },
                20000);
        };
        const auto leave = [&] { driver.moveTo(100, screen.height() - 100); };

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
};

int main(int argc, char **argv)
{
    return tavrenhold::test::runOnPrivateDisplay<NotesRunTest>(argc, argv);
}

#include "tst_notesrun.moc"
