#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QUrl>

#include <optional>

namespace tavrenhold::clients {

// The body's top-level JSON object, or none when it is not JSON or not an object.
[[nodiscard]] inline std::optional<QJsonObject> jsonObject(const QByteArray &body)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return doc.object();
}

// An origin from the endpoints followed by a fixed path (and query), as sent.
[[nodiscard]] inline QUrl address(const QString &origin, const QString &pathAndQuery)
{
    return QUrl::fromEncoded((origin + pathAndQuery).toUtf8(), QUrl::StrictMode);
}

} // namespace tavrenhold::clients

#include <QNetworkRequest>

namespace tavrenhold::clients {

// Sets a header as given; an empty value is still sent (Qt drops a header whose value is null).
inline void setHeader(QNetworkRequest &request, const QByteArray &name, const QString &value)
{
    QByteArray bytes = value.toUtf8();
    if (bytes.isNull())
        bytes = QByteArray("");
    request.setRawHeader(name, bytes);
}

} // namespace tavrenhold::clients
