#pragma once

#include "usage/UsageModels.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <optional>

namespace tavrenhold {

class UsageStore;

// What the AI Usage tab shows and does. It holds nothing of its own: every text and flag is read
// from the usage store, and every control calls the store. The view binds to `rows`,
// `vendorPeriods` and the flags, which notify only when what they show changed.
class AIUsageSettings : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the settings window controller")
    Q_PROPERTY(QStringList periodTitles READ periodTitles CONSTANT)
    Q_PROPERTY(int periodIndex READ periodIndex NOTIFY changed)
    Q_PROPERTY(bool showsVendorPeriods READ showsVendorPeriods NOTIFY changed)
    Q_PROPERTY(QVariantList vendorPeriods READ vendorPeriods NOTIFY changed)
    Q_PROPERTY(QVariantList rows READ rows NOTIFY changed)
    Q_PROPERTY(QString loginError READ loginError NOTIFY changed)
    Q_PROPERTY(bool canDisconnectAll READ canDisconnectAll NOTIFY changed)

public:
    // What a vendor's status line is made from.
    struct StatusInput {
        UsageAuthState state = UsageAuthState::disconnected;
        UsageVendor vendor = UsageVendor::openai;
        std::optional<UsageVendorWindow> window;
        std::optional<QString> error;
        std::optional<UsageReport> report;
        std::optional<QString> copilotUserCode;
    };

    // The line under a vendor's name.
    [[nodiscard]] static QString statusLabel(const StatusInput &input);
    // "Live", the plan, then the limits, or else the billing window.
    [[nodiscard]] static QString liveLine(const UsageReport &report, const std::optional<UsageVendorWindow> &window);

    explicit AIUsageSettings(UsageStore *store, QObject *parent = nullptr);

    [[nodiscard]] QStringList periodTitles() const;
    [[nodiscard]] int periodIndex() const { return m_view.periodIndex; }
    [[nodiscard]] bool showsVendorPeriods() const { return m_view.showsVendorPeriods; }
    [[nodiscard]] QVariantList vendorPeriods() const { return m_view.vendorPeriods; }
    [[nodiscard]] QVariantList rows() const { return m_view.rows; }
    [[nodiscard]] QString loginError() const { return m_view.loginError; }
    [[nodiscard]] bool canDisconnectAll() const { return m_view.canDisconnectAll; }

    // The period picked by the user, by its index in periodTitles.
    Q_INVOKABLE void choosePeriod(int index);
    // A vendor row's button: connect when disconnected, else cancel or disconnect.
    Q_INVOKABLE void act(const QString &vendor);
    Q_INVOKABLE void disconnectAll();

Q_SIGNALS:
    void changed();

private:
    struct View {
        int periodIndex = 0;
        bool showsVendorPeriods = false;
        QVariantList vendorPeriods;
        QVariantList rows;
        QString loginError;
        bool canDisconnectAll = false;
        bool operator==(const View &) const = default;
    };

    [[nodiscard]] View build() const;
    void update();

    QPointer<UsageStore> m_store;
    View m_view;
};

} // namespace tavrenhold
