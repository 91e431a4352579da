#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

#include <optional>

namespace tavrenhold {

// Our own SVG symbols, looked up by symbol name ("music.note" is
// :/tavrenhold/symbols/music.note.svg). Drawn in black so views can tint them.
class Symbols : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    explicit Symbols(QObject *parent = nullptr);

    // The resource path of the symbol, or nothing for a name we have no symbol for.
    [[nodiscard]] static std::optional<QString> path(const QString &name);

    // The qrc: URL of the symbol, or an empty URL for an unknown name.
    Q_INVOKABLE QUrl url(const QString &name) const;
};

} // namespace tavrenhold
