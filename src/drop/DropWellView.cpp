#include "DropWellView.h"

#include "ShelfFiles.h"
#include "platform/DirectSave.h"

#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QTimer>
#include <QUuid>

namespace tavrenhold {

namespace {

constexpr qsizetype maxNameBytes = 255;

QString fallbackName() { return QStringLiteral("Dropped File"); }

bool isLocalFile(const QUrl &url)
{
    return url.scheme() == QLatin1String("file")
        && (url.host().isEmpty() || url.host() == QLatin1String("localhost")) && !url.path().isEmpty();
}

} // namespace

DropWellView::DropWellView(QQuickItem *parent) : QQuickItem(parent)
{
    setFlag(ItemAcceptsDrops, true);
    setAcceptedMouseButtons(Qt::NoButton);
}

DropWellView::~DropWellView() = default;

void DropWellView::setPane(DropPane *pane)
{
    if (m_pane == pane)
        return;
    m_pane = pane;
    Q_EMIT paneChanged();
}

void DropWellView::setDirectSave(std::unique_ptr<platform::DirectSave> directSave)
{
    m_directSave = std::move(directSave);
    m_directSaveMade = true;
}

bool DropWellView::acceptable(const QMimeData *data, bool fromThisProgram)
{
    if (!data || fromThisProgram)
        return false;
    if (data->hasFormat(QLatin1String(promiseFormat)))
        return true;
    return !localFiles(data).isEmpty();
}

QList<QUrl> DropWellView::localFiles(const QMimeData *data)
{
    QList<QUrl> files;
    if (!data || !data->hasUrls())
        return files;
    const QList<QUrl> urls = data->urls();
    for (const QUrl &url : urls) {
        if (isLocalFile(url))
            files.append(url);
    }
    return files;
}

QString DropWellView::promisedFileName(const QByteArray &suggested)
{
    QString name = QString::fromUtf8(suggested);
    name.remove(QChar(0));
    name = name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return fallbackName();
    return shelf::fitName(name, maxNameBytes);
}

std::optional<QString> DropWellView::receivePromise(const QMimeData *data)
{
    if (!m_directSaveMade) {
        m_directSave = platform::DirectSave::create();
        m_directSaveMade = true;
    }
    if (!m_pane || !m_directSave)
        return std::nullopt;
    const auto suggested = m_directSave->suggestedName();
    const QString name = promisedFileName(suggested.value_or(QByteArray()));
    // A fresh folder of its own, so the source's name can never meet another file.
    const QString staging = m_pane->directory() + QStringLiteral("/staging-")
        + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    if (!QDir().mkpath(staging))
        return std::nullopt;
    const QString path = staging + QLatin1Char('/') + name;
    if (!m_directSave->setTarget(QUrl::fromLocalFile(path).toEncoded())) {
        (void)QDir().rmdir(staging); // nothing was asked of the source
        return std::nullopt;
    }
    // Asking for the data is the request to save: "S" once the file is written.
    const QByteArray answer = data->data(QLatin1String(promiseFormat));
    if (answer != "S" || !QFile::exists(path))
        return std::nullopt; // the staging folder stays and expires with the shelf's entries
    return path;
}

bool DropWellView::take(const QMimeData *data)
{
    if (!m_pane || !data)
        return false;
    const QList<QUrl> files = localFiles(data);
    std::optional<QString> promised;
    const bool promises = data->hasFormat(QLatin1String(promiseFormat));
    if (promises)
        promised = receivePromise(data);
    if (files.isEmpty() && !promises)
        return false;
    // Parking copies the files: done after the drop has been answered.
    QTimer::singleShot(0, m_pane.data(), [pane = m_pane, files, promised] {
        if (!pane)
            return;
        pane->ingest(files);
        if (promised && pane)
            pane->adoptPromisedFile(*promised);
    });
    return true;
}

void DropWellView::dragEnterEvent(QDragEnterEvent *event)
{
    if (!m_pane || !acceptable(event->mimeData(), event->source() != nullptr)) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    m_pane->beginTargeting();
}

void DropWellView::dragMoveEvent(QDragMoveEvent *event)
{
    if (!m_pane || !acceptable(event->mimeData(), event->source() != nullptr)) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void DropWellView::dragLeaveEvent(QDragLeaveEvent *)
{
    endTargeting();
}

void DropWellView::dropEvent(QDropEvent *event)
{
    endTargeting();
    if (!m_pane || !acceptable(event->mimeData(), event->source() != nullptr) || !take(event->mimeData())) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void DropWellView::endTargeting()
{
    if (m_pane)
        m_pane->endTargeting();
}

} // namespace tavrenhold
