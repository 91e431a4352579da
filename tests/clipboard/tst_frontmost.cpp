// labels: unit
// Naming the application in front from its window's GTK application ID or WM_CLASS, through the
// desktop entries of a private data folder.
#include "platform/x11/X11FrontmostApplication.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

using namespace tavrenhold::platform;

class FrontmostTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_data;

    void entry(const QString &relative, const QByteArray &body)
    {
        const QString path = m_data.filePath(QStringLiteral("applications/") + relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Desktop Entry]\nType=Application\nExec=/bin/true\n" + body);
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("XDG_DATA_HOME", m_data.path().toUtf8());
        qputenv("XDG_DATA_DIRS", m_data.filePath(QStringLiteral("none")).toUtf8());
        entry(QStringLiteral("org.keepassxc.KeePassXC.desktop"), "Name=KeePassXC\nStartupWMClass=keepassxc\n");
        entry(QStringLiteral("org.gnome.TextEditor.desktop"), "Name=Text Editor\n");
        entry(QStringLiteral("firefox-esr.desktop"), "Name=Firefox ESR\n");
        entry(QStringLiteral("vendor/bitwarden.desktop"), "Name=Bitwarden\nStartupWMClass=Bitwarden\n");
        entry(QStringLiteral("mislabelled.desktop"), "Name=Other\n[Desktop Action x]\nStartupWMClass=Firefox-esr\n");
    }

    void match_data()
    {
        QTest::addColumn<QString>("gtkID");
        QTest::addColumn<QString>("instance");
        QTest::addColumn<QString>("wmClass");
        QTest::addColumn<QString>("bundle");
        QTest::addColumn<QString>("name");
        QTest::newRow("GTK application ID") << "org.gnome.TextEditor" << "gnome-text-editor" << "Gnome-text-editor"
                                             << "org.gnome.TextEditor" << "Text Editor";
        QTest::newRow("StartupWMClass, any case") << "" << "keepassxc" << "KeePassXC" << "org.keepassxc.KeePassXC"
                                                   << "KeePassXC";
        QTest::newRow("entry in a sub-folder") << "" << "bitwarden" << "bitwarden" << "vendor-bitwarden" << "Bitwarden";
        QTest::newRow("file ID, any case; actions' keys ignored") << "" << "Navigator" << "Firefox-esr" << "firefox-esr"
                                                                   << "Firefox ESR";
        QTest::newRow("unknown GTK ID falls back to the class") << "org.example.Gone" << "keepassxc" << "KeePassXC"
                                                                 << "org.keepassxc.KeePassXC" << "KeePassXC";
        QTest::newRow("no entry: the class stands in") << "" << "xterm" << "XTerm" << "XTerm" << "XTerm";
    }
    void match()
    {
        QFETCH(QString, gtkID);
        QFETCH(QString, instance);
        QFETCH(QString, wmClass);
        QFETCH(QString, bundle);
        QFETCH(QString, name);
        const RunningApplication app = x11::X11FrontmostApplication::match(gtkID, instance, wmClass);
        QCOMPARE(app.bundleIdentifier, bundle);
        QCOMPARE(app.localizedName, name);
    }
};

QTEST_GUILESS_MAIN(FrontmostTest)
#include "tst_frontmost.moc"
