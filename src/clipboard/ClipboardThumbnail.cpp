#include "ClipboardThumbnail.h"
#include "design/RoundedPicture.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <cmath>

namespace tavrenhold {

namespace {
// Pictures up to this many pixels decode on the GUI thread: a few milliseconds at most.
constexpr qint64 inlinePixels = 256 * 256;

// One decode at a time, so a page of large pictures never holds several full-size buffers at once.
QThreadPool &decodePool()
{
    static QThreadPool *pool = [] {
        auto *p = new QThreadPool;
        p->setMaxThreadCount(1);
        return p;
    }();
    return *pool;
}

// The picture's size from its header, or an invalid size.
QSize headerSize(QIODevice &device)
{
    QImageReader reader(&device);
    const QSize size = reader.size();
    device.seek(0);
    return size;
}

QImage decodeFrom(const std::optional<QByteArray> &bytes, const QString &path, QSize box)
{
    if (bytes) {
        QBuffer buffer;
        buffer.setData(*bytes);
        return buffer.open(QIODevice::ReadOnly) ? decodeThumbnail(buffer, box) : QImage();
    }
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? decodeThumbnail(file, box) : QImage();
}
} // namespace

QImage decodeThumbnail(QIODevice &device, QSize box)
{
    QImageReader reader(&device);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty())
        return {};
    const qint64 limit = qint64(QImageReader::allocationLimit()) * 1024 * 1024;
    if (limit > 0 && qint64(size.width()) * size.height() * 4 > limit)
        return {};
    const double scale = std::max(double(box.width()) / size.width(), double(box.height()) / size.height());
    if (scale < 1)
        reader.setScaledSize(QSize(std::max(1, int(std::ceil(size.width() * scale))),
                                   std::max(1, int(std::ceil(size.height() * scale)))));
    return reader.read();
}

ClipboardThumbnail::ClipboardThumbnail(QQuickItem *parent) : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
}

void ClipboardThumbnail::setStore(ClipboardService *store)
{
    if (m_store == store)
        return;
    m_store = store;
    decode();
    Q_EMIT sourceChanged();
}

void ClipboardThumbnail::setItemId(const QString &id)
{
    if (m_itemId == id)
        return;
    m_itemId = id;
    decode();
    Q_EMIT sourceChanged();
}

void ClipboardThumbnail::setRadius(qreal radius)
{
    if (qFuzzyCompare(m_radius, radius))
        return;
    m_radius = radius;
    update();
    Q_EMIT radiusChanged();
}

void ClipboardThumbnail::decode()
{
    const quint64 generation = ++m_generation;
    std::optional<QByteArray> bytes;
    QString path;
    if (m_store && !m_itemId.isEmpty()) {
        if (const auto item = m_store->item(QUuid::fromString(m_itemId)); item && item->kind == ClipboardItem::Kind::image) {
            bytes = item->imageData;
            if (!bytes)
                path = m_store->imageFilePath(item->id);
        }
    }
    if (!bytes && path.isEmpty()) {
        show({});
        return;
    }
    // A small picture is shown at once; a large one is decoded on the worker and shown if this
    // item still wants it then.
    QSize size;
    if (bytes) {
        QBuffer buffer;
        buffer.setData(*bytes);
        if (buffer.open(QIODevice::ReadOnly))
            size = headerSize(buffer);
    } else {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            size = headerSize(file);
    }
    const QSize box(decodeBox, decodeBox);
    if (size.isValid() && qint64(size.width()) * size.height() <= inlinePixels) {
        show(decodeFrom(bytes, path, box));
        return;
    }
    show({});
    m_decoding.disconnect(this);
    m_decoding.setFuture(QtConcurrent::run(&decodePool(), [bytes, path, box] { return decodeFrom(bytes, path, box); }));
    connect(&m_decoding, &QFutureWatcher<QImage>::finished, this, [this, generation] {
        if (generation == m_generation)
            show(m_decoding.result());
    });
}

void ClipboardThumbnail::show(QImage image)
{
    const bool wasValid = valid();
    m_image = std::move(image);
    update();
    if (wasValid != valid())
        Q_EMIT validChanged();
}

void ClipboardThumbnail::paint(QPainter *painter)
{
    if (m_image.isNull())
        return;
    paintRoundedPicture(*painter, QRectF(0, 0, width(), height()), m_radius, m_image);
}

} // namespace tavrenhold
