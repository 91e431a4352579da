// labels: unit
#include "platform/FullScreenProbe.h"

#include <QTest>

using namespace tavrenhold::platform;

Q_DECLARE_METATYPE(FullScreenSnapshot)

namespace {
// Two screens side by side; the notch is on the left one.
const QRect notchScreen(0, 0, 1512, 982);
const QRect otherScreen(1512, 0, 1920, 1080);

ClientWindow normal(const QRect &frame)
{
    return {frame, false, false, true};
}
ClientWindow fullScreen(const QRect &screen)
{
    return {screen, true, false, true};
}
ClientWindow minimised(ClientWindow window)
{
    window.hidden = true;
    return window;
}
ClientWindow unmapped(ClientWindow window)
{
    window.viewable = false;
    return window;
}
} // namespace

class FullScreenDecisionTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void decision_data()
    {
        QTest::addColumn<FullScreenSnapshot>("snapshot");
        QTest::addColumn<bool>("expected");
        const ClientWindow editor = normal(QRect(100, 100, 800, 600));
        const ClientWindow video = fullScreen(notchScreen);

        QTest::newRow("full-screen window on top") << FullScreenSnapshot{true, {editor, video}, notchScreen} << true;
        QTest::newRow("another window raised above it")
            << FullScreenSnapshot{true, {video, editor}, notchScreen} << false;
        QTest::newRow("no clients") << FullScreenSnapshot{true, {}, notchScreen} << false;
        QTest::newRow("no window manager: its states may be stale")
            << FullScreenSnapshot{false, {editor, video}, notchScreen} << false;
        QTest::newRow("no screen") << FullScreenSnapshot{true, {editor, video}, QRect()} << false;
        QTest::newRow("window on the other screen above it does not count")
            << FullScreenSnapshot{true, {video, normal(QRect(1600, 100, 800, 600))}, notchScreen} << true;
        QTest::newRow("full screen only on the other screen")
            << FullScreenSnapshot{true, {editor, fullScreen(otherScreen)}, notchScreen} << false;
        QTest::newRow("minimised full-screen window on top is skipped")
            << FullScreenSnapshot{true, {editor, minimised(video)}, notchScreen} << false;
        QTest::newRow("minimised window above the full-screen one is skipped")
            << FullScreenSnapshot{true, {video, minimised(editor)}, notchScreen} << true;
        QTest::newRow("window of another desktop above it is skipped")
            << FullScreenSnapshot{true, {video, unmapped(editor)}, notchScreen} << true;
        QTest::newRow("full-screen window of another desktop")
            << FullScreenSnapshot{true, {editor, unmapped(video)}, notchScreen} << false;
        QTest::newRow("window reaching over from the other screen, centre there")
            << FullScreenSnapshot{true, {video, normal(QRect(1400, 100, 800, 600))}, notchScreen} << true;
        QTest::newRow("window reaching over from the other screen, centre here")
            << FullScreenSnapshot{true, {video, normal(QRect(1000, 100, 800, 600))}, notchScreen} << false;
        QTest::newRow("zero-sized window above it is skipped")
            << FullScreenSnapshot{true, {video, normal(QRect(10, 10, 0, 0))}, notchScreen} << true;
        QTest::newRow("full screen on a screen right of the primary")
            << FullScreenSnapshot{true, {fullScreen(otherScreen)}, otherScreen} << true;
    }

    void decision()
    {
        QFETCH(FullScreenSnapshot, snapshot);
        QFETCH(bool, expected);
        QCOMPARE(showsFullScreen(snapshot), expected);
    }
};

QTEST_GUILESS_MAIN(FullScreenDecisionTest)
#include "tst_fullscreendecision.moc"
