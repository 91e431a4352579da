#include "ArtworkCache.h"

#include <QBuffer>
#include <QImageReader>

namespace tavrenhold {

namespace {
// The first picture of the bytes, turned upright as its orientation tag says.
std::optional<QImage> decode(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return std::nullopt;
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    QImage picture = reader.read();
    if (picture.isNull())
        return std::nullopt;
    return picture;
}
} // namespace

ArtworkCache &ArtworkCache::shared()
{
    static ArtworkCache cache;
    return cache;
}

std::optional<QImage> ArtworkCache::image(const NotchImage &value)
{
    // A hash over every byte, so new bytes under a known id are told apart from the old.
    const size_t token = qHash(value.bytes);
    if (const auto known = m_tokens.constFind(value.id); known != m_tokens.cend() && *known == token) {
        if (const auto stored = m_store.constFind(value.id); stored != m_store.cend())
            return *stored;
    }

    ++m_decodes;
    auto decoded = decode(value.bytes);
    if (!decoded)
        return std::nullopt;

    // A known id whose bytes changed keeps its place.
    if (!m_store.contains(value.id))
        m_order.append(value.id);
    m_store.insert(value.id, *decoded);
    m_tokens.insert(value.id, token);

    // Each call adds at most one id, so one eviction keeps the count within the limit.
    if (m_order.size() > limit) {
        const QString oldest = m_order.takeFirst();
        m_store.remove(oldest);
        m_tokens.remove(oldest);
    }
    return decoded;
}

} // namespace tavrenhold
