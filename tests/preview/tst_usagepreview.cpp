// labels: usage
// notch-preview's AI Usage looks: each is drawn, at the size of the surface it shows (the pane is
// 120 points high with no vendor, 168 with vendors connected), and an unknown look is refused
// without writing a picture.
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class UsagePreview : public QObject {
    Q_OBJECT

    QTemporaryDir m_folder;

    // Runs the preview; its exit code, with the picture in `out`.
    int run(const QStringList &arguments, const QString &out)
    {
        QProcess preview;
        preview.start(QStringLiteral(TAVRENHOLD_PREVIEW), arguments + QStringList{QStringLiteral("--out"), out});
        if (!preview.waitForFinished(60000))
            return -1;
        return preview.exitStatus() == QProcess::NormalExit ? preview.exitCode() : -1;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_folder.isValid()); }

    void drawsEachLook_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QSize>("size");
        // 520 points wide plus the margins; the connected looks are 48 points taller than the empty one.
        QTest::newRow("empty") << QStringLiteral("--phase expanded --pane usage --usage empty") << QSize(552, 248);
        QTest::newRow("connected") << QStringLiteral("--phase expanded --pane usage --usage connected") << QSize(552, 296);
        QTest::newRow("refreshing") << QStringLiteral("--phase expanded --pane usage --usage refreshing") << QSize(552, 296);
        QTest::newRow("error") << QStringLiteral("--phase expanded --pane usage --usage error") << QSize(552, 296);
        QTest::newRow("idle, connected")
            << QStringLiteral("--phase idle --pane usage --music none --usage connected") << QSize(278, 60);
    }
    void drawsEachLook()
    {
        QFETCH(QString, arguments);
        QFETCH(QSize, size);
        const QString out = m_folder.filePath(QString::fromLatin1(QTest::currentDataTag()) + QStringLiteral(".png"));
        QCOMPARE(run(arguments.split(u' '), out), 0);
        const QImage picture(out);
        QCOMPARE(picture.size(), size);
        // Something was drawn: the surface is opaque somewhere.
        QVERIFY(picture.pixelColor(size.width() / 2, 8).alpha() > 0);
    }

    void refusesAnUnknownLook()
    {
        const QString out = m_folder.filePath(QStringLiteral("unknown.png"));
        QCOMPARE(run({QStringLiteral("--phase"), QStringLiteral("expanded"), QStringLiteral("--usage"),
                      QStringLiteral("busy")},
                     out),
                 2);
        QVERIFY(!QFile::exists(out));
    }
};

QTEST_GUILESS_MAIN(UsagePreview)
#include "tst_usagepreview.moc"
