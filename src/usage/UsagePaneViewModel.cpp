#include "UsagePaneViewModel.h"

#include "UsageStore.h"

#include <QVariantMap>

#include <cmath>

namespace tavrenhold {

QString UsagePaneViewModel::periodLabel(UsagePeriod period)
{
    switch (period) {
    case UsagePeriod::today:
        return QStringLiteral("TODAY");
    case UsagePeriod::week:
        return QStringLiteral("7 DAYS");
    case UsagePeriod::month:
        return QStringLiteral("MONTH");
    case UsagePeriod::vendor:
        return QStringLiteral("PERIOD");
    }
    return {};
}

QList<UsageShare> UsagePaneViewModel::orderedShares(const QList<UsageVendorSample> &samples)
{
    const QList<UsageShare> all = UsageMix::shares(samples);
    QList<UsageShare> ordered;
    for (UsageVendor vendor : alphabeticalUsageVendors()) {
        // One gauge per vendor: the first share of a vendor wins.
        for (const UsageShare &share : all) {
            if (share.vendor == vendor) {
                ordered << share;
                break;
            }
        }
    }
    return ordered;
}

QStringList UsagePaneViewModel::chipTexts(const UsageShare &share)
{
    QStringList chips;
    for (const UsageModelFraction &entry : UsageMix::modelFractions(share)) {
        const long percent = entry.slice.percentUsed ? long(*entry.slice.percentUsed)
                                                     : std::lround(entry.fraction * 100.0); // halves away from zero
        chips << entry.slice.model + QLatin1Char(' ') + QString::number(percent) + QLatin1Char('%');
    }
    return chips;
}

UsagePaneViewModel::UsagePaneViewModel(QObject *parent)
    : QObject(parent)
{
}

void UsagePaneViewModel::setStore(UsageStore *store)
{
    if (store == m_store)
        return;
    if (m_store)
        QObject::disconnect(m_store, nullptr, this, nullptr);
    m_store = store;
    if (m_store) {
        for (auto signal : {&UsageStore::connectionsChanged, &UsageStore::periodChanged,
                            &UsageStore::selectedVendorChanged, &UsageStore::reportsChanged,
                            &UsageStore::isRefreshingChanged, &UsageStore::lastErrorChanged,
                            &UsageStore::loginErrorChanged, &UsageStore::errorsChanged, &UsageStore::samplesChanged})
            connect(m_store, signal, this, &UsagePaneViewModel::update);
    }
    Q_EMIT storeChanged();
    update();
}

QString UsagePaneViewModel::refreshText() const
{
    return m_view.refreshing ? QStringLiteral("UPDATING") : QStringLiteral("REFRESH");
}

UsagePaneViewModel::View UsagePaneViewModel::build() const
{
    View view;
    if (!m_store)
        return view;
    view.connected = !m_store->connectedVendors().isEmpty();
    view.periodLabel = periodLabel(m_store->period());
    const auto selected = m_store->selectedVendor();
    if (m_store->period() == UsagePeriod::vendor && selected) {
        if (const auto window = m_store->window(*selected))
            view.windowLabel = window->shortRange().toUpper();
    }
    view.refreshing = m_store->isRefreshing();
    view.errorText = m_store->lastError().value_or(QString());
    for (const UsageShare &share : orderedShares(m_store->samples())) {
        view.gauges << QVariantMap{
            {QStringLiteral("vendor"), rawValue(share.vendor)},
            {QStringLiteral("percent"), share.headlinePercentUsed ? QVariant(*share.headlinePercentUsed) : QVariant()},
            {QStringLiteral("selected"), selected == share.vendor}};
    }
    if (const auto share = m_store->selectedShare()) {
        view.showsStrip = true;
        view.stripLabel = displayName(share->vendor).toUpper();
        view.chips = chipTexts(*share);
    }
    return view;
}

void UsagePaneViewModel::update()
{
    View view = build();
    if (view == m_view)
        return;
    m_view = std::move(view);
    Q_EMIT changed();
}

void UsagePaneViewModel::cyclePeriod()
{
    if (m_store)
        m_store->cyclePeriod();
}

void UsagePaneViewModel::refresh()
{
    if (m_store)
        m_store->requestRefresh();
}

void UsagePaneViewModel::select(const QString &raw)
{
    const auto vendor = usageVendorFromRaw(raw);
    if (!m_store || !vendor)
        return;
    if (m_store->state(*vendor) == UsageAuthState::connected)
        m_store->setSelectedVendor(*vendor);
}

} // namespace tavrenhold
