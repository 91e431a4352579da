#include "Artwork.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>
#include <QUrl>

namespace tavrenhold::adapter {

namespace {

std::optional<QByteArray> loadFile(const QUrl &url, qint64 cap)
{
    if (!url.isLocalFile())
        return std::nullopt;
    const QFileInfo info(url.toLocalFile());
    // Only regular files: a FIFO or a device named as cover art would block or never end.
    if (!info.isFile() || info.size() > cap)
        return std::nullopt;
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.read(cap + 1);
    if (bytes.isEmpty() || bytes.size() > cap)
        return std::nullopt;
    return bytes;
}

std::optional<QByteArray> loadData(const QString &url, qint64 cap)
{
    // data:[<media type>][;base64],<data>
    const qsizetype comma = url.indexOf(QLatin1Char(','));
    if (comma < 0)
        return std::nullopt;
    const QString header = url.mid(5, comma - 5);
    const QByteArray body = url.mid(comma + 1).toLatin1();
    // Encoded text is at most three times its bytes (percent-encoding): refuse what cannot fit early.
    if (body.size() > cap * 3)
        return std::nullopt;
    QByteArray bytes;
    if (header.endsWith(QLatin1String(";base64"), Qt::CaseInsensitive)) {
        auto decoded = QByteArray::fromBase64Encoding(QByteArray::fromPercentEncoding(body),
                                                      QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            return std::nullopt;
        bytes = std::move(decoded.decoded);
    } else {
        bytes = QByteArray::fromPercentEncoding(body);
    }
    if (bytes.isEmpty() || bytes.size() > cap)
        return std::nullopt;
    return bytes;
}

} // namespace

std::optional<QByteArray> loadArtwork(const QString &text, qint64 cap)
{
    if (text.startsWith(QLatin1String("data:"), Qt::CaseInsensitive))
        return loadData(text, cap);
    const QUrl url(text);
    if (url.isValid() && url.scheme().compare(QLatin1String("file"), Qt::CaseInsensitive) == 0)
        return loadFile(url, cap);
    return std::nullopt;
}

bool isWebAddress(const QString &text)
{
    const QUrl url(text);
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")) && !url.host().isEmpty();
}

QCoro::Task<std::optional<QByteArray>> fetchArtwork(QString text, qint64 cap, std::chrono::milliseconds time)
{
    if (!isWebAddress(text))
        co_return loadArtwork(text, cap);
    const QUrl url(text);
    // The network code lives in a module of its own, loaded only here: linked into the helper, it
    // would cost every streaming helper half a megabyte it never uses.
    QLibrary module(QCoreApplication::applicationDirPath() + QStringLiteral("/") + QLatin1String(kWebModuleName));
    const auto download = reinterpret_cast<WebArtworkDownload>(module.resolve("tavrenholdDownloadArtwork"));
    if (!download)
        co_return std::nullopt;
    co_return co_await download(url, cap, time);
}

std::optional<QByteArray> ArtworkCache::bytesFor(const std::optional<QString> &url)
{
    if (url != m_url) {
        m_url = url;
        m_bytes = url ? loadArtwork(*url) : std::nullopt;
    }
    return m_bytes;
}

} // namespace tavrenhold::adapter
