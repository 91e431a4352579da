// labels: x11 e2e
// The built program with something other than a settings file at the settings path: it starts
// from the defaults, the collapsed bar shows, the thing is left as it was, and a termination
// signal ends the program with status 0.
#include "ProgramRig.h"
#include "../platform/FileKinds.h"

using tavrenhold::test::ProgramRig;
using tavrenhold::test::XDriver;

namespace {
// The visible windows of ours, each as its place on the screen.
QList<QRect> ourWindows(XDriver &driver)
{
    QProcess search;
    search.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                             QStringLiteral("--classname"), QStringLiteral("tavrenhold")});
    if (!search.waitForFinished(10000))
        return {};
    return tavrenhold::test::windowPlaces(driver, search.readAllStandardOutput());
}
} // namespace

class HostileSettingsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startsFromDefaults_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("fifo") << "fifo";
        QTest::newRow("link to /dev/zero") << "link to /dev/zero";
    }
    void startsFromDefaults()
    {
        QFETCH(QString, kind);
        ProgramRig rig;
        XDriver driver;
        QVERIFY(rig.startBus());
        QVERIFY(QDir().mkpath(QFileInfo(rig.defaultsPath()).absolutePath()));
        QVERIFY(tavrenhold::test::makeFileKind(rig.defaultsPath(), kind));
        const mode_t type = tavrenhold::test::fileType(rig.defaultsPath());
        rig.start();
        QVERIFY2(rig.program.waitForStarted(10000), qPrintable(rig.program.errorString()));

        // The collapsed bar: a window of ours at the top of the screen.
        const auto barShown = [&] {
            for (const QRect &r : ourWindows(driver)) {
                if (r.top() == 0 && r.width() >= 100)
                    return true;
            }
            return false;
        };
        const bool shown = QTest::qWaitFor(barShown, 30000);
        if (!shown && kind == QLatin1String("fifo")) {
            // Release a program blocked on the FIFO so that it can end.
            const int fd = ::open(QFile::encodeName(rig.defaultsPath()).constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
        }
        QVERIFY2(shown, rig.program.readAllStandardError().constData());
        QCOMPARE(rig.program.state(), QProcess::Running);

        rig.program.terminate();
        QVERIFY(rig.program.waitForFinished(10000));
        QCOMPARE(rig.program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(rig.program.exitCode(), 0);
        QCOMPARE(tavrenhold::test::fileType(rig.defaultsPath()), type);
        QCOMPARE(QDir(QFileInfo(rig.defaultsPath()).absolutePath())
                     .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden),
                 QStringList{QStringLiteral("defaults.json")});
    }
};

int main(int argc, char **argv)
{
    return tavrenhold::test::runOnPrivateDisplay<HostileSettingsTest>(argc, argv);
}

#include "tst_hostilesettings.moc"
