#pragma once

#include "design/NotchPane.h"

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace tavrenhold {

namespace platform {
class Updater;
struct UpdateNotice;
} // namespace platform

// The program's permanent presence besides the notch: a tray icon whose menu shows the version and
// offers "Open Tavrenhold", "Check for Updates…", "Settings…" and "Quit Tavrenhold".
class StatusItem : public QObject {
    Q_OBJECT

public:
    using OpenHandler = std::function<void(std::optional<PaneID>)>;

    static constexpr auto toolTip = "Tavrenhold";
    static constexpr auto symbolName = "rectangle.topthird.inset.filled";
    // The application icon, used instead of the symbol when the program carries one.
    static constexpr auto appIconResource = ":/tavrenhold/AppIcon.svg";
    // Points square.
    static constexpr int imageSize = 18;

    // `updater` is held weakly; "Check for Updates…" asks it to check.
    StatusItem(platform::Updater *updater, OpenHandler onOpen, std::function<void()> onSettings,
               QObject *parent = nullptr);
    ~StatusItem() override;

    [[nodiscard]] QSystemTrayIcon &item() const { return *m_item; }
    [[nodiscard]] QMenu &menu() const { return *m_menu; }

    // "Tavrenhold " and the version, or "1.0.0" without one.
    [[nodiscard]] static QString versionTitle(const QString &version);
    // The resource the icon is drawn from: the application icon when there is one, else our symbol.
    [[nodiscard]] static QString menuBarImageSource();
    // The icon: a monochrome (template) image, 18 × 18 pt, drawn for the tray at every usual size.
    [[nodiscard]] static QIcon menuBarImage();

    void openNotch();
    void openSettings();
    void quit();

private:
    void showNotice(const platform::UpdateNotice &notice);

    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<QSystemTrayIcon> m_item;
    OpenHandler m_onOpen;
    std::function<void()> m_onSettings;
    QPointer<platform::Updater> m_updater;
};

} // namespace tavrenhold
