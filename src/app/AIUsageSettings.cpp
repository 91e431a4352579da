#include "AIUsageSettings.h"

#include "usage/UsageStore.h"

#include <QVariantMap>

#include <algorithm>

namespace tavrenhold {

namespace {

const QString separator = QStringLiteral(" · ");

} // namespace

QString AIUsageSettings::liveLine(const UsageReport &report, const std::optional<UsageVendorWindow> &window)
{
    QString line = QStringLiteral("Live");
    if (!report.plan.isEmpty())
        line += separator + report.plan;
    if (!report.limits.isEmpty()) {
        QStringList parts;
        for (const UsageLimit &limit : report.limits)
            parts << limit.label + QLatin1Char(' ') + QString::number(limit.percentUsed) + QLatin1Char('%');
        return line + separator + parts.join(separator);
    }
    if (window)
        line += separator + window->label + QLatin1Char(' ') + window->shortRange();
    return line;
}

QString AIUsageSettings::statusLabel(const StatusInput &input)
{
    switch (input.state) {
    case UsageAuthState::disconnected:
        return QStringLiteral("Not connected");
    case UsageAuthState::connecting:
        // No window opens for xAI: its connect reads the Grok tool's login file and fetches once.
        if (input.vendor == UsageVendor::xai)
            return QStringLiteral("Reading the Grok CLI login…");
        if (input.vendor != UsageVendor::copilot)
            return QStringLiteral("Sign-in window open — finish in the popup");
        return input.copilotUserCode ? QStringLiteral("Code copied — paste it on the GitHub page that opened")
                                     : QStringLiteral("Requesting a GitHub code…");
    case UsageAuthState::connected:
        if (input.error)
            return *input.error;
        if (!input.report)
            return QStringLiteral("Connected · loading…");
        return liveLine(*input.report, input.window);
    }
    return {};
}

AIUsageSettings::AIUsageSettings(UsageStore *store, QObject *parent)
    : QObject(parent)
    , m_store(store)
{
    if (m_store) {
        for (auto signal : {&UsageStore::connectionsChanged, &UsageStore::reportsChanged, &UsageStore::errorsChanged,
                            &UsageStore::loginErrorChanged, &UsageStore::copilotUserCodeChanged,
                            &UsageStore::periodChanged, &UsageStore::started})
            connect(m_store, signal, this, &AIUsageSettings::update);
    }
    m_view = build();
}

QStringList AIUsageSettings::periodTitles() const
{
    QStringList titles;
    for (UsagePeriod period : allUsagePeriods)
        titles << title(period);
    return titles;
}

AIUsageSettings::View AIUsageSettings::build() const
{
    View view;
    if (!m_store)
        return view;

    view.periodIndex = int(std::ranges::find(allUsagePeriods, m_store->period()) - allUsagePeriods.begin());
    const QList<UsageVendor> connected = m_store->connectedVendors();
    view.canDisconnectAll = !connected.isEmpty();
    view.showsVendorPeriods = m_store->period() == UsagePeriod::vendor && !connected.isEmpty();
    if (view.showsVendorPeriods) {
        for (UsageVendor vendor : connected) {
            const auto window = m_store->window(vendor);
            if (!window)
                continue;
            view.vendorPeriods << QVariantMap{{QStringLiteral("vendor"), rawValue(vendor)},
                                              {QStringLiteral("name"), displayName(vendor)},
                                              {QStringLiteral("label"), window->label},
                                              {QStringLiteral("range"), window->shortRange()}};
        }
    }

    const auto &errors = m_store->errors();
    const std::optional<QString> code = m_store->copilotUserCode();
    for (UsageVendor vendor : alphabeticalUsageVendors()) {
        StatusInput input;
        input.state = m_store->state(vendor);
        input.vendor = vendor;
        input.window = m_store->window(vendor);
        if (const auto error = errors.constFind(vendor); error != errors.cend())
            input.error = *error;
        input.report = m_store->report(vendor);
        input.copilotUserCode = code;

        QString button;
        switch (input.state) {
        case UsageAuthState::disconnected:
            button = vendor == UsageVendor::xai ? QStringLiteral("Connect") : QStringLiteral("Sign In…");
            break;
        case UsageAuthState::connecting:
            button = QStringLiteral("Cancel");
            break;
        case UsageAuthState::connected:
            button = QStringLiteral("Disconnect");
            break;
        }
        // While connecting: Copilot's code once it exists, else the waiting text.
        const bool showsCode = input.state == UsageAuthState::connecting && vendor == UsageVendor::copilot && code;
        view.rows << QVariantMap{{QStringLiteral("vendor"), rawValue(vendor)},
                                 {QStringLiteral("name"), displayName(vendor)},
                                 {QStringLiteral("status"), statusLabel(input)},
                                 {QStringLiteral("state"), rawValue(input.state)},
                                 {QStringLiteral("button"), button},
                                 {QStringLiteral("destructive"), input.state == UsageAuthState::connected},
                                 {QStringLiteral("code"), showsCode ? *code : QString()},
                                 {QStringLiteral("waiting"), input.state == UsageAuthState::connecting && !showsCode}};
    }
    view.loginError = m_store->loginError().value_or(QString());
    return view;
}

void AIUsageSettings::update()
{
    View view = build();
    if (view == m_view)
        return;
    m_view = std::move(view);
    Q_EMIT changed();
}

void AIUsageSettings::choosePeriod(int index)
{
    if (m_store && index >= 0 && index < int(allUsagePeriods.size()))
        m_store->setPeriod(allUsagePeriods[std::size_t(index)]);
}

void AIUsageSettings::act(const QString &raw)
{
    const auto vendor = usageVendorFromRaw(raw);
    if (!m_store || !vendor)
        return;
    if (m_store->state(*vendor) == UsageAuthState::disconnected)
        m_store->beginConnect(*vendor);
    else
        m_store->disconnect(*vendor);
}

void AIUsageSettings::disconnectAll()
{
    if (m_store)
        m_store->disconnectAll();
}

} // namespace tavrenhold
