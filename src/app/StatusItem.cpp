#include "StatusItem.h"

#include "design/Symbols.h"
#include "platform/Updater.h"

#include <QAction>
#include <QCoreApplication>
#include <QCursor>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <QSystemTrayIcon>

namespace tavrenhold {

StatusItem::StatusItem(platform::Updater *updater, OpenHandler onOpen, std::function<void()> onSettings,
                       platform::SystemAppearance *appearance, QObject *parent)
    : QObject(parent)
    , m_menu(std::make_unique<QMenu>())
    , m_item(std::make_unique<QSystemTrayIcon>())
    , m_onOpen(std::move(onOpen))
    , m_onSettings(std::move(onSettings))
    , m_updater(updater)
    , m_appearance(appearance)
{
    syncImage();
    if (appearance)
        connect(appearance, &platform::SystemAppearance::colorSchemeChanged, this, &StatusItem::syncImage);
    m_item->setToolTip(QLatin1String(toolTip));

    auto *version = m_menu->addAction(versionTitle(QCoreApplication::applicationVersion()));
    version->setEnabled(false);
    m_menu->addSeparator();
    auto *open = m_menu->addAction(tr("Open Tavrenhold"), this, &StatusItem::openNotch);
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    auto *updates = m_menu->addAction(tr("Check for Updates…"));
    if (updater) {
        connect(updates, &QAction::triggered, updater, &platform::Updater::checkForUpdates);
        connect(updater, &platform::Updater::noticeReady, this, &StatusItem::showNotice);
    } else {
        updates->setEnabled(false); // nothing to ask
    }
    m_menu->addSeparator();
    auto *settings = m_menu->addAction(tr("Settings…"), this, &StatusItem::openSettings);
    settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    m_menu->addSeparator();
    auto *quit = m_menu->addAction(tr("Quit Tavrenhold"), this, &StatusItem::quit);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    m_item->setContextMenu(m_menu.get());
    connect(m_item.get(), &QSystemTrayIcon::activated, this, &StatusItem::activate);
    m_item->show();
}

StatusItem::~StatusItem()
{
    m_item->hide();
}

QString StatusItem::versionTitle(const QString &version)
{
    return QStringLiteral("Tavrenhold ") + (version.isEmpty() ? QStringLiteral("1.0.0") : version);
}

QString StatusItem::menuBarImageSource()
{
    if (QFile::exists(QLatin1String(appIconResource)))
        return QLatin1String(appIconResource);
    return Symbols::path(QLatin1String(symbolName)).value_or(QString());
}

QColor StatusItem::symbolColor(platform::SystemAppearance::ColorScheme scheme)
{
    return scheme == platform::SystemAppearance::ColorScheme::light ? QColor(0x1d, 0x1d, 0x1f) : QColor(Qt::white);
}

QIcon StatusItem::menuBarImage(const QColor &color)
{
    const QString source = menuBarImageSource();
    if (source.isEmpty())
        return {};
    QSvgRenderer renderer(source);
    if (!renderer.isValid())
        return {};
    QIcon icon;
    // The tray asks for its own size; 18 pt is the nominal one, at one and two device pixels per point.
    for (int size : {16, imageSize, 22, 24, 32, 2 * imageSize, 48}) {
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter, QRectF(0, 0, size, size));
        // A template image: only its shape counts, drawn in the panel's foreground colour.
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), color);
        painter.end();
        icon.addPixmap(QPixmap::fromImage(image));
    }
    icon.setIsMask(true);
    return icon;
}

void StatusItem::syncImage()
{
    const auto scheme = m_appearance ? m_appearance->colorScheme() : platform::SystemAppearance::ColorScheme::noPreference;
    m_item->setIcon(menuBarImage(symbolColor(scheme)));
}

void StatusItem::activate(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::Trigger && !m_menu->isVisible())
        m_menu->popup(QCursor::pos());
}

void StatusItem::openNotch()
{
    if (m_onOpen)
        m_onOpen(std::nullopt);
}

void StatusItem::openSettings()
{
    if (m_onSettings)
        m_onSettings();
}

void StatusItem::quit()
{
    QCoreApplication::quit();
}

void StatusItem::showNotice(const platform::UpdateNotice &notice)
{
    auto *box = new QMessageBox(QMessageBox::Information, notice.title, notice.text, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace tavrenhold
