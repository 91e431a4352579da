// labels: e2e
// Started without an X display, the program says so and ends with an error instead of crashing.
#include <QProcess>
#include <QTest>

class NoDisplayTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void saysSoAndFails_data()
    {
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("named");
        QTest::newRow("DISPLAY unset") << QString() << QStringLiteral("DISPLAY is not set");
        QTest::newRow("nobody at the display") << QStringLiteral(":4711") << QStringLiteral("\":4711\"");
    }
    void saysSoAndFails()
    {
        QFETCH(QString, display);
        QFETCH(QString, named);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM")); // the program's own choice, X11
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        if (!display.isEmpty())
            env.insert(QStringLiteral("DISPLAY"), display);
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(TAVRENHOLD_BINARY), {});
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit); // no crash, no abort
        QVERIFY(program.exitCode() != 0);
        const QString error = QString::fromLocal8Bit(program.readAllStandardError());
        QVERIFY2(error.contains(named), qPrintable(error));
        QVERIFY2(error.contains(QStringLiteral("X11")), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(NoDisplayTest)
#include "tst_nodisplay.moc"
