#include "Symbols.h"

#include <QFileInfo>

namespace tavrenhold {

namespace {
// Symbol names are dotted words; anything that could step out of the symbol folder is no name.
bool isPlainName(const QString &name)
{
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')) || name.contains(QLatin1String("..")))
        return false;
    for (QChar c : name) {
        if (!(c.isLetterOrNumber() || c == QLatin1Char('.') || c == QLatin1Char('-') || c == QLatin1Char('_')))
            return false;
    }
    return true;
}
} // namespace

Symbols::Symbols(QObject *parent) : QObject(parent) {}

std::optional<QString> Symbols::path(const QString &name)
{
    if (!isPlainName(name))
        return std::nullopt;
    QString file = QStringLiteral(":/tavrenhold/symbols/") + name + QStringLiteral(".svg");
    if (!QFileInfo(file).isFile())
        return std::nullopt;
    return file;
}

QUrl Symbols::url(const QString &name) const
{
    const auto file = path(name);
    if (!file)
        return {};
    return QUrl(QStringLiteral("qrc") + *file);
}

} // namespace tavrenhold
