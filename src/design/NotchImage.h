#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tavrenhold {

// Encoded artwork bytes with an identity chosen by whoever made them. Never empty.
struct NotchImage {
    QString id;
    QByteArray bytes;

    // No value when the bytes are absent or empty; the bytes are not decoded here.
    [[nodiscard]] static std::optional<NotchImage> make(const QString &id, const std::optional<QByteArray> &data)
    {
        if (!data || data->isEmpty())
            return std::nullopt;
        return NotchImage{id, *data};
    }

    bool operator==(const NotchImage &) const = default;
};

} // namespace tavrenhold
