#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tavrenhold::adapter {

// Cover images larger than this are not passed on.
inline constexpr qint64 kArtworkSizeCap = 8 * 1024 * 1024;

// The bytes behind an `mpris:artUrl`:
//  - "file:" URLs: the file, when it is a regular file no larger than `cap` (never a pipe or a device);
//  - "data:" URLs: the decoded bytes (";base64" strictly checked, otherwise percent-encoded), within `cap`;
//  - anything else (including "http:" and "https:", which this helper does not download): none.
[[nodiscard]] std::optional<QByteArray> loadArtwork(const QString &url, qint64 cap = kArtworkSizeCap);

// Remembers the bytes of the last URL asked for, so an unchanged cover is read once.
class ArtworkCache {
public:
    [[nodiscard]] std::optional<QByteArray> bytesFor(const std::optional<QString> &url);

private:
    std::optional<QString> m_url;
    std::optional<QByteArray> m_bytes;
};

} // namespace tavrenhold::adapter
