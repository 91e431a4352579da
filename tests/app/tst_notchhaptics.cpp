// labels: unit
#include "app/NotchHaptics.h"
#include "platform/Defaults.h"

#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

using namespace tavrenhold;
using platform::Defaults;

class NotchHapticsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void isEnabled_data()
    {
        QTest::addColumn<QByteArray>("stored"); // JSON under "notch.haptics"; empty: absent
        QTest::addColumn<bool>("enabled");
        QTest::newRow("absent") << QByteArray() << true;
        QTest::newRow("false") << QByteArray("false") << false;
        QTest::newRow("true") << QByteArray("true") << true;
        QTest::newRow("number 0") << QByteArray("0") << false;
        QTest::newRow("number 1") << QByteArray("1") << true;
        QTest::newRow("number 2 is no boolean") << QByteArray("2") << true;
        QTest::newRow("text false is no boolean") << QByteArray("\"false\"") << true;
        QTest::newRow("list is no boolean") << QByteArray("[false]") << true;
        QTest::newRow("null is no boolean") << QByteArray("null") << true;
    }
    void isEnabled()
    {
        QFETCH(QByteArray, stored);
        QFETCH(bool, enabled);
        QTemporaryDir dir;
        const QString path = dir.filePath("defaults.json");
        if (!stored.isEmpty()) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("{\"notch.haptics\": " + stored + "}");
        }
        const Defaults defaults(path);
        QCOMPARE(NotchHaptics::isEnabled(defaults), enabled);
    }

    // The switch in the standard defaults is read on every call, as the settings window changes it.
    void followsTheStandardDefaults()
    {
        Defaults &standard = Defaults::standard();
        QVERIFY(standard.filePath().startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")));
        QVERIFY(NotchHaptics::isEnabled());
        standard.set("notch.haptics", false);
        QVERIFY(!NotchHaptics::isEnabled());
        NotchHaptics::perform(NotchHaptics::Pattern::alignment);
        standard.set("notch.haptics", true);
        QVERIFY(NotchHaptics::isEnabled());
        NotchHaptics::perform(NotchHaptics::Pattern::generic);
    }
};

int main(int argc, char **argv)
{
    // The standard defaults live in this temporary folder, never in the user's own.
    QTemporaryDir home;
    for (const char *var : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        qputenv(var, QFile::encodeName(home.filePath(QString::fromLatin1(var))));
    QGuiApplication app(argc, argv);
    NotchHapticsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_notchhaptics.moc"
