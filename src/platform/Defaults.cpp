#include "Defaults.h"

#include "BoundedFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QStandardPaths>

#include <cmath>
#include <cstring>

namespace tavrenhold::platform {

namespace {
constexpr auto kDataKey = "data";
// A UTF-8 byte order mark some editors put at the start; kept when the file is written back.
constexpr auto kByteOrderMark = "\xEF\xBB\xBF";

QString uniqueAsideName(const QFileInfo &file)
{
    const QString base = file.absolutePath() + QStringLiteral("/") + file.completeBaseName()
        + QStringLiteral(".corrupt.") + QString::number(QDateTime::currentSecsSinceEpoch());
    QString candidate = base + QStringLiteral(".json");
    for (int n = 1; QFileInfo::exists(candidate); ++n)
        candidate = base + QStringLiteral("-%1.json").arg(n);
    return candidate;
}
} // namespace

Defaults::Defaults(QString filePath) : m_path(std::move(filePath)) { load(); }

QString Defaults::standardPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/app.tavrenhold/defaults.json");
}

Defaults &Defaults::standard()
{
    static Defaults store(standardPath());
    return store;
}

void Defaults::load()
{
    const BoundedFile content = readBoundedRegularFile(m_path, maxStoreFileBytes);
    if (!content) {
        switch (content.error()) {
        case FileRefusal::absent:
            return;
        case FileRefusal::tooLarge:
            moveAside();
            return;
        case FileRefusal::notRegular:
        case FileRefusal::unreadable:
            // Not ours to replace (a FIFO, a device, a folder, a file we may not read): leave it
            // as it is and keep the values in memory.
            m_writable = false;
            return;
        }
        return;
    }
    QByteArray bytes = content.value();
    if (bytes.startsWith(kByteOrderMark)) {
        m_byteOrderMark = true;
        bytes.remove(0, qsizetype(std::strlen(kByteOrderMark)));
    }
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error == QJsonParseError::NoError && doc.isObject()) {
        m_values = doc.object();
        return;
    }
    m_byteOrderMark = false;
    moveAside();
}

void Defaults::moveAside()
{
    const QString aside = uniqueAsideName(QFileInfo(m_path));
    if (QFile::rename(m_path, aside))
        m_movedAside = aside;
    else
        m_writable = false;
}

QJsonValue Defaults::object(const QString &key) const { return m_values.value(key); }

std::optional<QString> Defaults::string(const QString &key) const
{
    const QJsonValue v = m_values.value(key);
    if (!v.isString())
        return std::nullopt;
    return v.toString();
}

std::optional<QStringList> Defaults::stringList(const QString &key) const
{
    const QJsonValue v = m_values.value(key);
    if (!v.isArray())
        return std::nullopt;
    QStringList out;
    for (const QJsonValue &e : v.toArray()) {
        if (!e.isString())
            return std::nullopt;
        out.append(e.toString());
    }
    return out;
}

std::optional<bool> Defaults::boolValue(const QString &key) const
{
    const QJsonValue v = m_values.value(key);
    if (v.isBool())
        return v.toBool();
    if (v.isDouble()) {
        const double d = v.toDouble();
        if (d == 0.0)
            return false;
        if (d == 1.0)
            return true;
    }
    return std::nullopt;
}

bool Defaults::boolean(const QString &key) const
{
    const QJsonValue v = m_values.value(key);
    if (v.isBool())
        return v.toBool();
    if (v.isDouble())
        return v.toDouble() != 0.0;
    if (!v.isString())
        return false;
    const QString s = v.toString();
    qsizetype i = 0;
    while (i < s.size() && s.at(i).isSpace())
        ++i;
    if (i < s.size() && (s.at(i) == u'+' || s.at(i) == u'-'))
        ++i;
    while (i < s.size() && s.at(i) == u'0')
        ++i;
    if (i >= s.size())
        return false;
    const QChar c = s.at(i);
    return c == u'y' || c == u'Y' || c == u't' || c == u'T' || (c >= u'1' && c <= u'9');
}

std::optional<double> Defaults::doubleValue(const QString &key) const
{
    const QJsonValue v = m_values.value(key);
    if (v.isBool())
        return v.toBool() ? 1.0 : 0.0;
    if (!v.isDouble())
        return std::nullopt;
    const double d = v.toDouble();
    if (!std::isfinite(d))
        return std::nullopt;
    return d;
}

std::optional<QByteArray> Defaults::data(const QString &key) const
{
    const QJsonValue v = m_values.value(key);
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    const QJsonValue encoded = o.value(QLatin1String(kDataKey));
    if (o.size() != 1 || !encoded.isString())
        return std::nullopt;
    const auto decoded = QByteArray::fromBase64Encoding(encoded.toString().toLatin1(),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    return *decoded;
}

void Defaults::set(const QString &key, const QJsonValue &value)
{
    if (value.isUndefined()) {
        remove(key);
        return;
    }
    m_values.insert(key, value);
    write();
}

void Defaults::setData(const QString &key, const QByteArray &bytes)
{
    set(key, QJsonObject{{QLatin1String(kDataKey), QString::fromLatin1(bytes.toBase64())}});
}

void Defaults::remove(const QString &key)
{
    m_values.remove(key);
    write();
}

void Defaults::write()
{
    m_lastWriteOk = false;
    if (!m_writable)
        return;
    const QFileInfo info(m_path);
    if (!QDir().mkpath(info.absolutePath()))
        return;
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    // Compact: indentation would grow a deeply nested value many times over at every write.
    QByteArray bytes = QJsonDocument(m_values).toJson(QJsonDocument::Compact);
    if (m_byteOrderMark)
        bytes.prepend(kByteOrderMark);
    file.write(bytes);
    m_lastWriteOk = file.commit();
}

} // namespace tavrenhold::platform
