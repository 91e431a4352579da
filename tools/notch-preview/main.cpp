// notch-preview: draws the notch surface offscreen and writes it as a PNG, on a transparent
// background at one pixel per point, for a chosen phase, focused pane, theme and sample state.
//
//     notch-preview --phase expanded --pane music --theme light --out shot.png
//
// The panes are the product's own, over sample state made here (a playing track with a generated
// cover, installed players and refused automation as asked, optionally a running focus timer, AI
// usage vendors with made-up plans in any of the usage pane's looks). The
// run keeps its settings in a temporary folder and never reads or writes the user's.

#include "SampleState.h"

#include "app/NotchSettings.h"
#include "app/PanePreferences.h"
#include "clipboard/ClipboardPane.h"
#include "clipboard/ClipboardService.h"
#include "platform/FrontmostApplication.h"
#include "platform/Pasteboard.h"
#include "design/Appearance.h"
#include "design/ArtworkPalette.h"
#include "design/GradientWash.h"
#include "design/Motion.h"
#include "drop/DropPane.h"
#include "focus/FocusPane.h"
#include "music/MusicPane.h"
#include "music/OutputPickerModel.h"
#include "platform/AudioSystem.h"
#include "notes/NotesPane.h"
#include "platform/Defaults.h"
#include "platform/RuntimeFolder.h"
#include "shell/NotchShellModel.h"
#include "usage/UsagePane.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QDir>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

Q_IMPORT_QML_PLUGIN(Tavrenhold_DesignPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_ShellPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_MusicPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_ClipboardPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_NotesPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_DropPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_FocusPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_UsagePlugin)

using namespace tavrenhold;

namespace {

// Room left around the surface, so the flares and corners show against the clear background.
constexpr int margin = 16;

int fail(const QString &message)
{
    QTextStream(stderr) << "notch-preview: " << message << '\n';
    return 2;
}

// The room the open output picker takes below the surface.
constexpr int pickerRoom = 312;

QQuickItem *findItem(QQuickItem *item, const QString &name)
{
    if (item->objectName() == name)
        return item;
    for (QQuickItem *child : item->childItems()) {
        if (QQuickItem *found = findItem(child, name))
            return found;
    }
    return nullptr;
}

// Runs the event loop for `ms`, so frames are drawn and queued work is done.
void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The window as drawn, with real transparency: drawn once over black and once over white, the
// difference between the two is what the background shows through.
QImage grabTransparent(QQuickWindow &window)
{
    window.setColor(Qt::black);
    spin(50);
    const QImage onBlack = window.grabWindow().convertToFormat(QImage::Format_RGB32);
    window.setColor(Qt::white);
    spin(50);
    const QImage onWhite = window.grabWindow().convertToFormat(QImage::Format_RGB32);
    window.setColor(Qt::transparent);
    if (onBlack.isNull() || onBlack.size() != onWhite.size())
        return {};
    QImage out(onBlack.size(), QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        const auto *b = reinterpret_cast<const QRgb *>(onBlack.constScanLine(y));
        const auto *w = reinterpret_cast<const QRgb *>(onWhite.constScanLine(y));
        auto *o = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const int through = (qRed(w[x]) - qRed(b[x])) + (qGreen(w[x]) - qGreen(b[x])) + (qBlue(w[x]) - qBlue(b[x]));
            const int alpha = std::clamp(255 - (through + 1) / 3, 0, 255);
            if (alpha == 0) {
                o[x] = qRgba(0, 0, 0, 0);
                continue;
            }
            // Over black the colour is premultiplied by alpha: divide it out.
            const auto straight = [alpha](int c) { return std::clamp(c * 255 / alpha, 0, 255); };
            o[x] = qRgba(straight(qRed(b[x])), straight(qGreen(b[x])), straight(qBlue(b[x])), alpha);
        }
    }
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    tavrenhold::platform::settleRuntimeFolder();
    // Offscreen and at one pixel per point, whatever the environment says.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    qunsetenv("QT_SCALE_FACTOR");
    qunsetenv("QT_SCREEN_SCALE_FACTORS");
    // Text antialiased in grey on every scene graph, as the program draws it.
    if (qEnvironmentVariableIsEmpty("QSG_DISTANCEFIELD_ANTIALIASING"))
        qputenv("QSG_DISTANCEFIELD_ANTIALIASING", "gray");
    // Settings and caches of this run live in a folder of its own.
    QTemporaryDir home;
    if (!home.isValid())
        return fail(QStringLiteral("cannot make a temporary folder"));
    for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        qputenv(name, home.filePath(QString::fromLatin1(name)).toUtf8());

    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("notch-preview"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Renders the notch surface offscreen to a PNG."));
    parser.addHelpOption();
    const QCommandLineOption phaseOption(QStringLiteral("phase"), QStringLiteral("idle, proximity or expanded."),
                                         QStringLiteral("phase"), QStringLiteral("idle"));
    const QCommandLineOption paneOption(QStringLiteral("pane"),
                                        QStringLiteral("The focused pane: usage, music, clipboard, notes, drop or focus."),
                                        QStringLiteral("pane"), QStringLiteral("music"));
    const QCommandLineOption themeOption(QStringLiteral("theme"), QStringLiteral("light or dark (the open panel)."),
                                         QStringLiteral("theme"), QStringLiteral("dark"));
    const QCommandLineOption materialOption(QStringLiteral("material"),
                                            QStringLiteral("liquidGlass, gradient or solid."),
                                            QStringLiteral("material"), QStringLiteral("liquidGlass"));
    const QCommandLineOption wingsOption(QStringLiteral("collapsed-width"),
                                         QStringLiteral("compact (with wings) or notch (without)."),
                                         QStringLiteral("mode"), QStringLiteral("compact"));
    const QCommandLineOption heightOption(QStringLiteral("collapsed-height"), QStringLiteral("standard or notch."),
                                          QStringLiteral("mode"), QStringLiteral("standard"));
    const QCommandLineOption widthOption(QStringLiteral("expanded-width"), QStringLiteral("440 to 600 points."),
                                         QStringLiteral("points"), QStringLiteral("520"));
    const QCommandLineOption notchOption(QStringLiteral("notch"), QStringLiteral("The notch as WIDTHxHEIGHT points."),
                                         QStringLiteral("size"), QStringLiteral("200x32"));
    const QCommandLineOption musicOption(QStringLiteral("music"), QStringLiteral("playing, paused or none."),
                                         QStringLiteral("state"), QStringLiteral("playing"));
    const QCommandLineOption playersOption(QStringLiteral("players"),
                                           QStringLiteral("Installed players, comma-separated: spotify, appleMusic."),
                                           QStringLiteral("list"));
    const QCommandLineOption issueOption(QStringLiteral("issue"),
                                         QStringLiteral("denied: the player refused automation."), QStringLiteral("issue"));
    const QCommandLineOption titleOption(QStringLiteral("title"), QStringLiteral("The sample track's title."),
                                         QStringLiteral("text"));
    const QCommandLineOption focusOption(QStringLiteral("focus-timer"),
                                         QStringLiteral("A focus round is under way (its ring is pinned)."));
    const QCommandLineOption focusStateOption(QStringLiteral("focus-state"),
                                              QStringLiteral("Loads the focus timer's record from a file."),
                                              QStringLiteral("file"));
    const QCommandLineOption clipboardOption(QStringLiteral("clipboard"),
                                             QStringLiteral("Loads a copy of the clipboard history in this folder "
                                                            "(clipboard-history.json and clipboard-images)."),
                                             QStringLiteral("folder"));
    const QCommandLineOption notesOption(QStringLiteral("notes"),
                                         QStringLiteral("Loads a copy of a notes file into the Notes pane."),
                                         QStringLiteral("file"));
    const QCommandLineOption openNoteOption(QStringLiteral("open-note"),
                                            QStringLiteral("Opens the first note in the editor, as a click would."));
    const QCommandLineOption shelfOption(QStringLiteral("shelf"),
                                         QStringLiteral("Parks every entry of a folder on the drop shelf."),
                                         QStringLiteral("folder"));
    const QCommandLineOption noProgressOption(QStringLiteral("no-progress"),
                                              QStringLiteral("Turns the collapsed progress line off."));
    const QCommandLineOption opaqueOption(QStringLiteral("opaque"),
                                          QStringLiteral("Draws as without a compositor (no translucency)."));
    const QCommandLineOption pickerOption(QStringLiteral("picker"),
                                          QStringLiteral("Opens the Music pane's output picker, over the sound server "
                                                         "(PULSE_SERVER) and Avahi (TAVRENHOLD_AVAHI_BUS); with "
                                                         "--phase expanded --pane music."));
    const QCommandLineOption usageOption(QStringLiteral("usage"),
                                         QStringLiteral("The AI Usage pane: empty (no vendor), connected (sample "
                                                        "vendors), refreshing (a refresh under way) or error (a "
                                                        "vendor's session refused)."),
                                         QStringLiteral("look"), QStringLiteral("empty"));
    const QCommandLineOption outOption(QStringLiteral("out"), QStringLiteral("The PNG to write."), QStringLiteral("file"));
    parser.addOptions({phaseOption, paneOption, themeOption, materialOption, wingsOption, heightOption, widthOption,
                       notchOption, musicOption, playersOption, issueOption, titleOption, focusOption, focusStateOption, clipboardOption, notesOption,
                       openNoteOption, shelfOption, noProgressOption, opaqueOption, pickerOption, usageOption, outOption});
    parser.process(app);

    const QString out = parser.value(outOption);
    if (out.isEmpty())
        return fail(QStringLiteral("--out is required"));

    const QString phaseName = parser.value(phaseOption);
    NotchPhase phase = NotchPhase::idle;
    if (phaseName == QLatin1String("proximity"))
        phase = NotchPhase::proximity;
    else if (phaseName == QLatin1String("expanded"))
        phase = NotchPhase::expanded;
    else if (phaseName != QLatin1String("idle"))
        return fail(QStringLiteral("unknown phase: ") + phaseName);

    const auto pane = paneFromRaw(parser.value(paneOption));
    if (!pane)
        return fail(QStringLiteral("unknown pane: ") + parser.value(paneOption));

    const QString themeName = parser.value(themeOption);
    const auto theme = themeModeFromRaw(themeName);
    if (!theme || *theme == ThemeMode::automatic)
        return fail(QStringLiteral("unknown theme: ") + themeName);
    const auto material = materialModeFromRaw(parser.value(materialOption));
    if (!material)
        return fail(QStringLiteral("unknown material: ") + parser.value(materialOption));

    const QString wings = parser.value(wingsOption);
    if (wings != QLatin1String("compact") && wings != QLatin1String("notch"))
        return fail(QStringLiteral("unknown collapsed width: ") + wings);
    const QString heightMode = parser.value(heightOption);
    if (heightMode != QLatin1String("standard") && heightMode != QLatin1String("notch"))
        return fail(QStringLiteral("unknown collapsed height: ") + heightMode);
    bool widthOk = false;
    const double expandedWidth = parser.value(widthOption).toDouble(&widthOk);
    if (!widthOk)
        return fail(QStringLiteral("not a width: ") + parser.value(widthOption));
    const QStringList notchParts = parser.value(notchOption).split(QLatin1Char('x'));
    bool notchOk = notchParts.size() == 2;
    NotchGeometry geometry;
    if (notchOk) {
        bool a = false, b = false;
        geometry.hardwareWidth = notchParts[0].toDouble(&a);
        geometry.hardwareHeight = notchParts[1].toDouble(&b);
        notchOk = a && b && geometry.hardwareWidth > 0 && geometry.hardwareHeight >= 0;
    }
    if (!notchOk)
        return fail(QStringLiteral("not a notch size: ") + parser.value(notchOption));
    const bool picker = parser.isSet(pickerOption);
    if (picker && (phase != NotchPhase::expanded || *pane != PaneID::music))
        return fail(QStringLiteral("--picker needs --phase expanded --pane music"));
    const QString music = parser.value(musicOption);
    if (music != QLatin1String("playing") && music != QLatin1String("paused") && music != QLatin1String("none"))
        return fail(QStringLiteral("unknown music state: ") + music);
    QList<MusicPlayerOption> players;
    if (parser.isSet(playersOption)) {
        for (const QString &name : parser.value(playersOption).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const auto kind = playerKindFromRaw(name.trimmed());
            if (!kind)
                return fail(QStringLiteral("unknown player: ") + name);
            const MusicPlayerOption option = preview::SamplePublisher::option(*kind);
            if (!players.contains(option))
                players.append(option);
        }
    }
    const auto usageLook = preview::SampleUsage::lookFromRaw(parser.value(usageOption));
    if (!usageLook)
        return fail(QStringLiteral("unknown usage look: ") + parser.value(usageOption));
    const QString issue = parser.value(issueOption);
    if (parser.isSet(issueOption) && issue != QLatin1String("denied"))
        return fail(QStringLiteral("unknown issue: ") + issue);

    // Settings of the run.
    platform::Defaults defaults(home.filePath(QStringLiteral("preview-defaults.json")));
    NotchSettings settings(defaults);
    settings.setCollapsedWidth(wings == QLatin1String("compact") ? CollapsedWidth::compact : CollapsedWidth::notch);
    settings.setCollapsedHeight(heightMode == QLatin1String("standard") ? CollapsedHeight::standard
                                                                         : CollapsedHeight::notch);
    settings.setExpandedWidth(expandedWidth);
    settings.setShowCollapsedProgress(!parser.isSet(noProgressOption));
    PanePreferences preferences(defaults);
    defaults.set(NotchShellModel::focusedPaneKey, rawValue(*pane));
    // The appearance the views read is the shared one, over this run's own folder.
    Appearance::shared().setTheme(*theme);
    Appearance::shared().setMaterial(*material);
    preview::StillAppearance desktop(*theme == ThemeMode::dark);

    // The panes, over sample state.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    NowPlayingState playing = music == QLatin1String("none")
                                  ? NowPlayingState::idle()
                                  : preview::SamplePublisher::track(now, music == QLatin1String("playing"),
                                                                    parser.value(titleOption));
    // Refused automation names the player that refused: the track's, else the first installed one.
    if (parser.isSet(issueOption)) {
        const QString refusing = playing.player ? playing.player->name
                                 : players.isEmpty() ? displayName(PlayerKind::spotify)
                                                     : players.front().name;
        playing.issue = NowPlayingIssue::automationDenied(refusing);
    }
    // With the picker, the pane's outputs are the sound server's; otherwise there is none.
    const std::unique_ptr<platform::AudioSystem> audio =
        picker ? platform::AudioSystem::makePulse() : platform::AudioSystem::makeNeutral();
    MusicPane musicPane(new preview::SamplePublisher(playing, players), Clock::system(), &desktop, audio.get());
    // The clipboard history: a copy of the one given, in this run's own data folder; the clipboard
    // itself is not watched.
    const QString clipboardFolder = home.filePath(QStringLiteral("XDG_DATA_HOME/app.tavrenhold"));
    if (parser.isSet(clipboardOption)) {
        const QDir source(parser.value(clipboardOption));
        QDir().mkpath(clipboardFolder + QStringLiteral("/clipboard-images"));
        QFile::copy(source.filePath(QStringLiteral("clipboard-history.json")),
                    clipboardFolder + QStringLiteral("/clipboard-history.json"));
        const QDir images(source.filePath(QStringLiteral("clipboard-images")));
        for (const QString &name : images.entryList(QDir::Files))
            QFile::copy(images.filePath(name), clipboardFolder + QStringLiteral("/clipboard-images/") + name);
    }
    const auto pasteboard = platform::Pasteboard::create();
    const auto frontmost = platform::FrontmostApplication::create();
    // The AI Usage pane over sample vendors, settled in its look before the shell measures it.
    preview::SampleUsage usageSample(*usageLook, defaults, *pasteboard);
    if (!usageSample.settle())
        return fail(QStringLiteral("the sample usage vendors did not settle"));
    UsagePane usage(usageSample.store());
    ClipboardService clipboardService(*pasteboard, *frontmost, clipboardFolder, Clock::system());
    ClipboardPane clipboard(clipboardService);
    // The notes are a copy in this run's folder: the given file is never written.
    const QString notesPath = home.filePath(QStringLiteral("notes.json"));
    if (parser.isSet(notesOption) && !QFile::copy(parser.value(notesOption), notesPath))
        return fail(QStringLiteral("cannot read the notes file: ") + parser.value(notesOption));
    NotesPane notes(std::make_unique<NotesStore>(notesPath, Clock::system()));
    if (parser.isSet(openNoteOption) && !notes.store()->notes().empty()) {
        const NoteRecord &first = notes.store()->notes().front();
        notes.store()->setEditingID(first.id);
        notes.store()->setDraftTitle(first.title);
        notes.store()->setDraft(first.body);
    }
    DropPane drop(home.filePath(QStringLiteral("DropShelf")), Clock::system());
    if (parser.isSet(shelfOption)) {
        const QDir folder(parser.value(shelfOption));
        if (!folder.exists())
            return fail(QStringLiteral("no such folder: ") + folder.path());
        QList<QUrl> urls;
        const QStringList names = folder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
        for (const QString &name : names)
            urls.append(QUrl::fromLocalFile(folder.absoluteFilePath(name)));
        drop.ingest(urls);
    }
    if (parser.isSet(focusStateOption)) {
        QFile record(parser.value(focusStateOption));
        if (!record.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("cannot read the focus record: ") + record.fileName());
        defaults.setData(FocusPane::defaultsKey, record.read(1 << 20));
    } else if (parser.isSet(focusOption)) {
        // A 25-minute work round that started 9 minutes ago.
        PomodoroState running;
        running.toggle(referenceSeconds(now.addSecs(-9 * 60)));
        defaults.setData(FocusPane::defaultsKey, encodePomodoro(running).value_or(QByteArray()));
    }
    auto focus = std::make_unique<FocusPane>(defaults, Clock::system());
    if (playing.track && playing.track->artwork)
        GradientWash::shared().setAccent(ArtworkPalette::accent(playing.track->artwork->bytes));

    NotchShellModel model({&usage, &musicPane, &clipboard, &notes, &drop, focus.get()}, geometry, defaults, settings,
                          preferences, desktop);
    model.start();
    model.setPhase(phase);
    if (phase == NotchPhase::expanded)
        model.land(*pane);

    QQmlEngine engine;
    engine.addImportPath(QStringLiteral("qrc:/"));
    // Motion holds still here, so the picture shows every view where it comes to rest.
    {
        QQmlComponent imports(&engine);
        imports.setData("import Tavrenhold.Design\nimport QtQml\nQtObject {}", QUrl());
        std::unique_ptr<QObject> probe(imports.create());
        auto *motion = engine.singletonInstance<MotionTokens *>(qmlTypeId("Tavrenhold.Design", 1, 0, "Motion"));
        if (!motion)
            return fail(QStringLiteral("the design module did not load"));
        motion->setAppearance(desktop);
    }

    QQmlComponent component(&engine, QUrl(QStringLiteral("qrc:/Tavrenhold/Shell/qml/NotchRootView.qml")));
    std::unique_ptr<QObject> object(component.createWithInitialProperties(
        {{QStringLiteral("model"), QVariant::fromValue<QObject *>(&model)},
         {QStringLiteral("composited"), !parser.isSet(opaqueOption)}}));
    auto *root = qobject_cast<QQuickItem *>(object.get());
    if (!root)
        return fail(component.errorString());

    QQuickWindow window;
    QSurfaceFormat format = window.format();
    format.setAlphaBufferSize(8);
    window.setFormat(format);
    window.setColor(Qt::transparent);
    const QSize canvas(int(std::ceil(std::max(model.surfaceWidth(), model.hardwareWidth()))) + 2 * margin,
                       int(std::ceil(model.surfaceHeight())) + margin + (picker ? pickerRoom : 0));
    window.setGeometry(QRect(QPoint(0, 0), canvas));
    root->setParentItem(window.contentItem());
    root->setSize(canvas);
    window.show();
    spin(200);
    if (auto *travel = root->property("travel").value<QObject *>())
        QMetaObject::invokeMethod(travel, "remeasure");
    spin(200);
    if (picker) {
        QQuickItem *button = findItem(root, QStringLiteral("musicOutputButton"));
        auto *pickerModel = button ? button->property("model").value<OutputPickerModel *>() : nullptr;
        if (!pickerModel)
            return fail(QStringLiteral("the Music pane shows no output button"));
        // The server and the receivers have a moment to answer, as a click would give them.
        spin(1200);
        pickerModel->toggle();
        spin(300);
    }

    const QImage picture = grabTransparent(window);
    root->setParentItem(nullptr);
    object.reset();
    if (picture.isNull())
        return fail(QStringLiteral("nothing was drawn"));
    if (!picture.save(out, "PNG"))
        return fail(QStringLiteral("cannot write ") + out);
    QTextStream(stdout) << out << ": " << picture.width() << 'x' << picture.height() << '\n';
    return 0;
}
