// labels: x11 e2e usage
// The web engine stays out of the built program: with the bar shown, the AI Usage pane open and a
// vendor's sign-in window running in its child program, the program itself has not mapped Qt
// WebEngine's core library (the child has).
#include "ProgramRig.h"

#include <QDirIterator>
#include <QImage>
#include <QPainter>
#include <QRasterWindow>
#include <QScreen>

#include <memory>

using tavrenhold::test::Openbox;
using tavrenhold::test::ProgramRig;
using tavrenhold::test::XDriver;

namespace {

// A plain window of one colour under the notch, so the dark surface shows against it.
class Backdrop final : public QRasterWindow {
protected:
    void paintEvent(QPaintEvent *) override { QPainter(this).fillRect(QRect(QPoint(), size()), QColor(70, 150, 220)); }
};

// Whether the screen is dark at `at`: the notch's surface covers it.
bool darkAt(QPoint at)
{
    const QRgb p = QGuiApplication::primaryScreen()->grabWindow(0, at.x(), at.y(), 1, 1).toImage().pixel(0, 0);
    return qMax(qRed(p), qMax(qGreen(p), qBlue(p))) < 80;
}

// The process's mapped files that name the web engine's core library.
QByteArrayList webEngineMaps(qint64 pid)
{
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    if (!maps.open(QIODevice::ReadOnly))
        return {QByteArray("(cannot read maps)")};
    QByteArrayList found;
    for (const QByteArray &line : maps.readAll().split('\n')) {
        if (line.contains("libQt6WebEngineCore"))
            found << line;
    }
    return found;
}

// The running children of `parent` whose command name starts so.
QList<qint64> childrenNamed(qint64 parent, const QByteArray &name)
{
    QList<qint64> found;
    QDirIterator it(QStringLiteral("/proc"), QDir::Dirs | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        bool ok = false;
        const qint64 pid = it.next().section(u'/', -1).toLongLong(&ok);
        if (!ok)
            continue;
        QFile stat(it.filePath() + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (comm) state ppid ...": the name may hold spaces and parentheses; the last ')' ends it.
        const QByteArray text = stat.readAll();
        const qsizetype open = text.indexOf('('), close = text.lastIndexOf(')');
        if (open < 0 || close < open)
            continue;
        const QList<QByteArray> rest = text.mid(close + 2).split(' ');
        if (rest.size() > 1 && rest.at(0) != "Z" && rest.at(1).toLongLong() == parent
            && text.mid(open + 1, close - open - 1).startsWith(name))
            found << pid;
    }
    return found;
}

} // namespace

class WebEngineOutTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void programNeverMapsTheWebEngine()
    {
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        const int centreX = screen.center().x() + 1;
        XDriver driver;
        Openbox openbox;
        ProgramRig rig;
        QVERIFY(rig.startBus());
        QVERIFY(openbox.start(driver.connection()));
        Backdrop backdrop;
        backdrop.setFlags(Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
        backdrop.setGeometry(screen);
        backdrop.show();
        QVERIFY(QTest::qWaitForWindowExposed(&backdrop));

        // Every vendor's pages are on a local port where nothing listens: no sign-in leaves the machine.
        QFile endpoints(rig.home.filePath(QStringLiteral("endpoints.json")));
        QVERIFY(endpoints.open(QIODevice::WriteOnly));
        QJsonObject hosts;
        for (const char *key : {"openai.web", "anthropic.web", "google.web", "google.accounts", "cursor.web",
                                "cursor.authenticator"})
            hosts.insert(QLatin1String(key), QStringLiteral("http://127.0.0.1:9"));
        endpoints.write(QJsonDocument(hosts).toJson());
        endpoints.close();
        qputenv("TAVRENHOLD_USAGE_ENDPOINTS", endpoints.fileName().toUtf8());

        // The AI Usage pane is the one the notch opens on; the open panel is dark.
        QVERIFY(rig.writeDefaults(QJsonObject{{QStringLiteral("shell.focusedPane"), QStringLiteral("usage")},
                                              {QStringLiteral("style.theme"), QStringLiteral("dark")}}));
        driver.moveTo(100, screen.height() - 100); // far from the notch
        rig.start();
        QVERIFY2(rig.program.waitForStarted(10000), qPrintable(rig.program.errorString()));
        const qint64 pid = rig.program.processId();

        // The collapsed bar.
        QVERIFY2(QTest::qWaitFor([&] { return darkAt(QPoint(centreX, 4)); }, 30000),
                 rig.program.readAllStandardError().constData());
        QCOMPARE(webEngineMaps(pid), QByteArrayList());

        // The pointer at the top opens the notch on the AI Usage pane.
        driver.moveTo(centreX, 300);
        driver.moveTo(centreX, 0);
        QVERIFY2(QTest::qWaitFor([&] { return darkAt(QPoint(centreX, 110)); }, 30000),
                 rig.program.readAllStandardError().constData());
        QCOMPARE(webEngineMaps(pid), QByteArrayList());
        driver.moveTo(centreX, screen.height() - 100);
        backdrop.hide(); // it would stay above the settings window

        // A second start shows the settings; on the AI Usage tab, the first vendor's Connect opens
        // its sign-in window in a child program, which maps the web engine.
        QProcess second;
        rig.start(second);
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitCode(), 0);
        QRect settings;
        QVERIFY(QTest::qWaitFor(
            [&] {
                QProcess search;
                search.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                          QStringLiteral("--name"), QStringLiteral("^Tavrenhold Settings")});
                search.waitForFinished(10000);
                const QList<QRect> places = tavrenhold::test::windowPlaces(driver, search.readAllStandardOutput());
                settings = places.value(0);
                return settings.isValid();
            },
            15000));
        connectFirstVendor(driver, settings);
        QList<qint64> signIn;
        QVERIFY2(QTest::qWaitFor([&] { return !(signIn = childrenNamed(pid, "tavrenhold-sign")).isEmpty(); }, 30000),
                 "no sign-in program was started");
        QVERIFY(QTest::qWaitFor([&] { return !webEngineMaps(signIn.constFirst()).isEmpty(); }, 90000));
        QCOMPARE(webEngineMaps(pid), QByteArrayList());

        rig.program.terminate();
        QVERIFY(rig.program.waitForFinished(10000));
        QCOMPARE(rig.program.exitCode(), 0);
    }

private:
    // Clicks the AI Usage tab of the settings window at `window`, then the first vendor's button.
    static void connectFirstVendor(XDriver &driver, const QRect &window);
};

void WebEngineOutTest::connectFirstVendor(XDriver &driver, const QRect &window)
{
    // The window manager places and draws the window first.
    QTest::qWait(500);
    // The AI Usage tab, right of the centre of the tab bar; its page lists the vendors in
    // alphabetical order, Anthropic's "Sign In…" button first, at the right of the first row.
    driver.click(window.x() + window.width() / 2 + 72, window.y() + 8 + 12);
    QTest::qWait(500);
    driver.click(window.x() + window.width() - 66, window.y() + 203);
}

int main(int argc, char **argv) { return tavrenhold::test::runOnPrivateDisplay<WebEngineOutTest>(argc, argv); }

#include "tst_webengineout.moc"
