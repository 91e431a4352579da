#pragma once

#include <QObject>
#include <QString>

#include <optional>

namespace tavrenhold {

namespace Screens {
Q_NAMESPACE
// The screen that carries the notch surface: the built-in display, the first (primary) screen, or
// the screen under the pointer. Stored as the case name.
enum class NotchScreen { builtIn, main, cursor };
Q_ENUM_NS(NotchScreen)
} // namespace Screens
using Screens::NotchScreen;

[[nodiscard]] inline QString rawValue(NotchScreen s)
{
    switch (s) {
    case NotchScreen::builtIn: return QStringLiteral("builtIn");
    case NotchScreen::main: return QStringLiteral("main");
    case NotchScreen::cursor: return QStringLiteral("cursor");
    }
    return {};
}

[[nodiscard]] inline std::optional<NotchScreen> notchScreenFromRaw(QStringView raw)
{
    for (NotchScreen s : {NotchScreen::builtIn, NotchScreen::main, NotchScreen::cursor}) {
        if (raw == rawValue(s))
            return s;
    }
    return std::nullopt;
}

} // namespace tavrenhold
