#include "GradientWash.h"

#include <QJSEngine>

namespace tavrenhold {

GradientWash::GradientWash(QObject *parent) : QObject(parent) {}

GradientWash &GradientWash::shared()
{
    // Lives for the whole process; never torn down behind a QML engine's back.
    static auto *wash = new GradientWash(nullptr);
    return *wash;
}

GradientWash *GradientWash::create(QQmlEngine *, QJSEngine *)
{
    GradientWash *wash = &shared();
    QJSEngine::setObjectOwnership(wash, QJSEngine::CppOwnership);
    return wash;
}

void GradientWash::setAccent(std::optional<ArtworkAccent> accent)
{
    if (m_accent == accent)
        return;
    m_accent = accent;
    Q_EMIT accentChanged();
}

QColor GradientWash::color() const
{
    if (!m_accent)
        return {};
    return QColor::fromRgbF(float(m_accent->r), float(m_accent->g), float(m_accent->b), 1.0f);
}

} // namespace tavrenhold
