// labels: drill x11 e2e
// The built program fed hostile sizes: a 10 MB settings file, 10,000 notes, a shelf of 5,000
// entries, a player with a 1 MB title and a 50 MB artwork, and 50 players appearing and vanishing.
// It stays responsive (the notch opens on hover within a generous ceiling), its memory comes back
// to within 10 % once the input is gone, and no file is lost: a file above its bound is set aside
// whole, never deleted.
#include "DrillSupport.h"
#include "peers/MprisCrowd.h"

#include "notes/NoteRecord.h"

#include <QDBusObjectPath>
#include <QRandomGenerator>

using namespace tavrenhold;
using tavrenhold::test::MprisCrowd;
using tavrenhold::test::Openbox;
using tavrenhold::test::ProgramRig;
using tavrenhold::test::XDriver;
namespace drill = tavrenhold::test::drill;

namespace {
constexpr int kHoverCeilingMs = 10000;

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}
} // namespace

class HostileSizesTest : public QObject {
    Q_OBJECT

    XDriver m_driver;
    Openbox m_openbox;
    std::unique_ptr<drill::Backdrop> m_backdrop;

    // Starts the program with the pointer away from the notch and waits for the collapsed bar.
    bool startProgram(ProgramRig &rig)
    {
        m_driver.moveTo(100, QGuiApplication::primaryScreen()->geometry().height() - 100);
        rig.start();
        if (!rig.program.waitForStarted(10000))
            return false;
        const bool shown = QTest::qWaitFor([] { return drill::looksCollapsed(drill::notchBox()); }, 60000);
        QTest::qWait(1000); // the pointer monitor settles
        return shown;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_openbox.start(m_driver.connection()));
        m_backdrop = std::make_unique<drill::Backdrop>();
        m_backdrop->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_backdrop.get()));
    }
    void cleanupTestCase()
    {
        m_backdrop.reset();
        m_openbox.stop();
    }

    // Each big file there at start, its pane in front.
    void bigFiles_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("ceilingMs");
        QTest::newRow("10 MB settings") << QStringLiteral("settings") << kHoverCeilingMs;
        // The Notes list builds only the tiles in sight, so 10,000 notes open like the rest.
        QTest::newRow("10,000 notes") << QStringLiteral("notes") << kHoverCeilingMs;
        QTest::newRow("5,000 shelf entries") << QStringLiteral("shelf") << kHoverCeilingMs;
    }
    void bigFiles()
    {
        QFETCH(QString, kind);
        QFETCH(int, ceilingMs);
        ProgramRig rig;
        QVERIFY(rig.startBus());
        const QString notesPath = rig.home.filePath(QStringLiteral("data/app.tavrenhold/notes.json"));
        const QString shelf = rig.home.filePath(QStringLiteral("cache/app.tavrenhold/DropShelf"));
        QByteArray big;
        if (kind == QLatin1String("settings")) {
            big = QJsonDocument(QJsonObject{{QStringLiteral("style.theme"), QStringLiteral("dark")},
                                            {QStringLiteral("drill.filler"), QString(10 << 20, QLatin1Char('x'))}})
                      .toJson(QJsonDocument::Compact);
            QVERIFY(writeFile(rig.defaultsPath(), big));
        } else if (kind == QLatin1String("notes")) {
            QVERIFY(rig.writeDefaults({{QStringLiteral("style.theme"), QStringLiteral("dark")},
                                       {QStringLiteral("shell.focusedPane"), QStringLiteral("notes")}}));
            std::vector<NoteRecord> notes;
            for (int i = 0; i < 10000; ++i)
                notes.push_back({QUuid::createUuid(), QStringLiteral("Note %1").arg(i),
                                 QStringLiteral("line one of %1\nline two").arg(i), 800000000.0 + i});
            big = encodeNotes(notes).value();
            QVERIFY(writeFile(notesPath, big));
        } else {
            QVERIFY(rig.writeDefaults({{QStringLiteral("style.theme"), QStringLiteral("dark")},
                                       {QStringLiteral("shell.focusedPane"), QStringLiteral("drop")}}));
            QVERIFY(QDir().mkpath(shelf));
            for (int i = 0; i < 5000; ++i) {
                QVERIFY(writeFile(shelf + QLatin1Char('/') + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()
                                      + QStringLiteral("-file%1.txt").arg(i),
                                  QByteArray::number(i)));
            }
        }

        QElapsedTimer started;
        started.start();
        QVERIFY2(startProgram(rig), rig.program.readAllStandardError().constData());
        const qint64 upAfter = started.elapsed();
        const qint64 first = drill::hoverOpens(m_driver, ceilingMs);
        const qint64 second = drill::hoverOpens(m_driver, kHoverCeilingMs);
        qInfo("%s: bar after %lld ms, notch opened after %lld ms and %lld ms, %lld KiB resident", qPrintable(kind),
              qlonglong(upAfter), qlonglong(first), qlonglong(second), qlonglong(drill::residentKiB(rig.program.processId())));
        QVERIFY2(first >= 0 && second >= 0, "the notch did not open on hover");
        QCOMPARE(rig.program.state(), QProcess::Running);
        ProgramRig::stop(rig.program);
        QCOMPARE(rig.program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(rig.program.exitCode(), 0);

        if (kind == QLatin1String("settings")) {
            // Above the bound: set aside whole beside the new settings, never deleted.
            const QString folder = QFileInfo(rig.defaultsPath()).absolutePath();
            const QStringList aside = QDir(folder).entryList({QStringLiteral("defaults.corrupt.*.json")}, QDir::Files);
            QCOMPARE(aside.size(), 1);
            QVERIFY(drill::readAll(folder + QLatin1Char('/') + aside.first()) == big);
            qInfo("held: the settings file was set aside whole as %s", qPrintable(aside.first()));
        } else if (kind == QLatin1String("notes")) {
            QVERIFY2(drill::readAll(notesPath) == big, "the notes file changed");
            QCOMPARE(QDir(QFileInfo(notesPath).absolutePath()).entryList({QStringLiteral("*.corrupt.*")}), QStringList());
            qInfo("held: the 10,000 notes read and kept as they were");
        } else {
            QCOMPARE(QDir(shelf).entryList(QDir::Files | QDir::NoDotAndDotDot).size(), 5000);
            qInfo("held: all 5,000 shelf entries kept");
        }
    }

    // A player with a 1 MB title and a 50 MB artwork, then 50 players coming and going, on the
    // program's session bus.
    void playersOfHostileSize()
    {
        drill::PrivateBus bus;
        QVERIFY2(bus.start(), "dbus-daemon did not start");
        ProgramRig rig;
        QVERIFY(rig.useSessionBus());
        QVERIFY(rig.writeDefaults({{QStringLiteral("style.theme"), QStringLiteral("dark")},
                                   {QStringLiteral("shell.focusedPane"), QStringLiteral("music")}}));
        QVERIFY2(startProgram(rig), rig.program.readAllStandardError().constData());
        const qint64 pid = rig.program.processId();

        // The baseline: the program with its panes made once and an ordinary track shown once (so
        // what the playing face builds the first time is not counted as kept), at rest.
        MprisCrowd crowd(drill::PrivateBus::connection());
        crowd.metadata = {{QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath("/drill/track/0"))},
                          {QStringLiteral("xesam:title"), QStringLiteral("Warm-up")},
                          {QStringLiteral("xesam:artist"), QStringList{QStringLiteral("Drill")}},
                          {QStringLiteral("mpris:length"), qlonglong(200'000'000)}};
        QVERIFY(crowd.appear(QStringLiteral("warmup")));
        QTest::qWait(2000);
        QVERIFY(drill::hoverOpens(m_driver, kHoverCeilingMs) >= 0);
        crowd.vanish(QStringLiteral("warmup"));
        QTest::qWait(3000);
        const qint64 baseline = drill::residentKiB(pid);

        const QString art = rig.home.filePath(QStringLiteral("files/cover.jpg"));
        {
            QByteArray bytes(50 << 20, '\0');
            QRandomGenerator(3).fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
            bytes.replace(0, 3, QByteArray("\xFF\xD8\xFF", 3)); // starts like a JPEG
            QVERIFY(writeFile(art, bytes));
        }
        crowd.metadata = {{QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath("/drill/track/1"))},
                          {QStringLiteral("xesam:title"), QString(1 << 20, QLatin1Char('T'))},
                          {QStringLiteral("xesam:artist"), QStringList{QStringLiteral("Drill")}},
                          {QStringLiteral("mpris:length"), qlonglong(200'000'000)},
                          {QStringLiteral("mpris:artUrl"), QUrl::fromLocalFile(art).toString()}};
        QVERIFY(crowd.appear(QStringLiteral("drill")));
        QTest::qWait(3000);
        qint64 peak = drill::residentKiB(pid);
        const qint64 withBig = drill::hoverOpens(m_driver, kHoverCeilingMs);

        // 50 players appearing and vanishing, three times over.
        crowd.metadata[QStringLiteral("xesam:title")] = QStringLiteral("Crowd");
        for (int wave = 0; wave < 3; ++wave) {
            for (int i = 0; i < 50; ++i) {
                QVERIFY(crowd.appear(QStringLiteral("crowd%1").arg(i)));
                QTest::qWait(20);
            }
            QTest::qWait(1000);
            peak = qMax(peak, drill::residentKiB(pid));
            for (int i = 0; i < 50; ++i) {
                crowd.vanish(QStringLiteral("crowd%1").arg(i));
                QTest::qWait(20);
            }
        }
        const qint64 withCrowd = drill::hoverOpens(m_driver, kHoverCeilingMs);

        // The input goes; memory must come back (read until it does, within a ceiling).
        crowd.vanishAll();
        QTest::qWait(3000);
        QVERIFY(drill::hoverOpens(m_driver, kHoverCeilingMs) >= 0);
        // Within 10 %, with a floor of 8 MiB for what the allocator and the glyph caches keep.
        const qint64 allowance = qMax(baseline / 10, qint64(8192));
        qint64 after = -1;
        (void)QTest::qWaitFor(
            [&] {
                after = drill::residentKiB(pid);
                return after <= baseline + allowance;
            },
            30000);
        qInfo("players: opened after %lld ms with the big player, %lld ms with the crowd; resident %lld KiB at rest, "
              "%lld KiB at the peak, %lld KiB after (%+.1f %%)",
              qlonglong(withBig), qlonglong(withCrowd), qlonglong(baseline), qlonglong(peak), qlonglong(after),
              100.0 * double(after - baseline) / double(baseline));
        QVERIFY2(withBig >= 0 && withCrowd >= 0, "the notch did not open on hover");
        QVERIFY2(after <= baseline + allowance, "memory did not come back");
        // At rest again it uses no processor time to speak of.
        const qint64 idleFrom = drill::cpuTicks(pid);
        QTest::qWait(3000);
        const double idleCpu = double(drill::cpuTicks(pid) - idleFrom) / drill::ticksPerSecond();
        QVERIFY2(idleCpu < 0.6, qPrintable(QStringLiteral("%1 s of processor time in 3 s at rest").arg(idleCpu)));
        QCOMPARE(rig.program.state(), QProcess::Running);
        ProgramRig::stop(rig.program);
        QCOMPARE(rig.program.exitCode(), 0);
        qInfo("held: responsive throughout, memory back, %.2f s processor time in 3 s at rest", idleCpu);
    }
};

int main(int argc, char **argv)
{
    return tavrenhold::test::runOnPrivateDisplay<HostileSizesTest>(argc, argv);
}

#include "tst_hostilesizes.moc"
