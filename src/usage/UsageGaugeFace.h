#pragma once

#include "UsageModels.h"

#include <QColor>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

#include <optional>

namespace tavrenhold {

// "OPENAI", "ANTHROPIC", "GOOGLE", "XAI", "CURSOR", "COPILOT": the name under a vendor's gauge.
[[nodiscard]] QString gaugeLabel(UsageVendor vendor);

// What one vendor's ring gauge shows, from its share's headline percentage, whether it is the
// selected vendor and whether the pointer is over it. The view (UsageGauge.qml) only draws this.
class UsageGaugeFace : public QObject {
    Q_OBJECT
    QML_ELEMENT

    // The vendor's raw value ("anthropic").
    Q_PROPERTY(QString vendor READ vendorRaw WRITE setVendorRaw NOTIFY changed)
    // The headline percentage: a whole number, or null/undefined for none.
    Q_PROPERTY(QVariant headline READ headlineValue WRITE setHeadlineValue NOTIFY changed)
    Q_PROPERTY(bool selected READ selected WRITE setSelected NOTIFY changed)
    Q_PROPERTY(bool hovering READ hovering WRITE setHovering NOTIFY changed)
    // The colour scheme the text colours resolve in.
    Q_PROPERTY(bool dark READ dark WRITE setDark NOTIFY changed)

    Q_PROPERTY(double ringValue READ ringValue NOTIFY changed)
    Q_PROPERTY(QColor tint READ tint NOTIFY changed)
    Q_PROPERTY(double ringOpacity READ ringOpacity NOTIFY changed)
    Q_PROPERTY(double dialScale READ dialScale NOTIFY changed)
    Q_PROPERTY(QString centerText READ centerText NOTIFY changed)
    Q_PROPERTY(QColor centerColor READ centerColor NOTIFY changed)
    Q_PROPERTY(QString label READ label NOTIFY changed)
    Q_PROPERTY(QColor labelColor READ labelColor NOTIFY changed)
    Q_PROPERTY(QString helpText READ helpText NOTIFY changed)
    Q_PROPERTY(QString accessibleName READ accessibleName NOTIFY changed)

public:
    static constexpr double dialSize = 44;
    static constexpr double lineWidth = 4.5;
    static constexpr double spacing = 5;
    static constexpr double labelSize = 8;
    static constexpr double labelTracking = 0.4;
    static constexpr double labelMinimumScale = 0.7;

    explicit UsageGaugeFace(QObject *parent = nullptr);

    // The share's vendor and headline percentage.
    void setShare(const UsageShare &share);

    [[nodiscard]] UsageVendor vendor() const { return m_vendor; }
    void setVendor(UsageVendor vendor);
    [[nodiscard]] QString vendorRaw() const { return rawValue(m_vendor); }
    void setVendorRaw(const QString &raw);
    [[nodiscard]] std::optional<int> headline() const { return m_headline; }
    void setHeadline(std::optional<int> headline);
    [[nodiscard]] QVariant headlineValue() const;
    void setHeadlineValue(const QVariant &value);
    [[nodiscard]] bool selected() const { return m_selected; }
    void setSelected(bool selected);
    [[nodiscard]] bool hovering() const { return m_hovering; }
    void setHovering(bool hovering);
    [[nodiscard]] bool dark() const { return m_dark; }
    void setDark(bool dark);

    // 0 without a headline, else headline / 100 within 0 … 1.
    [[nodiscard]] double ringValue() const;
    // usageLow below 34 % (and without a headline), usageMedium below 67 %, else usageHigh.
    [[nodiscard]] QColor tint() const;
    [[nodiscard]] double ringOpacity() const { return m_selected || m_hovering ? 1.0 : 0.82; }
    [[nodiscard]] double dialScale() const { return m_selected || m_hovering ? 1.04 : 1.0; }
    // "42%" (also above 100), or "—" without a headline.
    [[nodiscard]] QString centerText() const;
    [[nodiscard]] QColor centerColor() const;
    [[nodiscard]] QString label() const { return gaugeLabel(m_vendor); }
    [[nodiscard]] QColor labelColor() const;
    [[nodiscard]] QString helpText() const;
    [[nodiscard]] QString accessibleName() const;

Q_SIGNALS:
    void changed();

private:
    template <typename T>
    void assign(T &field, const T &value);

    UsageVendor m_vendor = UsageVendor::openai;
    std::optional<int> m_headline;
    bool m_selected = false;
    bool m_hovering = false;
    bool m_dark = true;
};

} // namespace tavrenhold
