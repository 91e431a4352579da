#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <QCoroTask>

#include <chrono>
#include <optional>

namespace tavrenhold::adapter {

// Cover images larger than this are not passed on.
inline constexpr qint64 kArtworkSizeCap = 8 * 1024 * 1024;
// How long a cover on the web may take, well inside the 8 s the program gives an artwork run.
inline constexpr std::chrono::milliseconds kArtworkFetchTime{4000};

// The bytes behind an `mpris:artUrl`:
//  - "file:" URLs: the file, when it is a regular file no larger than `cap` (never a pipe or a device);
//  - "data:" URLs: the decoded bytes (";base64" strictly checked, otherwise percent-encoded), within `cap`;
//  - anything else (including "http:" and "https:", which fetchArtwork() downloads): none.
[[nodiscard]] std::optional<QByteArray> loadArtwork(const QString &url, qint64 cap = kArtworkSizeCap);

// As loadArtwork(), and an "http:" or "https:" address is downloaded (certificates checked,
// redirects only to equally safe addresses): the body of a 2xx answer that came whole within
// `time`, not empty and within `cap`; none otherwise.
// Whether the address is one fetchArtwork() downloads ("http:" or "https:" with a host).
[[nodiscard]] bool isWebAddress(const QString &url);

// Web addresses are downloaded by a module beside the helper; none without it.
[[nodiscard]] QCoro::Task<std::optional<QByteArray>> fetchArtwork(QString url, qint64 cap = kArtworkSizeCap,
                                                                  std::chrono::milliseconds time = kArtworkFetchTime);

// The module and what it exports: the body of the answer, as fetchArtwork() describes it.
inline constexpr auto kWebModuleName = "libMediaRemoteAdapterWeb.so";
using WebArtworkDownload = QCoro::Task<std::optional<QByteArray>> (*)(QUrl url, qint64 cap,
                                                                      std::chrono::milliseconds time);

// Remembers the bytes of the last URL asked for, so an unchanged cover is read once.
class ArtworkCache {
public:
    [[nodiscard]] std::optional<QByteArray> bytesFor(const std::optional<QString> &url);

private:
    std::optional<QString> m_url;
    std::optional<QByteArray> m_bytes;
};

} // namespace tavrenhold::adapter
