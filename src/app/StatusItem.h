#pragma once

#include "design/NotchPane.h"
#include "platform/SystemAppearance.h"

#include <QColor>
#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>

#include <functional>
#include <memory>
#include <optional>

class QAction;
class QMenu;

namespace tavrenhold {

namespace platform {
class Updater;
struct UpdateNotice;
} // namespace platform

// The program's permanent presence besides the notch: a tray icon whose menu shows the version and
// offers "Open Tavrenhold", "Check for Updates…", "Settings…" and "Quit Tavrenhold". A left click
// opens the same menu as a right one. The symbol is drawn light or dark to suit the desktop's
// stated colour scheme, white when it states none.
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

    // `updater` and `appearance` are held weakly; "Check for Updates…" asks the updater to check, and
    // the symbol follows the appearance's colour scheme (white without one).
    StatusItem(platform::Updater *updater, OpenHandler onOpen, std::function<void()> onSettings,
               platform::SystemAppearance *appearance = nullptr, QObject *parent = nullptr);
    ~StatusItem() override;

    [[nodiscard]] QSystemTrayIcon &item() const { return *m_item; }
    [[nodiscard]] QMenu &menu() const { return *m_menu; }

    // "Tavrenhold " and the version, or "1.0.0" without one.
    [[nodiscard]] static QString versionTitle(const QString &version);
    // The resource the icon is drawn from: the application icon when there is one, else our symbol.
    [[nodiscard]] static QString menuBarImageSource();
    // The symbol's colour on a panel of the given scheme: white on a dark panel, and when the scheme
    // is not known (panels are dark more often than not); near-black on a light one.
    [[nodiscard]] static QColor symbolColor(platform::SystemAppearance::ColorScheme scheme);
    // The icon: a monochrome (template) image, 18 × 18 pt, drawn for the tray at every usual size in
    // `color`.
    [[nodiscard]] static QIcon menuBarImage(const QColor &color = Qt::white);

    void openNotch();
    void openSettings();
    void quit();

private:
    // The tray reports a click; a left one (Trigger) pops the menu up at the pointer. The tray shows
    // the menu itself on a right click.
    void activate(QSystemTrayIcon::ActivationReason reason);
    void showNotice(const platform::UpdateNotice &notice);
    void syncImage();

    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<QSystemTrayIcon> m_item;
    OpenHandler m_onOpen;
    std::function<void()> m_onSettings;
    QPointer<platform::Updater> m_updater;
    QPointer<platform::SystemAppearance> m_appearance;
};

} // namespace tavrenhold
