// Tavrenhold: a live surface at the top centre of the screen.

#include "app/AppDelegate.h"
#include "app/LoginItem.h"
#include "app/NotchSettings.h"
#include "app/PanePreferences.h"
#include "app/SettingsWindowController.h"
#include "clipboard/ClipboardPane.h"
#include "clipboard/ClipboardService.h"
#include "design/Appearance.h"
#include "drop/DropPane.h"
#include "focus/FocusPane.h"
#include "music/MusicPane.h"
#include "notes/NotesPane.h"
#include "nowplaying/AdapterChild.h"
#include "nowplaying/AdapterStream.h"
#include "nowplaying/AppleScriptSource.h"
#include "nowplaying/NowPlayingCoordinator.h"
#include "nowplaying/SystemNowPlayingSource.h"
#include "platform/AudioSystem.h"
#include "platform/Defaults.h"
#include "platform/DragPasteboard.h"
#include "platform/FullScreenProbe.h"
#include "platform/PanelWindowSystem.h"
#include "platform/PointerMonitor.h"
#include "platform/RuntimeFolder.h"
#include "platform/SceneBackend.h"
#include "platform/SingleInstance.h"
#include "platform/SystemAppearance.h"
#include "platform/Updater.h"
#include "shell/NotchController.h"
#include "shell/ScreenSource.h"
#include "usage/UsagePane.h"
#include "usage/UsageStore.h"

#include <QApplication>
#include <QQuickWindow>
#include <QSocketNotifier>
#include <QtQml/qqmlextensionplugin.h>

#include <csignal>
#include <malloc.h>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

Q_IMPORT_QML_PLUGIN(Tavrenhold_DesignPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_AppPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_ShellPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_MusicPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_ClipboardPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_NotesPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_DropPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_FocusPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_UsagePlugin)

using namespace tavrenhold;

namespace {
int signalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] auto n = ::write(signalPipe[1], &byte, 1);
}

// SIGTERM, SIGINT and SIGHUP end the program through the same path as "Quit Tavrenhold".
void routeTerminationSignals(QApplication &app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
        char byte = 0;
        [[maybe_unused]] auto n = ::read(signalPipe[0], &byte, 1);
        QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &action, nullptr);
}

// The notch lives on X11 (on a Wayland desktop through its X server): unless told otherwise, Qt is
// asked for its X11 platform, and then the display must answer before the application is made (Qt
// would abort without a word of use).
bool usesX11()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    return platform.isEmpty() || platform == "xcb" || platform.startsWith("xcb:");
}

AppDelegate::Parts realParts(NotchControllerEnvironment &environment, platform::AudioSystem &audio)
{
    AppDelegate::Parts parts;
    parts.makeMusic = [&audio] {
        // The system source first, then the Apple Events source, then the coordinator that owns both,
        // then the pane that owns the coordinator.
        auto *system = new SystemNowPlayingSource;
        auto *fallback = new AppleScriptSource;
        auto *coordinator = new NowPlayingCoordinator(system, fallback);
        return std::make_unique<MusicPane>(coordinator, Clock::system(), nullptr, &audio);
    };
    parts.makeDrop = [] { return std::make_unique<DropPane>(DropPane::standardDirectory(), Clock::system()); };
    parts.makeNotes = [] {
        // Read on a worker: the notes are needed only once the bar or the pane shows them.
        return std::make_unique<NotesPane>(
            std::make_unique<NotesStore>(NotesStore::defaultPath(), Clock::system(), NotesStore::Loading::onWorker));
    };
    parts.makeFocus = [] { return std::make_unique<FocusPane>(platform::Defaults::standard(), Clock::system()); };
    parts.makeClipboard = [] { return std::make_unique<ClipboardPane>(ClipboardService::shared()); };
    // The usage store starts here: it reads the stored connections and the keyring, then polls.
    parts.makeUsage = [] {
        auto pane = std::make_unique<UsagePane>(UsageStore::shared());
        pane->setOpenSettings([] { SettingsWindowController::shared().show(); });
        return pane;
    };
    parts.applyLoginDefault = [] { LoginItem::shared().applyDefaultOnFirstLaunch(platform::Defaults::standard()); };
    parts.makeUpdater = [] { return platform::Updater::create(); };
    parts.makeNotch = [&environment](std::vector<NotchPane *> panes) -> std::unique_ptr<NotchControl> {
        return std::make_unique<NotchController>(std::move(panes), environment);
    };
    parts.startClipboard = [] { ClipboardService::shared().start(); };
    parts.appearance = &environment.systemAppearance;
    return parts;
}
} // namespace

int main(int argc, char *argv[])
{
    platform::settleRuntimeFolder();
    // Large blocks (a big artwork, a long title, a burst of players) are always mapped apart and go
    // back to the system when freed: glibc otherwise raises its threshold after the first such free
    // and keeps later ones in the heap, so memory would stay high after big input went.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    mallopt(M_TRIM_THRESHOLD, 512 * 1024);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    if (usesX11()) {
        const QByteArray display = qgetenv("DISPLAY");
        const auto graphics = platform::probeDisplay(display);
        if (!graphics) {
            if (display.isEmpty())
                std::fprintf(stderr, "tavrenhold: no X display: DISPLAY is not set. Start Tavrenhold from an X11 "
                                     "desktop session.\n");
            else
                std::fprintf(stderr, "tavrenhold: cannot open the X display \"%s\". Start Tavrenhold from an X11 "
                                     "desktop session.\n",
                             display.constData());
            return 1;
        }
        // Without a GPU, OpenGL would be a software rasteriser: Qt Quick's own software scene
        // graph draws the same for a fraction of the memory and threads.
        if (platform::chooseSceneBackend(*graphics) == platform::SceneBackend::software)
            QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    }
    // Text is antialiased in grey whatever draws it: OpenGL would otherwise colour glyph edges for an
    // LCD, which the software scene graph never does and which fringes on the translucent notch.
    if (qEnvironmentVariableIsEmpty("QSG_DISTANCEFIELD_ANTIALIASING"))
        qputenv("QSG_DISTANCEFIELD_ANTIALIASING", "gray");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tavrenhold"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tavrenhold"));
    QApplication::setApplicationVersion(QStringLiteral(TAVRENHOLD_VERSION));
    // An accessory: closing a window never ends the program; the status menu and signals do.
    QApplication::setQuitOnLastWindowClosed(false);
    routeTerminationSignals(app);

    // One program per session: a second start asks the first to show its settings and ends.
    platform::SingleInstance instance;
    switch (instance.claim()) {
    case platform::SingleInstance::Claim::primary:
        break;
    case platform::SingleInstance::Claim::reopenedOther:
        return 0;
    case platform::SingleInstance::Claim::otherUnreachable:
        std::fprintf(stderr, "tavrenhold: another Tavrenhold holds this session but does not answer.\n");
        return 1;
    }

    // The display's services for the notch.
    const std::unique_ptr<platform::PointerMonitor> pointer = platform::PointerMonitor::create();
    const std::unique_ptr<platform::DragPasteboard> drag = platform::DragPasteboard::create();
    const std::unique_ptr<platform::PanelWindowSystem> windows = platform::PanelWindowSystem::create();
    QtScreenSource screens;
    NotchControllerEnvironment environment{
        .pointer = *pointer,
        .drag = *drag,
        .windows = *windows,
        .screens = screens,
        .makeFullScreenProbe = [] { return platform::FullScreenProbe::create(); },
        .settings = NotchSettings::shared(),
        .preferences = PanePreferences::shared(),
        .defaults = platform::Defaults::standard(),
        .systemAppearance = platform::SystemAppearance::shared(),
        .appearance = Appearance::shared(),
        .clock = Clock::system(),
        .makeRootView = [](NotchPanel &panel, NotchShellModel &model, NotchHitBox &hitBox, NotchPanel::HoverHandler hover) {
            return NotchPanel::makeRootView(panel, model, hitBox, NotchSettings::shared(), std::move(hover));
        },
    };

    // The sound server the Music pane's volume and output picker talk to; it outlives the panes. It is
    // reached when the Music pane's services start, after the first frame.
    const std::unique_ptr<platform::AudioSystem> audio =
        platform::AudioSystem::makePulse({}, platform::AudioSystem::Start::later);

    AppDelegate delegate(realParts(environment, *audio));
    QObject::connect(&instance, &platform::SingleInstance::reopenRequested, &delegate, &AppDelegate::reopen);
    // Without its session bus the program can no longer be found by a later start, which would run a
    // second notch beside this one, nor follow its players: it ends the ordinary way, with a failure.
    QObject::connect(&instance, &platform::SingleInstance::busLost, &app, [] {
        std::fprintf(stderr, "tavrenhold: the session bus is gone; ending.\n");
        QCoreApplication::exit(1);
    });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate, &AppDelegate::willTerminate);
    delegate.didFinishLaunching();

    const int status = app.exec();
    // The delegate has stopped the notch and its services; the adapter children they ended (and any
    // still running) are reaped now, before their owners and the application go.
    adapterchild::endAll(AdapterStream::stopGrace);
    SettingsWindowController::shared().releaseWindow();
    return status;
}
