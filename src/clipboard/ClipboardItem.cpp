#include "ClipboardItem.h"

#include <QDateTime>
#include <QTimeZone>

#include <cmath>

namespace tavrenhold {

namespace {
const QDateTime referenceDate = QDateTime(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());

QString counted(qint64 n, const char *unit)
{
    return n == 1 ? QStringLiteral("1 %1").arg(QLatin1String(unit)) : QStringLiteral("%1 %2s").arg(n).arg(QLatin1String(unit));
}
} // namespace

QString ClipboardItem::preview() const
{
    if (kind == Kind::image)
        return QStringLiteral("Image");
    const QString trimmed = text ? text->trimmed() : QString();
    return trimmed.isEmpty() ? QStringLiteral("Empty text") : trimmed;
}

QString ClipboardItem::rowPreview() const
{
    const QString whole = preview();
    qsizetype end = std::min(whole.size(), rowPreviewLength);
    qsizetype breaks = 0;
    for (qsizetype i = 0; i < end; ++i) {
        if (whole.at(i) == QLatin1Char('\n') && ++breaks == 3) {
            end = i;
            break;
        }
    }
    if (end > 0 && end < whole.size() && whole.at(end - 1).isHighSurrogate())
        --end;
    return end == whole.size() ? whole : whole.first(end);
}

std::optional<QImage> ClipboardItem::thumbnail() const
{
    if (kind != Kind::image || !imageData)
        return std::nullopt;
    QImage image = QImage::fromData(*imageData);
    if (image.isNull())
        return std::nullopt;
    return image;
}

QString rawValue(ClipboardItem::Kind kind)
{
    return kind == ClipboardItem::Kind::image ? QStringLiteral("image") : QStringLiteral("text");
}

std::optional<ClipboardItem::Kind> clipboardKindFromRaw(const QString &raw)
{
    if (raw == QLatin1String("text"))
        return ClipboardItem::Kind::text;
    if (raw == QLatin1String("image"))
        return ClipboardItem::Kind::image;
    return std::nullopt;
}

double historySeconds(const QDateTime &time)
{
    return double(referenceDate.msecsTo(time)) / 1000.0;
}

QString relativeTime(double time, double now)
{
    if (!std::isfinite(time) || !std::isfinite(now))
        return QString();
    const double delta = now - time;
    const bool past = delta >= 0;
    const double span = std::abs(delta);
    const auto phrase = [past](qint64 n, const char *unit, const char *last, const char *next) {
        if (n == 1)
            return QString::fromLatin1(past ? last : next);
        return past ? counted(n, unit) + QStringLiteral(" ago") : QStringLiteral("in ") + counted(n, unit);
    };
    if (span < 1)
        return QStringLiteral("now");
    if (span < 60)
        return past ? counted(qint64(span), "second") + QStringLiteral(" ago") : QStringLiteral("in ") + counted(qint64(span), "second");
    if (span < 3600) {
        const qint64 n = qint64(span / 60);
        return past ? counted(n, "minute") + QStringLiteral(" ago") : QStringLiteral("in ") + counted(n, "minute");
    }
    if (span < 86400) {
        const qint64 n = qint64(span / 3600);
        return past ? counted(n, "hour") + QStringLiteral(" ago") : QStringLiteral("in ") + counted(n, "hour");
    }
    const qint64 days = qint64(span / 86400);
    if (days < 7)
        return phrase(days, "day", "yesterday", "tomorrow");
    if (days < 30)
        return phrase(days / 7, "week", "last week", "next week");
    if (days < 365)
        return phrase(days / 30, "month", "last month", "next month");
    return phrase(days / 365, "year", "last year", "next year");
}

} // namespace tavrenhold
