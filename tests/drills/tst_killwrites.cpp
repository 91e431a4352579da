// labels: drill x11 e2e
// The built program killed (SIGKILL) at random moments while it writes its files: the settings
// (an old setting name renamed at start, a focus round that ends during the run), the clipboard
// history and its images (xclip copying text and pictures), the drop shelf (a file dragged onto
// the notch by another program). After every kill each file is either what it was or a whole new
// content the store reads back, and whatever the user had before is still there.
#include "DrillSupport.h"

#include "clipboard/ClipboardHistoryFile.h"
#include "focus/PomodoroState.h"
#include "notes/NoteRecord.h"
#include "platform/Defaults.h"

#include <QBuffer>
#include <QDateTime>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>

#include <csignal>

using namespace tavrenhold;
using tavrenhold::test::Openbox;
using tavrenhold::test::ProgramRig;
using tavrenhold::test::XDriver;
namespace drill = tavrenhold::test::drill;

namespace {
// Seconds since 2001-01-01 UTC, the focus timer's unit.
double referenceNow() { return double(QDateTime::currentMSecsSinceEpoch()) / 1000.0 - 978307200.0; }

const QRegularExpression parkedName(QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}-(.+)$"));

// The settings each run starts from: a value only the user set, an old name the program renames at
// start, and a focus round ending `inSeconds` after now.
QJsonObject seededSettings(double inSeconds)
{
    const QByteArray record = QByteArrayLiteral(R"({"settings":{"workMinutes":25,"shortBreakMinutes":5,)"
                                                R"("longBreakMinutes":15,"roundsBeforeLong":4},"phase":"work",)"
                                                R"("run":{"running":{"deadline":)")
        + QByteArray::number(referenceNow() + inSeconds, 'f', 3) + R"(}},"roundsToday":0,"runDuration":1500})";
    return {{QStringLiteral("style.theme"), QStringLiteral("dark")},
            {QStringLiteral("drill.userValue"), QStringLiteral("kept")},
            {QStringLiteral("notch.collapsedWidth"), QStringLiteral("standard")},
            {QStringLiteral("focus.pomodoro"), QJsonObject{{QStringLiteral("data"), QString::fromLatin1(record.toBase64())}}}};
}

// Another program's window that drags a file when pressed.
class DragSource {
public:
    ~DragSource() { ProgramRig::stop(process); }
    bool start(const QRect &place, const QString &file)
    {
        tavrenhold::test::dieWithParent(process);
        process.start(QStringLiteral(TAVRENHOLD_DRAG_PEER),
                      {QStringLiteral("source"), QString::number(place.x()), QString::number(place.y()),
                       QString::number(place.width()), QString::number(place.height()), file});
        return process.waitForStarted(10000)
            && QTest::qWaitFor([&] { return (m_out += process.readAllStandardOutput()).contains("ready"); }, 20000);
    }
    QProcess process;

private:
    QByteArray m_out;
};
} // namespace

class KillWritesTest : public QObject {
    Q_OBJECT

    QString m_notes, m_history, m_images, m_shelf, m_keptShelfEntry;
    QByteArray m_notesBytes;
    QUuid m_pinnedId;
    QByteArray m_draggedBytes;
    QStringList m_faults;

    void fault(const QString &what) { m_faults << what; }

    // Every file of the program, checked after a kill; `shelfSettled` once a later start has run
    // (its load sweeps the partial copies a kill leaves).
    void checkFiles(const ProgramRig &rig, const QByteArray &settingsBefore, bool shelfSettled)
    {
        // Settings: the bytes of before, or a whole object that keeps the user's value and a focus
        // record the timer reads.
        const QByteArray settings = drill::readAll(rig.defaultsPath());
        if (settings != settingsBefore) {
            QJsonParseError error{};
            const QJsonObject values = QJsonDocument::fromJson(settings, &error).object();
            if (error.error != QJsonParseError::NoError)
                fault(QStringLiteral("settings half-written: ") + error.errorString());
            else if (values.value(QStringLiteral("drill.userValue")).toString() != QLatin1String("kept"))
                fault(QStringLiteral("settings lost the user's value"));
            else {
                platform::Defaults read(rig.defaultsPath());
                const auto focus = read.data(QStringLiteral("focus.pomodoro"));
                if (!focus || !decodePomodoro(*focus))
                    fault(QStringLiteral("focus record unreadable"));
            }
        }
        // Notes: never edited here, so the same bytes.
        if (drill::readAll(m_notes) != m_notesBytes)
            fault(QStringLiteral("notes file changed"));
        // Clipboard: a history the store decodes, the pinned entry in it, every picture it names whole.
        const auto rows = decodeHistory(drill::readAll(m_history));
        if (!rows) {
            fault(QStringLiteral("clipboard history half-written"));
        } else {
            if (std::none_of(rows->begin(), rows->end(), [&](const StoredRow &r) { return r.id == m_pinnedId && r.pinned; }))
                fault(QStringLiteral("pinned clipboard entry lost"));
            for (const StoredRow &row : *rows) {
                if (row.kind != ClipboardItem::Kind::image)
                    continue;
                // Whole: the history is written after its pictures, so each one it names is there.
                const QString picture = m_images + QLatin1Char('/') + row.imagePath.value_or(QString());
                if (!QFileInfo(picture).isFile() || QFileInfo(picture).size() == 0)
                    fault(QStringLiteral("clipboard picture %1 missing or empty").arg(row.imagePath.value_or(QString())));
            }
        }
        // Shelf: the entry parked before is there whole; every dragged-in entry is a whole copy.
        if (drill::readAll(m_keptShelfEntry) != QByteArray("parked before"))
            fault(QStringLiteral("parked entry lost"));
        for (const QString &entry : QDir(m_shelf).entryList(QDir::Files | QDir::NoDotAndDotDot)) {
            if (parkedName.match(entry).captured(1) == QLatin1String("big.bin")
                && drill::readAll(m_shelf + QLatin1Char('/') + entry) != m_draggedBytes)
                fault(QStringLiteral("shelf shows a cut-off copy ") + entry);
        }
        if (shelfSettled && !QDir(m_shelf).entryList({QStringLiteral(".partial-*")}, QDir::AllEntries | QDir::Hidden).isEmpty())
            fault(QStringLiteral("partial copy left after a start"));
        // Nothing was set aside: every file read back.
        for (const QString &folder : {QFileInfo(rig.defaultsPath()).absolutePath(), QFileInfo(m_history).absolutePath()}) {
            const QStringList aside = QDir(folder).entryList({QStringLiteral("*.corrupt.*")}, QDir::AllEntries | QDir::Hidden);
            if (!aside.isEmpty())
                fault(QStringLiteral("set aside: ") + aside.join(QStringLiteral(", ")));
        }
    }

private Q_SLOTS:
    void everyFileIsOldOrNewWhole()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("xclip")).isEmpty())
            QSKIP("xclip is not installed (scripts/bootstrap installs it)");
        ProgramRig rig;
        XDriver driver;
        Openbox openbox;
        QVERIFY(rig.startBus());
        QVERIFY(openbox.start(driver.connection()));
        drill::Backdrop backdrop;
        backdrop.show();
        QVERIFY(QTest::qWaitForWindowExposed(&backdrop));
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        const QString data = rig.home.filePath(QStringLiteral("data/app.tavrenhold"));
        m_notes = data + QStringLiteral("/notes.json");
        m_history = data + QStringLiteral("/clipboard-history.json");
        m_images = data + QStringLiteral("/clipboard-images");
        m_shelf = rig.home.filePath(QStringLiteral("cache/app.tavrenhold/DropShelf"));
        QVERIFY(QDir().mkpath(data) && QDir().mkpath(m_shelf));

        // What the user had: notes, a pinned clipboard entry, a parked file.
        std::vector<NoteRecord> notes;
        for (int i = 0; i < 3; ++i)
            notes.push_back({QUuid::createUuid(), QStringLiteral("note %1").arg(i), QStringLiteral("body %1").arg(i), 800000000.0 + i});
        m_notesBytes = encodeNotes(notes).value();
        m_pinnedId = QUuid::createUuid();
        const QByteArray history = encodeHistory(
            {StoredRow{m_pinnedId, ClipboardItem::Kind::text, QStringLiteral("pinned text"), std::nullopt, std::nullopt, true,
                       referenceNow() - 60}});
        m_keptShelfEntry = m_shelf + QStringLiteral("/0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0-kept.txt");
        for (const auto &[path, bytes] : {std::pair{m_notes, m_notesBytes}, std::pair{m_history, history},
                                          std::pair{m_keptShelfEntry, QByteArray("parked before")}}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        }

        // A picture to copy and a big file to drag in, big enough that its copy takes a while.
        QImage picture(320, 200, QImage::Format_RGB32);
        picture.fill(QColor(200, 120, 40));
        QByteArray png;
        QBuffer buffer(&png);
        QVERIFY(buffer.open(QIODevice::WriteOnly) && picture.save(&buffer, "PNG"));
        const QString big = rig.home.filePath(QStringLiteral("files/big.bin"));
        QVERIFY(QDir().mkpath(QFileInfo(big).absolutePath()));
        m_draggedBytes.resize(24 << 20);
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(m_draggedBytes.data()), m_draggedBytes.size() / 4);
        {
            QFile file(big);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(m_draggedBytes);
        }
        const QRect place(40, 500, 160, 120);
        DragSource source;
        QVERIFY(source.start(place, big));

        const quint32 seed = qEnvironmentVariableIsSet("DRILL_SEED") ? quint32(qEnvironmentVariableIntValue("DRILL_SEED")) : 20261211u;
        QRandomGenerator random(seed);
        const int kills = qEnvironmentVariableIsSet("DRILL_KILLS") ? qEnvironmentVariableIntValue("DRILL_KILLS") : 20;
        qInfo("seed %u, %d kills", seed, kills);
        std::vector<std::unique_ptr<QProcess>> owners;
        int copies = 0, drags = 0;
        for (int round = 0; round < kills; ++round) {
            QVERIFY(rig.writeDefaults(seededSettings(0.3 + random.bounded(2.5))));
            const QByteArray settingsBefore = drill::readAll(rig.defaultsPath());
            driver.moveTo(100, screen.height() - 100);
            rig.start();
            QVERIFY2(rig.program.waitForStarted(10000), qPrintable(rig.program.errorString()));
            QElapsedTimer alive;
            alive.start();
            const bool drag = round % 4 == 3;
            const int killAt = drag ? 0 : 300 + int(random.bounded(2700));
            if (drag) {
                // Wait for the panel, drag the file onto the notch, kill soon after the drop.
                (void)QTest::qWaitFor([] { return drill::looksCollapsed(drill::notchBox()); }, 20000);
                QTest::qWait(1000);
                driver.moveTo(place.center().x(), place.center().y());
                QTest::qWait(100);
                driver.press(1);
                QTest::qWait(100);
                const QPoint to(screen.center().x() + 1, 12);
                QPoint at = place.center();
                for (int i = 1; i <= 40; ++i) {
                    const QPoint next = place.center() + (to - place.center()) * i / 40;
                    driver.moveBy(next.x() - at.x(), next.y() - at.y());
                    at = next;
                    QTest::qWait(25);
                }
                for (int i = 0; i < 16; ++i) {
                    driver.moveBy(i % 2 ? 2 : -2, 0);
                    QTest::qWait(80);
                }
                driver.release(1);
                ++drags;
                QTest::qWait(int(random.bounded(400)));
            } else {
                // Copies, text and pictures, one every 120 ms until the kill.
                while (alive.elapsed() < killAt) {
                    auto &owner = owners.emplace_back(std::make_unique<QProcess>());
                    tavrenhold::test::dieWithParent(*owner);
                    const bool image = copies % 3 == 2;
                    owner->start(QStringLiteral("xclip"), QStringList{QStringLiteral("-quiet"), QStringLiteral("-selection"),
                                                                      QStringLiteral("clipboard")}
                                                              + (image ? QStringList{QStringLiteral("-t"), QStringLiteral("image/png")}
                                                                       : QStringList{}));
                    if (owner->waitForStarted(5000)) {
                        owner->write(image ? png : QStringLiteral("copy %1").arg(copies).toUtf8());
                        owner->closeWriteChannel();
                        ++copies;
                    }
                    QTest::qWait(120);
                }
            }
            ::kill(pid_t(rig.program.processId()), SIGKILL);
            QVERIFY(rig.program.waitForFinished(10000));
            QCOMPARE(rig.program.exitStatus(), QProcess::CrashExit);
            checkFiles(rig, settingsBefore, false);
            // Copy owners that have lost the clipboard have ended; the rest end with the test.
            std::erase_if(owners, [](const auto &p) { return p->state() == QProcess::NotRunning; });
        }

        // A last ordinary run reads everything the kills left, sets nothing aside, and ends cleanly.
        const QByteArray settingsBefore = drill::readAll(rig.defaultsPath());
        const QByteArray historyBefore = drill::readAll(m_history);
        driver.moveTo(100, screen.height() - 100);
        rig.start();
        QVERIFY2(rig.program.waitForStarted(10000), qPrintable(rig.program.errorString()));
        QVERIFY2(QTest::qWaitFor([] { return drill::looksCollapsed(drill::notchBox()); }, 20000),
                 rig.program.readAllStandardError().constData());
        QTest::qWait(3000);
        ProgramRig::stop(rig.program);
        QCOMPARE(rig.program.exitStatus(), QProcess::NormalExit);
        checkFiles(rig, settingsBefore, true);
        for (const auto &owner : owners)
            ProgramRig::stop(*owner);
        const auto rows = decodeHistory(drill::readAll(m_history));
        QVERIFY(rows);
        qInfo("tried: %d kills, %d copies, %d drags; after them %zu clipboard rows (%lld bytes before the last run), "
              "%lld shelf entries",
              kills, copies, drags, rows->size(), qlonglong(historyBefore.size()),
              qlonglong(QDir(m_shelf).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size()));
        QVERIFY2(m_faults.isEmpty(), qPrintable(m_faults.join(QLatin1Char('\n'))));
        qInfo("held: settings, notes, clipboard history and pictures, shelf each old or new and whole; nothing set aside");
    }
};

int main(int argc, char **argv)
{
    return tavrenhold::test::runOnPrivateDisplay<KillWritesTest>(argc, argv);
}

#include "tst_killwrites.moc"
