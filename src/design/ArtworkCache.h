#pragma once

#include "NotchImage.h"

#include <QHash>
#include <QImage>
#include <QStringList>

#include <optional>

namespace tavrenhold {

// Turns artwork bytes into decoded pictures once, so every view that draws the same NotchImage gets
// the same decoded object. Keeps at most eight pictures: when a ninth comes, the one inserted
// earliest goes, however recently it was looked up. Main thread only.
class ArtworkCache {
public:
    static constexpr int limit = 8;

    ArtworkCache() = default;
    ArtworkCache(const ArtworkCache &) = delete;
    ArtworkCache &operator=(const ArtworkCache &) = delete;

    // The cache the views share, created on first use and kept for the run.
    static ArtworkCache &shared();

    // The decoded picture for the value; nothing when the bytes do not decode, in which case the
    // cache is left exactly as it was.
    [[nodiscard]] std::optional<QImage> image(const NotchImage &value);

    // The cached ids, oldest insertion first.
    [[nodiscard]] const QStringList &ids() const { return m_order; }
    // How many times the decoder has run (failed attempts included).
    [[nodiscard]] int decodeCount() const { return m_decodes; }

private:
    QHash<QString, QImage> m_store;
    QHash<QString, size_t> m_tokens;
    QStringList m_order;
    int m_decodes = 0;
};

} // namespace tavrenhold
