// labels: unit
#include "FileKinds.h"

#include "platform/InstallLayout.h"
#include "platform/LoginService.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace tavrenhold::platform;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(tavrenhold::platform::LoginStatus)

namespace {
void writeFile(const QString &path, const QByteArray &bytes, bool executable = false)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
    if (executable)
        QVERIFY(f.setPermissions(f.permissions() | QFile::ExeOwner | QFile::ExeUser));
}

// An installed prefix under `root`: bin/tavrenhold and share/tavrenhold/.
QString makePrefix(const QString &root, const QString &name)
{
    const QString prefix = root + u'/' + name;
    writeFile(prefix + "/bin/tavrenhold", "#!/bin/sh\n", true);
    QDir().mkpath(prefix + "/share/tavrenhold");
    return prefix;
}

// The keys of the entry's [Desktop Entry] group, as written.
QMap<QString, QString> entryKeys(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QMap<QString, QString> keys;
    const QStringList lines = QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
    if (lines.value(0) != QLatin1String("[Desktop Entry]"))
        return {};
    for (const QString &line : lines.mid(1))
        keys.insert(line.section(u'=', 0, 0), line.section(u'=', 1));
    return keys;
}
} // namespace

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public Q_SLOTS:
    void open(const QUrl &url) { opened.append(url); }
};

class LoginServiceTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        // A fresh configuration folder per test: the autostart folder lies inside it.
        m_config = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config->filePath("config")));
        QVERIFY(XdgAutostartService::entryPath().startsWith(m_config->path()));
    }

    void installLayout_data()
    {
        QTest::addColumn<QString>("setup"); // files made under the prefix; a trailing / makes a folder
        QTest::addColumn<bool>("installed");
        QTest::newRow("installed") << "bin/tavrenhold share/tavrenhold/" << true;
        QTest::newRow("no share folder") << "bin/tavrenhold share/" << false;
        QTest::newRow("share entry is a file") << "bin/tavrenhold share/tavrenhold" << false;
        QTest::newRow("build tree") << "bin/tavrenhold share/tavrenhold/ CMakeCache.txt" << false;
    }
    void installLayout()
    {
        QFETCH(QString, setup);
        QFETCH(bool, installed);
        QTemporaryDir root;
        const QString prefix = root.filePath("opt/tavrenhold");
        for (const QString &item : setup.split(u' ')) {
            if (item.endsWith(u'/'))
                QVERIFY(QDir().mkpath(prefix + u'/' + item));
            else
                writeFile(prefix + u'/' + item, "x");
        }
        const InstallLayout layout(prefix + "/bin/tavrenhold");
        QCOMPARE(layout.isInstalled(), installed);
        QCOMPARE(layout.prefix(), prefix);
        QCOMPARE(layout.binary(), prefix + "/bin/tavrenhold");
        QCOMPARE(layout.libexecDir(), prefix + "/libexec/tavrenhold");
        QCOMPARE(layout.shareDir(), prefix + "/share/tavrenhold");
    }

    void noLayoutIsNotInstalled()
    {
        QVERIFY(!InstallLayout(QString()).isInstalled());
        QVERIFY(!InstallLayout("/tavrenhold").isInstalled());
        // This test runs from the build tree, which is no installed prefix.
        QVERIFY(!InstallLayout::current().isInstalled());
    }

    void registerRoundTrip_data()
    {
        QTest::addColumn<QString>("prefixName");
        QTest::newRow("plain") << "usr";
        QTest::newRow("blanks") << "my apps/Tavrenhold 1";
        QTest::newRow("shell characters") << R"(a "quoted" $HOME `x`)";
        QTest::newRow("backslash and percent") << R"(back\slash 100% %U)";
        QTest::newRow("non-ASCII") << "Präfix ✓";
    }
    void registerRoundTrip()
    {
        QFETCH(QString, prefixName);
        QTemporaryDir root;
        const QString prefix = makePrefix(root.path(), prefixName);
        XdgAutostartService service{InstallLayout(prefix + "/bin/tavrenhold")};
        QVERIFY(service.runsFromInstalledPrefix());
        QCOMPARE(service.status(), LoginStatus::notRegistered);

        QVERIFY(service.registerApp().ok());

        const QString path = m_config->filePath("config/autostart/app.tavrenhold.desktop");
        QCOMPARE(XdgAutostartService::entryPath(), path);
        const auto keys = entryKeys(path);
        QCOMPARE(keys.value("Type"), QString("Application"));
        QCOMPARE(keys.value("Name"), QString("Tavrenhold"));
        QCOMPARE(XdgAutostartService::programOfExec(keys.value("Exec")), std::optional(prefix + "/bin/tavrenhold"));
        QCOMPARE(service.status(), LoginStatus::enabled);
        // Registering again rewrites the same entry.
        QVERIFY(service.registerApp().ok());
        QCOMPARE(QDir(m_config->filePath("config/autostart")).entryList(QDir::Files),
                 QStringList{"app.tavrenhold.desktop"});

        QVERIFY(service.unregisterApp().ok());
        QVERIFY(!QFile::exists(path));
        QCOMPARE(service.status(), LoginStatus::notRegistered);
        QVERIFY(service.unregisterApp().ok());
    }

    // The desktop's own validator accepts the entry, also for a path that needs quoting.
    void entryIsValid()
    {
        const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
        if (validator.isEmpty())
            QSKIP("desktop-file-validate is not installed (scripts/bootstrap installs desktop-file-utils)");
        QTemporaryDir root;
        const QString prefix = makePrefix(root.path(), R"(odd "dir" $x 50%)");
        XdgAutostartService service{InstallLayout(prefix + "/bin/tavrenhold")};
        QVERIFY(service.registerApp().ok());
        QProcess validate;
        validate.start(validator, {XdgAutostartService::entryPath()});
        QVERIFY(validate.waitForFinished(10000));
        const QByteArray output = validate.readAllStandardOutput() + validate.readAllStandardError();
        QVERIFY2(validate.exitCode() == 0 && !output.contains("error"), output.constData());
    }

    void refusedRegistrations_data()
    {
        QTest::addColumn<QString>("prefixName");
        QTest::addColumn<bool>("buildTree");
        QTest::addColumn<int>("error");
        QTest::newRow("build tree") << "build" << true << int(LoginError::notInstalled);
        QTest::newRow("line break in the path") << "two\nlines" << false << int(LoginError::unsafePath);
        QTest::newRow("tab in the path") << "tab\there" << false << int(LoginError::unsafePath);
    }
    void refusedRegistrations()
    {
        QFETCH(QString, prefixName);
        QFETCH(bool, buildTree);
        QFETCH(int, error);
        QTemporaryDir root;
        const QString prefix = makePrefix(root.path(), prefixName);
        if (buildTree)
            writeFile(prefix + "/CMakeCache.txt", "");
        XdgAutostartService service{InstallLayout(prefix + "/bin/tavrenhold")};

        const auto result = service.registerApp();
        QVERIFY(!result.ok());
        QCOMPARE(int(result.error()), error);
        QVERIFY(!QFile::exists(XdgAutostartService::entryPath()));
        QCOMPARE(service.status(), LoginStatus::notRegistered);
    }

    // Entries found in the autostart folder, whoever wrote them. %BIN% stands for an existing program.
    void status_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<LoginStatus>("status");
        QTest::newRow("enabled") << QByteArray("[Desktop Entry]\nType=Application\nExec=%BIN%\n") << LoginStatus::enabled;
        QTest::newRow("with arguments") << QByteArray("[Desktop Entry]\nExec=%BIN% --quiet %U\n") << LoginStatus::enabled;
        QTest::newRow("switched off: Hidden")
            << QByteArray("[Desktop Entry]\nExec=%BIN%\nHidden=true\n") << LoginStatus::requiresApproval;
        QTest::newRow("switched off: GNOME")
            << QByteArray("[Desktop Entry]\nExec=%BIN%\nX-GNOME-Autostart-enabled=false\n")
            << LoginStatus::requiresApproval;
        QTest::newRow("Hidden in another group does not count")
            << QByteArray("[Desktop Entry]\nExec=%BIN%\n[Desktop Action x]\nHidden=true\n") << LoginStatus::enabled;
        QTest::newRow("program gone") << QByteArray("[Desktop Entry]\nExec=/nonexistent/bin/tavrenhold\n")
                                      << LoginStatus::notFound;
        QTest::newRow("relative program") << QByteArray("[Desktop Entry]\nExec=tavrenhold\n") << LoginStatus::notFound;
        QTest::newRow("unclosed quote") << QByteArray("[Desktop Entry]\nExec=\"%BIN%\n") << LoginStatus::notFound;
        QTest::newRow("no Exec") << QByteArray("[Desktop Entry]\nType=Application\n") << LoginStatus::notFound;
        QTest::newRow("not a desktop entry") << QByteArray("\x00\x01garbage", 9) << LoginStatus::notFound;
    }
    void status()
    {
        QFETCH(QByteArray, content);
        QFETCH(LoginStatus, status);
        QTemporaryDir root;
        const QString program = makePrefix(root.path(), "usr") + "/bin/tavrenhold";
        writeFile(XdgAutostartService::entryPath(), QByteArray(content).replace("%BIN%", program.toUtf8()));
        XdgAutostartService service{InstallLayout(program)};
        QCOMPARE(service.status(), status);
        // Whatever is there, unregistering removes it.
        QVERIFY(service.unregisterApp().ok());
        QCOMPARE(service.status(), LoginStatus::notRegistered);
    }

    // Something other than a regular file in the entry's place reads as no usable entry at once,
    // and unregistering removes it.
    void statusOfAnEntryThatIsNoRegularFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("fifo") << "fifo";
        QTest::newRow("link to /dev/zero") << "link to /dev/zero";
        QTest::newRow("folder") << "folder";
    }
    void statusOfAnEntryThatIsNoRegularFile()
    {
        QFETCH(QString, kind);
        QTemporaryDir root;
        const QString program = makePrefix(root.path(), "usr") + "/bin/tavrenhold";
        QVERIFY(QDir().mkpath(XdgAutostartService::autostartDir()));
        const QString path = XdgAutostartService::entryPath();
        QVERIFY(tavrenhold::test::makeFileKind(path, kind));
        XdgAutostartService service{InstallLayout(program)};
        LoginStatus status = LoginStatus::enabled;
        QVERIFY(tavrenhold::test::returnsWithin([&] { status = service.status(); }, 20s,
                                                kind == QLatin1String("fifo") ? path : QString()));
        QCOMPARE(status, LoginStatus::notFound);
        if (kind != QLatin1String("folder")) {
            QVERIFY(service.unregisterApp().ok());
            QCOMPARE(service.status(), LoginStatus::notRegistered);
        }
    }

    void openSettingsShowsTheAutostartFolder()
    {
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler("file", &catcher, "open");
        XdgAutostartService service{InstallLayout(QString())};
        service.openSettings();
        QDesktopServices::unsetUrlHandler("file");
        QCOMPARE(catcher.opened, QList<QUrl>{QUrl::fromLocalFile(XdgAutostartService::autostartDir())});
        QVERIFY(QFileInfo(XdgAutostartService::autostartDir()).isDir());
        QVERIFY(!QFile::exists(XdgAutostartService::entryPath()));
    }

private:
    std::unique_ptr<QTemporaryDir> m_config;
};

int main(int argc, char **argv)
{
    // Nothing here may reach the user's own configuration or autostart folder.
    QTemporaryDir home;
    for (const char *var : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        qputenv(var, QFile::encodeName(home.filePath(QString::fromLatin1(var))));
    QGuiApplication app(argc, argv);
    LoginServiceTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_loginservice.moc"
