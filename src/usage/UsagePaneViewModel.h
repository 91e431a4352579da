#pragma once

#include "UsageModels.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <optional>

namespace tavrenhold {

class UsageStore;

// What the AI Usage pane's content shows, read from the usage store: the period control's label,
// the selected vendor's window, the refresh button's look, the error line, the gauges in
// alphabetical order and the selected share's model chips. Every property notifies only when what
// it shows changed; the actions are the store's.
class UsagePaneViewModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(tavrenhold::UsageStore *store READ store WRITE setStore NOTIFY storeChanged)
    Q_PROPERTY(bool connected READ connected NOTIFY changed)
    Q_PROPERTY(QString periodLabel READ periodLabel NOTIFY changed)
    Q_PROPERTY(QString windowLabel READ windowLabel NOTIFY changed)
    Q_PROPERTY(bool refreshing READ refreshing NOTIFY changed)
    Q_PROPERTY(QString refreshText READ refreshText NOTIFY changed)
    Q_PROPERTY(QString errorText READ errorText NOTIFY changed)
    Q_PROPERTY(QVariantList gauges READ gauges NOTIFY changed)
    Q_PROPERTY(bool showsStrip READ showsStrip NOTIFY changed)
    Q_PROPERTY(QString stripLabel READ stripLabel NOTIFY changed)
    Q_PROPERTY(QStringList chips READ chips NOTIFY changed)

public:
    // "TODAY", "7 DAYS", "MONTH", "PERIOD".
    [[nodiscard]] static QString periodLabel(UsagePeriod period);
    // The share's gauges in alphabetical vendor order; vendors without a share have none.
    [[nodiscard]] static QList<UsageShare> orderedShares(const QList<UsageVendorSample> &samples);
    // "model n%": the slice's own percentage, else its share of the tokens rounded half away from zero.
    [[nodiscard]] static QStringList chipTexts(const UsageShare &share);

    explicit UsagePaneViewModel(QObject *parent = nullptr);

    [[nodiscard]] UsageStore *store() const { return m_store; }
    void setStore(UsageStore *store);

    [[nodiscard]] bool connected() const { return m_view.connected; }
    [[nodiscard]] QString periodLabel() const { return m_view.periodLabel; }
    [[nodiscard]] QString windowLabel() const { return m_view.windowLabel; }
    [[nodiscard]] bool refreshing() const { return m_view.refreshing; }
    [[nodiscard]] QString refreshText() const;
    [[nodiscard]] QString errorText() const { return m_view.errorText; }
    [[nodiscard]] QVariantList gauges() const { return m_view.gauges; }
    [[nodiscard]] bool showsStrip() const { return m_view.showsStrip; }
    [[nodiscard]] QString stripLabel() const { return m_view.stripLabel; }
    [[nodiscard]] QStringList chips() const { return m_view.chips; }

    Q_INVOKABLE void cyclePeriod();
    // Starts a refresh without waiting for it; the store ignores it while one runs.
    Q_INVOKABLE void refresh();
    // A gauge click: selects the vendor only while it is connected.
    Q_INVOKABLE void select(const QString &vendor);

Q_SIGNALS:
    void storeChanged();
    void changed();

private:
    struct View {
        bool connected = false;
        QString periodLabel = QStringLiteral("TODAY");
        QString windowLabel;
        bool refreshing = false;
        QString errorText;
        QVariantList gauges;
        bool showsStrip = false;
        QString stripLabel;
        QStringList chips;
        bool operator==(const View &) const = default;
    };

    [[nodiscard]] View build() const;
    void update();

    QPointer<UsageStore> m_store;
    View m_view;
};

} // namespace tavrenhold
