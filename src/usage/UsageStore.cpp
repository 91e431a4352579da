#include "UsageStore.h"

#include "VendorLoginWebSignIn.h"

#include "clients/LiveUsageClients.h"

#include "platform/Defaults.h"
#include "platform/Pasteboard.h"
#include "platform/SecretStore.h"
#include "platform/UrlOpener.h"

#include <QCoroSignal>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QTimer>

#include <algorithm>

namespace tavrenhold {

namespace {
const QString connectionsKey = QStringLiteral("usage.connections");
const QString periodKey = QStringLiteral("usage.period");
const QString selectedVendorKey = QStringLiteral("usage.selectedVendor");

// The stored connections, keyed by vendor; none at all when the data is missing or any entry
// fails to decode. A vendor named twice keeps its last entry.
QMap<UsageVendor, UsageConnection> decodeConnections(const std::optional<QByteArray> &data)
{
    if (!data)
        return {};
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(*data, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return {};
    QMap<UsageVendor, UsageConnection> connections;
    for (const QJsonValue &entry : document.array()) {
        const auto connection = UsageConnection::fromJson(entry);
        if (!connection)
            return {};
        connections.insert(connection->vendor, *connection);
    }
    return connections;
}

// The text shown for a failure; none for a cancellation, which is silent.
std::optional<QString> failureText(const UsageFailure &failure)
{
    if (isCancellation(failure))
        return std::nullopt;
    return describe(failure);
}

// Resumes from the event loop: work started here runs once the current one has returned.
QCoro::Task<void> nextTurnOfEventLoop()
{
    QTimer timer;
    timer.setSingleShot(true);
    timer.start(0);
    co_await qCoro(&timer, &QTimer::timeout);
}

// One vendor's fetch with its stored session. Takes copies of what it uses: the store may be
// gone when the request ends.
QCoro::Task<UsageFetchResult> fetchWith(UsageClients clients, QNetworkAccessManager &network, UsageVendor vendor,
                                        std::optional<UsageSession> stored, CancelToken token)
{
    if (!UsageStore::hasUsableCredential(vendor, stored)) {
        if (vendor == UsageVendor::xai)
            co_return UsageFetchResult::failure(UsageFetchError::unavailable(vendor, clients.grokNoLoginMessage));
        co_return UsageFetchResult::failure(UsageFetchError::signedOut(vendor));
    }
    if (!clients.fetch)
        co_return UsageFetchResult::failure(
            UsageFetchError::unavailable(vendor, displayName(vendor) + QStringLiteral(" usage is not available.")));
    co_return co_await clients.fetch(vendor, *stored, network, token);
}
} // namespace

UsageStore::UsageStore(UsageStoreServices services, QObject *parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_sessions(m_services.secrets)
{
    // The period needs no keyring: it is there from the start, and reading it writes nothing.
    if (const auto raw = m_services.defaults.string(periodKey))
        m_period = usagePeriodFromRaw(*raw).value_or(UsagePeriod::today);
    // The stored connected vendors are shown at once, however long the keyring takes to answer;
    // start-up then drops those whose session is gone.
    for (const UsageConnection &entry : decodeConnections(m_services.defaults.data(connectionsKey))) {
        if (entry.state == UsageAuthState::connected)
            m_connections.insert(entry.vendor, entry);
    }
    reloadSamples();
    startUp();
}

UsageStore::~UsageStore()
{
    if (m_connectToken)
        m_connectToken->cancel();
    if (m_pollToken)
        m_pollToken->cancel();
}

UsageStore &UsageStore::shared()
{
    static UsageStore *store = [] {
        // The run's one URL session and the clipboard (made when a device code is first put on it)
        // live as long as the program.
        // The vendor hosts (and extra trusted certificates) come from TAVRENHOLD_USAGE_ENDPOINTS when set.
        auto *network = new QNetworkAccessManager;
        Clock &clock = Clock::system();
        UsageStoreServices services{
            .defaults = platform::Defaults::standard(),
            .secrets = platform::SecretStore::standard(),
            .clock = clock,
            .clients = liveUsageClients(UsageEndpoints::shared(), clock),
            // The web sign-in window is plugged in here once the program has one.
            .webSignIn = new VendorLoginWebSignIn(),
            .urlOpener = platform::UrlOpener::standard(),
            .clipboard = []() -> platform::Pasteboard & {
                static platform::Pasteboard *pasteboard = platform::Pasteboard::create().release();
                return *pasteboard;
            },
            .network = *network,
        };
        return new UsageStore(std::move(services));
    }();
    return *store;
}

UsageSession UsageStore::grokMarker() { return UsageSession{{QStringLiteral("source"), QStringLiteral("grok-cli")}}; }

bool UsageStore::hasUsableCredential(UsageVendor vendor, const std::optional<UsageSession> &session)
{
    if (!session)
        return false;
    const auto nonEmpty = [&](const QString &key) { return !session->value(key).isEmpty(); };
    switch (vendor) {
    case UsageVendor::openai: {
        const QString prefix = QStringLiteral("__Secure-next-auth.session-token");
        const QStringList keys = session->keys();
        return std::any_of(keys.cbegin(), keys.cend(), [&](const QString &key) { return key.startsWith(prefix); });
    }
    case UsageVendor::anthropic: return nonEmpty(QStringLiteral("sessionKey"));
    case UsageVendor::google:
        return session->contains(QStringLiteral("SID")) || session->contains(QStringLiteral("__Secure-1PSID"));
    case UsageVendor::xai: return *session == grokMarker();
    case UsageVendor::cursor: return nonEmpty(QStringLiteral("WorkosCursorSessionToken"));
    case UsageVendor::copilot: return nonEmpty(QStringLiteral("github_token"));
    }
    return false;
}

QString UsageStore::keyringUnavailableText(UsageVendor vendor)
{
    return displayName(vendor) + QStringLiteral(" session is in a locked or unavailable keyring. Unlock it, then refresh.");
}

// ---- start-up -----------------------------------------------------------------------------------

QCoro::Task<void> UsageStore::startUp()
{
    QPointer<UsageStore> self(this);
    VendorSessionStore sessions(m_services.secrets);
    const QMap<UsageVendor, UsageConnection> stored = decodeConnections(m_services.defaults.data(connectionsKey));

    QMap<UsageVendor, UsageConnection> kept;
    QList<UsageVendor> dropped;
    bool keyringFailed = false;
    for (const UsageVendor vendor : allUsageVendors) {
        const auto entry = stored.constFind(vendor);
        if (entry == stored.cend())
            continue;
        if (entry->state != UsageAuthState::connected) {
            dropped << vendor;
            continue;
        }
        // A keyring that cannot answer says nothing about the session: keep entry and item. The
        // vendors after the first such answer are not asked (each would wait out its time-out).
        if (keyringFailed) {
            kept.insert(vendor, *entry);
            continue;
        }
        const SessionLoad session = co_await sessions.load(vendor);
        if (!self)
            co_return;
        keyringFailed = !session;
        if (!session || hasUsableCredential(vendor, session.value()))
            kept.insert(vendor, *entry);
        else
            dropped << vendor;
    }
    for (const UsageVendor vendor : dropped) {
        const auto removed = co_await sessions.clear(vendor);
        if (!self)
            co_return;
        // An item the keyring would not delete may hold a session: the vendor stays, shown as
        // connected, and a refresh says the keyring must be unlocked.
        if (!removed)
            kept.insert(vendor, UsageConnection{vendor, UsageAuthState::connected});
    }
    applyStartup(kept);
}

void UsageStore::applyStartup(const QMap<UsageVendor, UsageConnection> &kept)
{
    setConnections(kept);
    std::optional<UsageVendor> selected;
    if (const auto raw = m_services.defaults.string(selectedVendorKey))
        selected = usageVendorFromRaw(*raw);
    setSelectedVendor(selected);
    settleConnections();

    m_started = true;
    Q_EMIT started();
    // Steps asked for meanwhile run in order; each may ask for more, which then run at once.
    auto waiting = std::exchange(m_waitingForStart, {});
    for (auto &step : waiting)
        step();
}

void UsageStore::settleConnections()
{
    reloadSamples();
    const QList<UsageVendor> connected = connectedVendors();
    if (!m_selectedVendor || !connected.contains(*m_selectedVendor))
        setSelectedVendor(connected.isEmpty() ? std::nullopt : std::optional<UsageVendor>(connected.constFirst()));
    persist();
    if (connected.isEmpty())
        stopPolling();
    else
        startPolling();
}

void UsageStore::whenStarted(std::function<void()> step)
{
    if (m_started)
        step();
    else
        m_waitingForStart.push_back(std::move(step));
}

// ---- derived values ----------------------------------------------------------------------------

UsageAuthState UsageStore::state(UsageVendor vendor) const
{
    const auto entry = m_connections.constFind(vendor);
    return entry == m_connections.cend() ? UsageAuthState::disconnected : entry->state;
}

QList<UsageVendor> UsageStore::connectedVendors() const
{
    QList<UsageVendor> vendors;
    for (const UsageVendor vendor : alphabeticalUsageVendors()) {
        if (state(vendor) == UsageAuthState::connected)
            vendors << vendor;
    }
    return vendors;
}

QStringList UsageStore::connectedVendorNames() const
{
    QStringList names;
    for (const UsageVendor vendor : connectedVendors())
        names << rawValue(vendor);
    return names;
}

std::optional<QString> UsageStore::lastError() const
{
    if (m_loginError)
        return m_loginError;
    for (const UsageVendor vendor : alphabeticalUsageVendors()) {
        if (const auto found = m_errors.constFind(vendor); found != m_errors.cend())
            return *found;
    }
    return std::nullopt;
}

std::optional<UsageShare> UsageStore::selectedShare() const
{
    const QList<UsageShare> shares = UsageMix::shares(m_samples);
    if (shares.isEmpty())
        return std::nullopt;
    if (m_selectedVendor) {
        for (const UsageShare &share : shares) {
            if (share.vendor == *m_selectedVendor)
                return share;
        }
    }
    return shares.constFirst();
}

std::optional<UsageVendorWindow> UsageStore::window(UsageVendor vendor) const
{
    const auto found = m_reports.constFind(vendor);
    if (found == m_reports.cend())
        return std::nullopt;
    return found->window(m_period);
}

std::optional<UsageReport> UsageStore::report(UsageVendor vendor) const
{
    const auto found = m_reports.constFind(vendor);
    return found == m_reports.cend() ? std::nullopt : std::optional<UsageReport>(*found);
}

QString UsageStore::selectedVendorName() const { return m_selectedVendor ? rawValue(*m_selectedVendor) : QString(); }

// ---- settings ----------------------------------------------------------------------------------

void UsageStore::setPeriod(UsagePeriod period)
{
    const bool changed = period != m_period;
    m_period = period;
    m_services.defaults.set(periodKey, rawValue(period));
    if (changed)
        Q_EMIT periodChanged();
    reloadSamples();
}

void UsageStore::setPeriodName(const QString &raw)
{
    if (const auto period = usagePeriodFromRaw(raw))
        setPeriod(*period);
}

void UsageStore::cyclePeriod()
{
    const auto at = std::find(allUsagePeriods.cbegin(), allUsagePeriods.cend(), m_period);
    const auto next = (at == allUsagePeriods.cend() || at + 1 == allUsagePeriods.cend()) ? allUsagePeriods.cbegin() : at + 1;
    setPeriod(*next);
}

void UsageStore::setSelectedVendor(std::optional<UsageVendor> vendor)
{
    const bool changed = vendor != m_selectedVendor;
    m_selectedVendor = vendor;
    if (vendor)
        m_services.defaults.set(selectedVendorKey, rawValue(*vendor));
    else
        m_services.defaults.remove(selectedVendorKey);
    if (changed)
        Q_EMIT selectedVendorChanged();
}

void UsageStore::setSelectedVendorName(const QString &raw)
{
    setSelectedVendor(raw.isEmpty() ? std::nullopt : usageVendorFromRaw(raw));
}

void UsageStore::persist()
{
    QJsonArray entries;
    for (const UsageVendor vendor : allUsageVendors) {
        if (const auto entry = m_connections.constFind(vendor); entry != m_connections.cend())
            entries.append(entry->toJson());
    }
    m_services.defaults.setData(connectionsKey, QJsonDocument(entries).toJson(QJsonDocument::Compact));
}

void UsageStore::reloadSamples()
{
    QList<UsageVendorSample> samples;
    for (const UsageVendor vendor : connectedVendors()) {
        UsageVendorSample sample;
        sample.vendor = vendor;
        if (const auto found = m_reports.constFind(vendor); found != m_reports.cend()) {
            sample.vendor = found->vendor;
            if (!found->breakdown.isEmpty()) {
                sample.models = found->breakdown;
            } else {
                for (const UsageLimit &limit : found->limits)
                    sample.models << UsageModelSlice{limit.label, std::max(limit.percentUsed, 1), limit.percentUsed};
            }
            if (const auto headline = found->headline(m_period))
                sample.headlinePercentUsed = headline->percentUsed;
        }
        samples << sample;
    }
    if (samples == m_samples)
        return;
    m_samples = samples;
    Q_EMIT samplesChanged();
}

// ---- refresh and polling -----------------------------------------------------------------------

void UsageStore::requestRefresh() { refresh(); }

QCoro::Task<void> UsageStore::refresh()
{
    const QList<UsageVendor> vendors = connectedVendors();
    if (vendors.isEmpty() || m_isRefreshing || !m_started)
        co_return;
    setRefreshing(true);
    QPointer<UsageStore> self(this);
    if (!m_refreshToken)
        m_refreshToken = CancelToken();
    const CancelToken token = *m_refreshToken;

    struct Outcome {
        UsageVendor vendor;
        bool keyringUnavailable = false;
        std::optional<UsageFetchResult> result;
    };
    std::vector<Outcome> outcomes;
    std::vector<std::optional<UsageSession>> sessions;
    bool keyringFailed = false;
    for (const UsageVendor vendor : vendors) {
        // After one vendor's session could not be read, the keyring is not asked again this time.
        if (keyringFailed) {
            outcomes.push_back(Outcome{vendor, true, std::nullopt});
            sessions.push_back(std::nullopt);
            continue;
        }
        const SessionLoad load = co_await m_sessions.load(vendor);
        if (!self)
            co_return;
        keyringFailed = !load.ok();
        outcomes.push_back(Outcome{vendor, !load.ok(), std::nullopt});
        sessions.push_back(load.ok() ? load.value() : std::nullopt);
    }

    // Every fetch starts now; they run side by side and are applied together.
    std::vector<QCoro::Task<UsageFetchResult>> fetches;
    std::vector<std::size_t> fetched;
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        if (outcomes[i].keyringUnavailable)
            continue;
        fetches.push_back(fetchWith(m_services.clients, m_services.network, outcomes[i].vendor, sessions[i], token));
        fetched.push_back(i);
    }
    for (std::size_t k = 0; k < fetches.size(); ++k)
        outcomes[fetched[k]].result = co_await std::move(fetches[k]);
    if (!self)
        co_return;

    auto reports = m_reports;
    auto errors = m_errors;
    for (const Outcome &outcome : outcomes) {
        // A vendor disconnected, or being connected again, while its fetch ran gets nothing.
        const auto entry = m_connections.constFind(outcome.vendor);
        if (entry == m_connections.cend() || entry->state != UsageAuthState::connected)
            continue;
        if (outcome.keyringUnavailable) {
            errors.insert(outcome.vendor, keyringUnavailableText(outcome.vendor));
            continue;
        }
        const UsageFetchResult &result = *outcome.result;
        if (result.ok()) {
            reports.insert(outcome.vendor, result.value());
            errors.remove(outcome.vendor);
            continue;
        }
        const auto text = failureText(result.error());
        if (!text)
            continue;
        errors.insert(outcome.vendor, *text);
        if (refusesSession(result.error()))
            reports.remove(outcome.vendor);
    }
    setReports(reports);
    setErrors(errors);
    reloadSamples();
    setLastRefreshedAt(m_services.clock.wallNow());
    setRefreshing(false);
}

void UsageStore::startPolling()
{
    if (m_pollToken)
        return;
    m_pollToken = CancelToken();
    pollLoop(*m_pollToken);
}

void UsageStore::stopPolling()
{
    if (m_pollToken) {
        m_pollToken->cancel();
        m_pollToken.reset();
    }
    // A refresh under way can only fetch vendors that are no longer connected.
    if (m_refreshToken) {
        m_refreshToken->cancel();
        m_refreshToken.reset();
    }
}

QCoro::Task<void> UsageStore::pollLoop(CancelToken token)
{
    QPointer<UsageStore> self(this);
    Clock &clock = m_services.clock;
    // The first refresh runs once the work that started the loop has finished.
    co_await nextTurnOfEventLoop();
    while (self && !token.isCancelled()) {
        co_await self->refresh();
        if (!self || token.isCancelled())
            co_return;
        if (!co_await clock.sleepFor(pollInterval, token))
            co_return;
    }
}

// ---- connecting and disconnecting ---------------------------------------------------------------

void UsageStore::beginConnect(UsageVendor vendor)
{
    whenStarted([this, vendor] {
        if (m_connectToken)
            m_connectToken->cancel();
        const CancelToken token;
        m_connectToken = token;
        connectVendor(vendor, token);
    });
}

void UsageStore::beginConnect(const QString &vendor)
{
    if (const auto known = usageVendorFromRaw(vendor))
        beginConnect(*known);
}

QCoro::Task<void> UsageStore::connectVendor(UsageVendor vendor, CancelToken token)
{
    QPointer<UsageStore> self(this);
    const quint64 id = ++m_connectSerial;
    const bool wasConnected = state(vendor) == UsageAuthState::connected;
    if (m_services.webSignIn && m_services.webSignIn->isOpen())
        m_services.webSignIn->cancelOpen();
    if (!self || token.isCancelled())
        co_return;
    m_connectingVendor = vendor;
    m_connectingId = id;
    auto connections = m_connections;
    connections.insert(vendor, UsageConnection{vendor, UsageAuthState::connecting});
    setConnections(connections);
    setLoginError(std::nullopt);
    auto errors = m_errors;
    errors.remove(vendor);
    setErrors(errors);
    persist();

    const auto session = co_await signIn(vendor, token);
    if (!self)
        co_return;
    if (!session) {
        connectFailed(vendor, id, token, session.error());
        co_return;
    }
    if (token.isCancelled()) {
        connectFailed(vendor, id, token, std::nullopt);
        co_return;
    }

    const UsageFetchResult report = co_await fetchWith(m_services.clients, m_services.network, vendor, session.value(), token);
    if (!self)
        co_return;
    if (token.isCancelled()) {
        connectFailed(vendor, id, token, std::nullopt);
        co_return;
    }
    if (!report) {
        connectFailed(vendor, id, token, failureText(report.error()));
        co_return;
    }

    VendorSessionStore sessions(m_services.secrets);
    const auto saved = co_await sessions.save(vendor, session.value(), token);
    if (token.isCancelled()) {
        // Cancelled while saving: what was written must not outlive the connect.
        if (saved)
            sessions.clear(vendor);
        if (self)
            connectFailed(vendor, id, token, std::nullopt);
        co_return;
    }
    if (!self)
        co_return;
    if (!saved && saved.error().kind == SessionSaveError::Kind::keyringUnavailable) {
        // The keyring kept what it had: a vendor connected before stays connected on its old session.
        if (wasConnected && m_connectingId == id && state(vendor) == UsageAuthState::connecting) {
            connectFailed(vendor, id, token, std::nullopt);
            keepConnectedOnLockedKeyring(vendor);
        } else {
            connectFailed(vendor, id, token, keyringUnavailableText(vendor));
        }
        co_return;
    }
    if (!saved) {
        connectFailed(vendor, id, token, saved.error().errorDescription());
        co_return;
    }

    m_connectingVendor.reset();
    connections = m_connections;
    connections.insert(vendor, UsageConnection{vendor, UsageAuthState::connected});
    setConnections(connections);
    auto reports = m_reports;
    reports.insert(vendor, report.value());
    setReports(reports);
    if (!m_selectedVendor || !connectedVendors().contains(*m_selectedVendor))
        setSelectedVendor(vendor);
    reloadSamples();
    startPolling();
    persist();
}

QCoro::Task<Result<UsageSession, std::optional<QString>>> UsageStore::signIn(UsageVendor vendor, CancelToken token)
{
    using Outcome = Result<UsageSession, std::optional<QString>>;
    QPointer<UsageStore> self(this);
    const UsageClients clients = m_services.clients;
    Clock &clock = m_services.clock;
    QNetworkAccessManager &network = m_services.network;

    switch (vendor) {
    case UsageVendor::xai: {
        if (!clients.grokLogin)
            co_return Outcome::failure(clients.grokNoLoginMessage);
        const auto login = co_await clients.grokLogin(clock.wallNow());
        if (!login)
            co_return Outcome::failure(failureText(login.error()));
        co_return grokMarker();
    }
    case UsageVendor::copilot: {
        if (!clients.copilotDeviceCode || !clients.copilotPollToken)
            co_return Outcome::failure(LoginError{LoginError::Kind::cancelled}.errorDescription());
        const auto code = co_await clients.copilotDeviceCode(network, token);
        if (!self || token.isCancelled())
            co_return Outcome::failure(std::nullopt);
        if (!code)
            co_return Outcome::failure(failureText(code.error()));
        setCopilotUserCode(code.value().userCode);
        platform::PasteboardWrite write;
        write.text = code.value().userCode;
        m_services.clipboard().write(write);
        m_services.urlOpener.open(code.value().verificationURL);
        const auto accessToken = co_await clients.copilotPollToken(code.value(), network, clock, token);
        if (!self || token.isCancelled())
            co_return Outcome::failure(std::nullopt);
        if (!accessToken)
            co_return Outcome::failure(failureText(accessToken.error()));
        setCopilotUserCode(std::nullopt);
        co_return UsageSession{{QStringLiteral("github_token"), accessToken.value()}};
    }
    case UsageVendor::openai:
    case UsageVendor::anthropic:
    case UsageVendor::google:
    case UsageVendor::cursor: {
        if (!m_services.webSignIn)
            co_return Outcome::failure(LoginError{LoginError::Kind::cancelled}.errorDescription());
        const auto cookies = co_await m_services.webSignIn->signIn(vendor);
        if (!self)
            co_return Outcome::failure(std::nullopt);
        if (!cookies)
            co_return Outcome::failure(cookies.error().errorDescription());
        co_return cookies.value();
    }
    }
    co_return Outcome::failure(std::nullopt);
}

void UsageStore::connectFailed(UsageVendor vendor, quint64 id, const CancelToken &token, const std::optional<QString> &message)
{
    // A newer connect of the same vendor owns its entry, its state and its code now.
    const bool superseded = m_connectingVendor == vendor && m_connectingId != id;
    if (!superseded) {
        if (vendor == UsageVendor::copilot || m_connectingId == id)
            setCopilotUserCode(std::nullopt);
        if (m_connectingVendor == vendor)
            m_connectingVendor.reset();
        if (state(vendor) == UsageAuthState::connecting) {
            auto connections = m_connections;
            connections.remove(vendor);
            setConnections(connections);
        }
    }
    if (message && !token.isCancelled())
        setLoginError(message);
    persist();
    reloadSamples();
    if (connectedVendors().isEmpty())
        stopPolling();
    else
        startPolling();
}

void UsageStore::cancelConnect()
{
    // Cancel first: the window's sign-in may wind down at once, and must find itself cancelled.
    if (m_connectToken) {
        m_connectToken->cancel();
        m_connectToken.reset();
    }
    if (m_services.webSignIn && m_services.webSignIn->isOpen())
        m_services.webSignIn->cancelOpen();
    m_connectingVendor.reset();
    setCopilotUserCode(std::nullopt);
}

void UsageStore::keepConnectedOnLockedKeyring(UsageVendor vendor)
{
    auto connections = m_connections;
    connections.insert(vendor, UsageConnection{vendor, UsageAuthState::connected});
    setConnections(connections);
    auto errors = m_errors;
    errors.insert(vendor, keyringUnavailableText(vendor));
    setErrors(errors);
    settleConnections();
}

void UsageStore::disconnect(UsageVendor vendor)
{
    whenStarted([this, vendor] { disconnectVendor(vendor); });
}

QCoro::Task<void> UsageStore::disconnectVendor(UsageVendor vendor)
{
    QPointer<UsageStore> self(this);
    if (m_connectingVendor == vendor)
        cancelConnect();
    const auto removed = co_await m_sessions.clear(vendor);
    if (!self)
        co_return;
    // A connected vendor whose item the keyring kept stays connected.
    if (!removed && state(vendor) == UsageAuthState::connected) {
        keepConnectedOnLockedKeyring(vendor);
        co_return;
    }
    auto connections = m_connections;
    connections.remove(vendor);
    setConnections(connections);
    auto reports = m_reports;
    reports.remove(vendor);
    setReports(reports);
    auto errors = m_errors;
    errors.remove(vendor);
    setErrors(errors);
    settleConnections();
}

void UsageStore::disconnect(const QString &vendor)
{
    if (const auto known = usageVendorFromRaw(vendor))
        disconnect(*known);
}

void UsageStore::disconnectAll()
{
    whenStarted([this] { disconnectAllVendorsNow(); });
}

QCoro::Task<void> UsageStore::disconnectAllVendorsNow()
{
    QPointer<UsageStore> self(this);
    cancelConnect();
    const QList<UsageVendor> notCleared = co_await m_sessions.clearAll();
    if (!self)
        co_return;
    // Connected vendors whose item the keyring kept stay connected, their rows saying so.
    QMap<UsageVendor, UsageConnection> kept;
    QMap<UsageVendor, QString> errors;
    for (const UsageVendor vendor : notCleared) {
        if (state(vendor) != UsageAuthState::connected)
            continue;
        kept.insert(vendor, m_connections.value(vendor));
        errors.insert(vendor, keyringUnavailableText(vendor));
    }
    setConnections(kept);
    auto reports = m_reports;
    reports.removeIf([&](const auto &entry) { return !kept.contains(entry.key()); });
    setReports(reports);
    setErrors(errors);
    if (kept.isEmpty())
        setLastRefreshedAt(std::nullopt);
    setLoginError(std::nullopt);
    settleConnections();
}

// ---- setters that notify only on change ---------------------------------------------------------

void UsageStore::setConnections(QMap<UsageVendor, UsageConnection> connections)
{
    if (connections == m_connections)
        return;
    m_connections = std::move(connections);
    Q_EMIT connectionsChanged();
}

void UsageStore::setReports(QMap<UsageVendor, UsageReport> reports)
{
    if (reports == m_reports)
        return;
    m_reports = std::move(reports);
    Q_EMIT reportsChanged();
}

void UsageStore::setErrors(QMap<UsageVendor, QString> errors)
{
    if (errors == m_errors)
        return;
    m_errors = std::move(errors);
    Q_EMIT errorsChanged();
    noteLastError();
}

void UsageStore::setRefreshing(bool refreshing)
{
    if (refreshing == m_isRefreshing)
        return;
    m_isRefreshing = refreshing;
    Q_EMIT isRefreshingChanged();
}

void UsageStore::setLastRefreshedAt(std::optional<QDateTime> at)
{
    if (at == m_lastRefreshedAt)
        return;
    m_lastRefreshedAt = std::move(at);
    Q_EMIT lastRefreshedAtChanged();
}

void UsageStore::setLoginError(std::optional<QString> text)
{
    if (text == m_loginError)
        return;
    m_loginError = std::move(text);
    Q_EMIT loginErrorChanged();
    noteLastError();
}

void UsageStore::setCopilotUserCode(std::optional<QString> code)
{
    if (code == m_copilotUserCode)
        return;
    m_copilotUserCode = std::move(code);
    Q_EMIT copilotUserCodeChanged();
}

void UsageStore::noteLastError()
{
    const auto now = lastError();
    if (now == m_lastErrorSeen)
        return;
    m_lastErrorSeen = now;
    Q_EMIT lastErrorChanged();
}

} // namespace tavrenhold
