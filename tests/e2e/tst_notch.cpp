// labels: x11 e2e
// The built program on a private X display (with openbox) and a private session bus: the pointer,
// moved through XTEST, opens and closes the notch; clicks beside it reach the window below; a
// full-screen window hides the collapsed bar; a second start hands over and shows the settings; a
// termination signal ends it cleanly. What the notch looks like is read from screenshots of the root
// window.
#include "x11/X11TestSupport.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMouseEvent>
#include <QPainter>
#include <QRasterWindow>
#include <QScreen>

#include <memory>

using tavrenhold::test::dieWithParent;
using tavrenhold::test::Openbox;
using tavrenhold::test::XDriver;

namespace {

// A plain window of one colour that records where it was pressed.
class ColourWindow final : public QRasterWindow {
public:
    explicit ColourWindow(QColor colour) : m_colour(colour) {}
    QList<QPoint> presses;

protected:
    void paintEvent(QPaintEvent *) override { QPainter(this).fillRect(QRect(QPoint(), size()), m_colour); }
    void mousePressEvent(QMouseEvent *event) override { presses.append(event->globalPosition().toPoint()); }

private:
    QColor m_colour;
};

const QColor backdropColour(70, 150, 220);
const QColor fullScreenColour(60, 190, 90);

bool isDark(QRgb pixel)
{
    return qMax(qRed(pixel), qMax(qGreen(pixel), qBlue(pixel))) < 80;
}

// The dark pixels in the upper part of the screen around its centre, where the notch hangs.
struct DarkArea {
    QRect box;
    int pixels = 0;
};

} // namespace

class NotchEndToEndTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        m_screen = QGuiApplication::primaryScreen()->geometry();
        m_centreX = m_screen.center().x() + 1; // the middle of an even width
        startBus();
        QVERIFY(!m_busAddress.isEmpty());
        QVERIFY(m_openbox.start(m_driver.connection()));

        // The desktop the notch hangs over: a full-screen window of one colour, left alone by the
        // window manager, there before the program starts.
        m_backdrop = std::make_unique<ColourWindow>(backdropColour);
        m_backdrop->setFlags(Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
        m_backdrop->setGeometry(m_screen);
        m_backdrop->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_backdrop.get()));

        // The user's folders, with the open panel drawn dark.
        QVERIFY(QDir().mkpath(m_home.filePath(QStringLiteral("config/app.tavrenhold"))));
        QFile defaults(m_home.filePath(QStringLiteral("config/app.tavrenhold/defaults.json")));
        QVERIFY(defaults.open(QIODevice::WriteOnly));
        defaults.write(QJsonDocument(QJsonObject{{QStringLiteral("style.theme"), QStringLiteral("dark")}}).toJson());
        defaults.close();
        QVERIFY(QDir().mkpath(m_home.filePath(QStringLiteral("runtime"))));
        QFile::setPermissions(m_home.filePath(QStringLiteral("runtime")), QFileDevice::ReadOwner
                                                                         | QFileDevice::WriteOwner
                                                                         | QFileDevice::ExeOwner);

        m_driver.moveTo(100, m_screen.height() - 100); // far from the notch
        startProgram(m_program);
        QVERIFY2(m_program.waitForStarted(10000), qPrintable(m_program.errorString()));
        QVERIFY2(QTest::qWaitFor([&] { return isCollapsed(darkArea()); }, 20000), qPrintable(report()));
    }

    void cleanupTestCase()
    {
        stop(m_program);
        stop(m_secondStart);
        m_fullScreen.reset();
        m_backdrop.reset();
        m_openbox.stop();
        stop(m_bus);
    }

    void collapsedBarHangsFromTheTopCentre()
    {
        const DarkArea area = darkArea();
        QVERIFY2(isCollapsed(area), qPrintable(report()));
        QCOMPARE(area.box.top(), 0);
        // The stand-in notch, 200 wide at the top centre, lies wholly inside it (the bar reaches
        // farther on the side of the wider wing).
        QVERIFY2(area.box.left() <= m_centreX - 100 + 2 && area.box.right() >= m_centreX + 100 - 2, qPrintable(report()));
    }

    void pointerAtTheTopOpensAndLeavingCloses()
    {
        // Up to the top edge above the notch: the surface opens to the expanded width.
        m_driver.moveTo(m_centreX, 300);
        m_driver.moveTo(m_centreX, 0);
        QVERIFY2(QTest::qWaitFor([&] { return isExpanded(darkArea()); }, 10000), qPrintable(report()));
        const DarkArea open = darkArea();
        QVERIFY2(qAbs(open.box.width() - 520) <= 8, qPrintable(report()));
        QVERIFY2(qAbs(open.box.center().x() - m_centreX) <= 2, qPrintable(report()));

        // Over the open surface it stays open.
        m_driver.moveTo(m_centreX - 200, open.box.bottom() - 20);
        QTest::qWait(600);
        QVERIFY2(isExpanded(darkArea()), qPrintable(report()));

        // Away from it: closed again after the grace period.
        m_driver.moveTo(m_centreX, m_screen.height() - 100);
        QVERIFY2(QTest::qWaitFor([&] { return isCollapsed(darkArea()); }, 10000), qPrintable(report()));
    }

    // Wandering over the open surface keeps it open; leaving it closes it, whichever way it is left:
    // far down, sideways over the panel's window beside the surface, or with a button held.
    void wanderingOverTheOpenSurfaceAndLeaving_data()
    {
        QTest::addColumn<QPoint>("exit");      // from the top centre
        QTest::addColumn<bool>("buttonHeld");
        QTest::newRow("far below") << QPoint(0, 600) << false;
        QTest::newRow("beside, over the panel's window") << QPoint(-330, 150) << false;
        QTest::newRow("dragged out") << QPoint(-500, 600) << true;
    }

    void wanderingOverTheOpenSurfaceAndLeaving()
    {
        QFETCH(QPoint, exit);
        QFETCH(bool, buttonHeld);
        m_driver.moveTo(m_centreX, 300);
        m_driver.moveTo(m_centreX, 0);
        QVERIFY2(QTest::qWaitFor([&] { return isExpanded(darkArea()); }, 10000), qPrintable(report()));

        // Back and forth over the panes and the pills, as a hand does.
        for (int i = 0; i <= 40; ++i) {
            const int step = i % 20 <= 10 ? i % 20 : 20 - i % 20;
            m_driver.moveTo(m_centreX - 200 + 40 * step, 60 + 15 * step);
            QTest::qWait(20);
        }
        QTest::qWait(600);
        QVERIFY2(isExpanded(darkArea()), qPrintable(report()));

        if (buttonHeld) {
            m_driver.moveTo(m_centreX - 200, 40); // above the pills, where a press does nothing
            m_driver.press(1);
        }
        m_driver.moveTo(m_centreX + exit.x(), exit.y());
        if (buttonHeld) {
            // Held, it stays open wherever the pointer went; let go, it closes.
            QTest::qWait(600);
            QVERIFY2(isExpanded(darkArea()), qPrintable(report()));
            m_driver.release(1);
        }
        QVERIFY2(QTest::qWaitFor([&] { return isCollapsed(darkArea()); }, 10000), qPrintable(report()));
        m_driver.moveTo(100, m_screen.height() - 100);
    }

    void clickBesideTheSurfaceReachesTheWindowBelow()
    {
        // Inside the panel's window, beside the collapsed bar.
        const QPoint beside(m_centreX - 300, 20);
        m_backdrop->presses.clear();
        m_driver.moveTo(beside.x(), 200);
        m_driver.moveTo(beside.x(), beside.y());
        m_driver.press(1);
        m_driver.release(1);
        QVERIFY2(QTest::qWaitFor([&] { return !m_backdrop->presses.isEmpty(); }, 5000), qPrintable(report()));
        QCOMPARE(m_backdrop->presses.constFirst(), beside);

        // On the open surface the click is the notch's.
        m_driver.moveTo(m_centreX, 0);
        QVERIFY2(QTest::qWaitFor([&] { return isExpanded(darkArea()); }, 10000), qPrintable(report()));
        m_backdrop->presses.clear();
        m_driver.moveTo(m_centreX - 240, 200);
        m_driver.press(1);
        m_driver.release(1);
        QTest::qWait(300);
        QVERIFY(m_backdrop->presses.isEmpty());

        m_driver.moveTo(m_centreX, m_screen.height() - 100);
        QVERIFY2(QTest::qWaitFor([&] { return isCollapsed(darkArea()); }, 10000), qPrintable(report()));
    }

    void fullScreenWindowHidesTheCollapsedBar()
    {
        // The desktop goes below the window manager's windows (it was left above them).
        const uint32_t below = XCB_STACK_MODE_BELOW;
        xcb_configure_window(m_driver.c(), xcb_window_t(m_backdrop->winId()), XCB_CONFIG_WINDOW_STACK_MODE, &below);
        m_driver.sync();

        m_fullScreen = std::make_unique<ColourWindow>(fullScreenColour);
        m_fullScreen->setTitle(QStringLiteral("full screen"));
        m_fullScreen->showFullScreen();
        QVERIFY(QTest::qWaitForWindowExposed(m_fullScreen.get()));
        QVERIFY2(QTest::qWaitFor([&] { return darkArea().pixels == 0; }, 10000), qPrintable(report()));
        // What shows at the top centre is the full-screen window.
        const QImage shot = screenshot();
        QCOMPARE(QColor(shot.pixel(m_centreX, 10)), fullScreenColour);

        // The pointer still opens the notch over it.
        m_driver.moveTo(m_centreX, 0);
        QVERIFY2(QTest::qWaitFor([&] { return isExpanded(darkArea()); }, 10000), qPrintable(report()));
        m_driver.moveTo(m_centreX, m_screen.height() - 100);
        QVERIFY2(QTest::qWaitFor([&] { return darkArea().pixels == 0; }, 10000), qPrintable(report()));

        // Leaving full screen brings the bar back.
        m_fullScreen->showNormal();
        m_fullScreen->hide();
        QVERIFY2(QTest::qWaitFor([&] { return isCollapsed(darkArea()); }, 10000), qPrintable(report()));
    }

    void secondStartHandsOverAndShowsSettings()
    {
        startProgram(m_secondStart);
        QVERIFY(m_secondStart.waitForFinished(20000));
        QCOMPARE(m_secondStart.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_secondStart.exitCode(), 0);
        QVERIFY2(QTest::qWaitFor([&] { return settingsWindowShown(); }, 10000), qPrintable(report()));
        QCOMPARE(m_program.state(), QProcess::Running);
    }

    void terminationSignalEndsCleanly()
    {
        m_program.terminate(); // SIGTERM
        QVERIFY(m_program.waitForFinished(15000));
        QCOMPARE(m_program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_program.exitCode(), 0);
        // Every child (the media-remote adapter's among them) was ended before its owner went.
        const QByteArray errors = m_program.readAllStandardError();
        QVERIFY2(!errors.contains("QProcess: Destroyed while process"), errors.constData());
        // The panel is gone with it.
        QVERIFY2(QTest::qWaitFor([&] { return darkArea().pixels == 0; }, 5000), qPrintable(report()));
    }

private:
    void startBus()
    {
        dieWithParent(m_bus);
        m_bus.start(QStringLiteral("dbus-daemon"),
                    {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        if (!m_bus.waitForStarted(5000))
            return;
        QByteArray out;
        while (!out.contains('\n')) {
            if (!m_bus.waitForReadyRead(10000))
                return;
            out += m_bus.readAllStandardOutput();
        }
        m_busAddress = QString::fromUtf8(out.trimmed());
    }

    void startProgram(QProcess &process)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), qEnvironmentVariable("DISPLAY"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_busAddress);
        env.insert(QStringLiteral("HOME"), m_home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), m_home.filePath(QStringLiteral("cache")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home.filePath(QStringLiteral("runtime")));
        env.remove(QStringLiteral("XAUTHORITY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        process.setProcessEnvironment(env);
        dieWithParent(process);
        process.start(QStringLiteral(TAVRENHOLD_BINARY), {});
    }

    static void stop(QProcess &process)
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(5000))
            process.kill();
        process.waitForFinished(2000);
    }

    QImage screenshot() const { return QGuiApplication::primaryScreen()->grabWindow(0).toImage(); }

    DarkArea darkArea() const
    {
        const QImage shot = screenshot().convertToFormat(QImage::Format_RGB32);
        DarkArea area;
        const int left = qMax(0, m_centreX - 420);
        const int right = qMin(shot.width() - 1, m_centreX + 420);
        const int bottom = qMin(shot.height() - 1, 600);
        int minX = right + 1, maxX = -1, minY = bottom + 1, maxY = -1;
        for (int y = 0; y <= bottom; ++y) {
            const auto *line = reinterpret_cast<const QRgb *>(shot.constScanLine(y));
            for (int x = left; x <= right; ++x) {
                if (!isDark(line[x]))
                    continue;
                ++area.pixels;
                minX = qMin(minX, x);
                maxX = qMax(maxX, x);
                minY = qMin(minY, y);
                maxY = qMax(maxY, y);
            }
        }
        if (area.pixels > 0)
            area.box = QRect(QPoint(minX, minY), QPoint(maxX, maxY));
        return area;
    }

    // The collapsed bar: 44 high, at least the stand-in notch's 200 wide, far from the open width.
    static bool isCollapsed(const DarkArea &area)
    {
        return area.pixels > 0 && qAbs(area.box.height() - 44) <= 4 && area.box.width() >= 196
            && area.box.width() < 420;
    }
    // The open surface: the expanded width and far taller than the bar.
    static bool isExpanded(const DarkArea &area)
    {
        return area.pixels > 0 && qAbs(area.box.width() - 520) <= 8 && area.box.height() > 200;
    }

    bool settingsWindowShown() const
    {
        QProcess search;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), qEnvironmentVariable("DISPLAY"));
        search.setProcessEnvironment(env);
        search.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                 QStringLiteral("--name"), QStringLiteral("^Tavrenhold Settings$")});
        return search.waitForFinished(5000) && search.exitCode() == 0 && !search.readAllStandardOutput().isEmpty();
    }

    QString report()
    {
        const DarkArea area = darkArea();
        QString text = QStringLiteral("dark area %1,%2 %3x%4 (%5 px)")
                           .arg(area.box.x())
                           .arg(area.box.y())
                           .arg(area.box.width())
                           .arg(area.box.height())
                           .arg(area.pixels);
        const QByteArray errors = m_program.readAllStandardError();
        if (!errors.isEmpty())
            text += QStringLiteral("\nprogram: ") + QString::fromLocal8Bit(errors);
        return text;
    }

    XDriver m_driver;
    Openbox m_openbox;
    QProcess m_bus;
    QString m_busAddress;
    QTemporaryDir m_home;
    QProcess m_program;
    QProcess m_secondStart;
    std::unique_ptr<ColourWindow> m_backdrop;
    std::unique_ptr<ColourWindow> m_fullScreen;
    QRect m_screen;
    int m_centreX = 0;
};

int main(int argc, char **argv)
{
    return tavrenhold::test::runOnPrivateDisplay<NotchEndToEndTest>(argc, argv);
}

#include "tst_notch.moc"
