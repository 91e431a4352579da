#include "NotchPane.h"

namespace tavrenhold {

namespace {
struct PaneInfo {
    PaneID pane;
    const char *raw;
    const char *title;
    const char *symbol;
};
constexpr PaneInfo kPanes[] = {
    {PaneID::usage, "usage", "AI Usage", "gauge.with.dots.needle.67percent"},
    {PaneID::music, "music", "Music", "music.note"},
    {PaneID::clipboard, "clipboard", "Clipboard", "doc.on.clipboard"},
    {PaneID::notes, "notes", "Notes", "pencil.and.scribble"},
    {PaneID::drop, "drop", "Drop", "square.stack.3d.up"},
    {PaneID::focus, "focus", "Focus", "timer"},
};
const PaneInfo &info(PaneID pane) { return kPanes[static_cast<int>(pane)]; }
} // namespace

QString rawValue(PaneID pane) { return QString::fromLatin1(info(pane).raw); }

std::optional<PaneID> paneFromRaw(QStringView raw)
{
    for (const PaneInfo &p : kPanes) {
        if (raw == QLatin1String(p.raw))
            return p.pane;
    }
    return std::nullopt;
}

QString title(PaneID pane) { return QString::fromLatin1(info(pane).title); }

QString symbol(PaneID pane) { return QString::fromLatin1(info(pane).symbol); }

} // namespace tavrenhold
