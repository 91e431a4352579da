#include "UsageGaugeFace.h"

#include "design/Style.h"

#include <algorithm>
#include <cmath>

namespace tavrenhold {

QString gaugeLabel(UsageVendor vendor)
{
    switch (vendor) {
    case UsageVendor::openai:
        return QStringLiteral("OPENAI");
    case UsageVendor::anthropic:
        return QStringLiteral("ANTHROPIC");
    case UsageVendor::google:
        return QStringLiteral("GOOGLE");
    case UsageVendor::xai:
        return QStringLiteral("XAI");
    case UsageVendor::cursor:
        return QStringLiteral("CURSOR");
    case UsageVendor::copilot:
        return QStringLiteral("COPILOT");
    }
    return {};
}

UsageGaugeFace::UsageGaugeFace(QObject *parent) : QObject(parent) {}

template <typename T>
void UsageGaugeFace::assign(T &field, const T &value)
{
    if (field == value)
        return;
    field = value;
    Q_EMIT changed();
}

void UsageGaugeFace::setShare(const UsageShare &share)
{
    if (m_vendor == share.vendor && m_headline == share.headlinePercentUsed)
        return;
    m_vendor = share.vendor;
    m_headline = share.headlinePercentUsed;
    Q_EMIT changed();
}

void UsageGaugeFace::setVendor(UsageVendor vendor) { assign(m_vendor, vendor); }

void UsageGaugeFace::setVendorRaw(const QString &raw)
{
    if (const auto vendor = usageVendorFromRaw(raw))
        setVendor(*vendor);
}

void UsageGaugeFace::setHeadline(std::optional<int> headline) { assign(m_headline, headline); }

QVariant UsageGaugeFace::headlineValue() const { return m_headline ? QVariant(*m_headline) : QVariant(); }

void UsageGaugeFace::setHeadlineValue(const QVariant &value)
{
    bool ok = false;
    const double number = value.isValid() && !value.isNull() ? value.toDouble(&ok) : 0;
    // Only whole percentages within int's range; anything else shows as none.
    if (!ok || !std::isfinite(number) || number != std::trunc(number) || std::abs(number) > 1e9) {
        setHeadline(std::nullopt);
        return;
    }
    setHeadline(int(number));
}

void UsageGaugeFace::setSelected(bool selected) { assign(m_selected, selected); }
void UsageGaugeFace::setHovering(bool hovering) { assign(m_hovering, hovering); }
void UsageGaugeFace::setDark(bool dark) { assign(m_dark, dark); }

double UsageGaugeFace::ringValue() const
{
    if (!m_headline)
        return 0;
    return std::clamp(*m_headline / 100.0, 0.0, 1.0);
}

QColor UsageGaugeFace::tint() const
{
    const double p = m_headline ? *m_headline / 100.0 : 0.0;
    const ColorToken token = p < 0.34 ? ColorToken::usageLow : p < 0.67 ? ColorToken::usageMedium : ColorToken::usageHigh;
    return Style::color(token, m_dark ? ColorScheme::dark : ColorScheme::light);
}

QString UsageGaugeFace::centerText() const
{
    return m_headline ? QString::number(*m_headline) + u'%' : QStringLiteral("—");
}

QColor UsageGaugeFace::centerColor() const
{
    return Style::color(m_selected ? ColorToken::ink : ColorToken::inkMuted, m_dark ? ColorScheme::dark : ColorScheme::light);
}

QColor UsageGaugeFace::labelColor() const
{
    return m_selected ? tint() : Style::color(ColorToken::inkFaint, m_dark ? ColorScheme::dark : ColorScheme::light);
}

QString UsageGaugeFace::helpText() const
{
    return m_selected ? QStringLiteral("Showing ") + displayName(m_vendor) + QStringLiteral(" model usage")
                      : QStringLiteral("Click to see ") + gaugeLabel(m_vendor) + QStringLiteral(" model usage");
}

QString UsageGaugeFace::accessibleName() const
{
    return m_headline ? displayName(m_vendor) + u' ' + QString::number(*m_headline) + QStringLiteral(" percent")
                      : displayName(m_vendor) + QStringLiteral(" usage unavailable");
}

} // namespace tavrenhold
