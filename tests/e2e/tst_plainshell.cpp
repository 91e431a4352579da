// labels: e2e x11
// The program and its tools started from a plain shell, one without a login session's
// XDG_RUNTIME_DIR: nothing on standard error the user did not cause, and the fallback runtime
// folder (under the temporary folder) is private to the user.
#include "ProgramRig.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <unistd.h>

using tavrenhold::test::ProgramRig;

class PlainShellTest : public QObject {
    Q_OBJECT

    tavrenhold::test::XvfbServer m_display;
    ProgramRig m_rig; // its home and private session bus

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_display.start(), "Xvfb did not start");
        QVERIFY(m_rig.startBus());
    }

    void quietWithoutRuntimeFolder_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("stays"); // runs until ended, once its window shows
        QTest::newRow("the program") << QStringLiteral(TAVRENHOLD_BINARY) << QStringList() << true;
        QTest::newRow("notch-preview") << QStringLiteral(NOTCH_PREVIEW)
                                       << QStringList{QStringLiteral("--phase"), QStringLiteral("expanded"),
                                                      QStringLiteral("--pane"), QStringLiteral("notes"),
                                                      QStringLiteral("--out"), QStringLiteral("shot.png")}
                                       << false;
        QTest::newRow("audio-outputs") << QStringLiteral(AUDIO_OUTPUTS)
                                       << QStringList{QStringLiteral("list"), QStringLiteral("--wait"), QStringLiteral("200")}
                                       << false;
        QTest::newRow("signin-preview") << QStringLiteral(SIGNIN_PREVIEW)
                                        << QStringList{QStringLiteral("--vendor"), QStringLiteral("nobody")} << false;
    }
    void quietWithoutRuntimeFolder()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(bool, stays);
        QTemporaryDir temp; // the temporary folder of this run, where the fallback goes
        QVERIFY(temp.isValid());
        const QString home = m_rig.home.path();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"XDG_RUNTIME_DIR", "QT_QPA_PLATFORM", "XAUTHORITY", "WAYLAND_DISPLAY", "PULSE_SERVER",
                                 "QT_LOGGING_RULES"})
            env.remove(QLatin1String(name));
        env.insert(QStringLiteral("TMPDIR"), temp.path());
        env.insert(QStringLiteral("DISPLAY"), QString::fromUtf8(m_display.display()));
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_rig.busAddress());
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/cache"));
        // No sound server answers: the tool says nothing of it.
        env.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:") + temp.filePath(QStringLiteral("no-server")));
        QProcess process;
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(temp.path());
        tavrenhold::test::dieWithParent(process);
        process.start(program, arguments);
        QVERIFY2(process.waitForStarted(10000), qPrintable(process.errorString()));
        if (stays) {
            QVERIFY2(QTest::qWaitFor(
                         [&] {
                             QProcess search;
                             search.setProcessEnvironment(env);
                             search.start(QStringLiteral("xdotool"),
                                          {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                           QStringLiteral("--name"), QStringLiteral("^Tavrenhold$")});
                             return process.state() != QProcess::Running
                                 || (search.waitForFinished(10000) && !search.readAllStandardOutput().trimmed().isEmpty());
                         },
                         60000),
                     "the program's window never showed");
            QCOMPARE(process.state(), QProcess::Running);
            process.terminate();
        }
        QVERIFY(process.waitForFinished(60000));
        const QString said = QString::fromLocal8Bit(process.readAllStandardError());
        QVERIFY2(!said.contains(QLatin1String("XDG_RUNTIME_DIR")) && !said.contains(QLatin1String("QStandardPaths")),
                 qPrintable(said));

        // Where the runtime files went instead: a folder of the user's own, closed to others.
        const QFileInfoList made = QDir(temp.path()).entryInfoList({QStringLiteral("runtime-*")}, QDir::AllEntries | QDir::System);
        for (const QFileInfo &folder : made) {
            QVERIFY(folder.isDir() && !folder.isSymLink());
            QCOMPARE(folder.ownerId(), ::geteuid());
            QCOMPARE(folder.permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
                                             | QFile::WriteOther | QFile::ExeOther),
                     QFile::Permissions());
        }
    }
};

QTEST_GUILESS_MAIN(PlainShellTest)
#include "tst_plainshell.moc"
