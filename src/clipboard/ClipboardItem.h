#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QString>
#include <QUuid>

#include <optional>

namespace tavrenhold {

// One entry of the clipboard history. `copiedAt` is seconds since 2001-01-01 00:00:00 UTC, kept
// as the double it was stored or made as.
struct ClipboardItem {
    enum class Kind { text, image };

    QUuid id;
    Kind kind = Kind::text;
    std::optional<QString> text;
    std::optional<QByteArray> imageData;
    std::optional<QString> sourceApp;
    bool pinned = false;
    double copiedAt = 0;

    bool operator==(const ClipboardItem &) const = default;

    // "Image" for an image; the trimmed text, or "Empty text" when nothing is left.
    [[nodiscard]] QString preview() const;
    // The start of preview() that a row of two lines can show: at most its first three lines and
    // `rowPreviewLength` characters, so that a long text is laid out only as far as it is seen.
    [[nodiscard]] QString rowPreview() const;
    static constexpr qsizetype rowPreviewLength = 300;
    // The image bytes decoded, for an image entry whose bytes decode; made afresh on every call.
    [[nodiscard]] std::optional<QImage> thumbnail() const;
};

// "text" and "image".
[[nodiscard]] QString rawValue(ClipboardItem::Kind kind);
[[nodiscard]] std::optional<ClipboardItem::Kind> clipboardKindFromRaw(const QString &raw);

// Seconds since 2001-01-01 00:00:00 UTC, the history's time scale.
[[nodiscard]] double historySeconds(const QDateTime &time);

// "now", "3 minutes ago", "yesterday", "last week", "in 2 hours": `time` seen from `now`, in the
// largest whole unit, named where a name exists.
[[nodiscard]] QString relativeTime(double time, double now);

} // namespace tavrenhold
