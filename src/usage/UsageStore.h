#pragma once

#include "UsageClients.h"
#include "UsageModels.h"
#include "VendorSessionStore.h"
#include "WebSignIn.h"

#include "design/CancelToken.h"
#include "design/Clock.h"

#include <QCoroTask>
#include <QDateTime>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

#include <functional>
#include <optional>
#include <vector>

class QNetworkAccessManager;

namespace tavrenhold {

namespace platform {
class Defaults;
class Pasteboard;
class SecretStore;
class UrlOpener;
} // namespace platform

// What the usage store works with. Every service outlives the store.
struct UsageStoreServices {
    platform::Defaults &defaults;
    platform::SecretStore &secrets;
    Clock &clock;
    UsageClients clients;
    // The web sign-in window; without one, connecting a web vendor fails as a cancelled sign-in.
    WebSignIn *webSignIn = nullptr;
    platform::UrlOpener &urlOpener;
    // The clipboard, asked for only when a device code is put on it.
    std::function<platform::Pasteboard &()> clipboard;
    // The run's one URL session.
    QNetworkAccessManager &network;
};

// The AI usage monitor's model: which vendors are connected, the latest report and error of each,
// the gauges' samples, the chosen period and highlighted vendor; it refreshes every connected
// vendor together, then every 300 s, and connects and disconnects vendors. Main thread only.
//
// Start-up shows the stored connected vendors at once, reads the keyring asynchronously and applies
// the outcome in one step; connecting, disconnecting and refreshing asked for before then wait for
// it (a refresh asked for then is dropped: the polling loop refreshes once started). A keyring that cannot
// answer (locked, missing) never counts as "no session": start-up keeps the connection and its
// item, and a refresh shows that the keyring must be unlocked.
class UsageStore final : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The usage store is made by the application.")
    Q_PROPERTY(QStringList connectedVendors READ connectedVendorNames NOTIFY connectionsChanged)
    Q_PROPERTY(bool isRefreshing READ isRefreshing NOTIFY isRefreshingChanged)
    Q_PROPERTY(QDateTime lastRefreshedAt READ lastRefreshedAtOrNull NOTIFY lastRefreshedAtChanged)
    Q_PROPERTY(QString loginError READ loginErrorText NOTIFY loginErrorChanged)
    Q_PROPERTY(QString lastError READ lastErrorText NOTIFY lastErrorChanged)
    Q_PROPERTY(QString copilotUserCode READ copilotUserCodeText NOTIFY copilotUserCodeChanged)
    Q_PROPERTY(QString period READ periodName WRITE setPeriodName NOTIFY periodChanged)
    Q_PROPERTY(QString selectedVendor READ selectedVendorName WRITE setSelectedVendorName NOTIFY selectedVendorChanged)
    Q_PROPERTY(bool isStarted READ isStarted NOTIFY started)

public:
    static constexpr Millis pollInterval{300'000};

    // Starts at once: reads the defaults, then the keyring.
    explicit UsageStore(UsageStoreServices services, QObject *parent = nullptr);
    ~UsageStore() override;

    // The application's store over the real services, made (and started) on first use.
    static UsageStore &shared();

    // The xAI session: the Grok tool's own login stands behind it.
    [[nodiscard]] static UsageSession grokMarker();
    // Whether a stored session can still be used for the vendor.
    [[nodiscard]] static bool hasUsableCredential(UsageVendor vendor, const std::optional<UsageSession> &session);
    // The refresh text of a vendor whose session the keyring could not give.
    [[nodiscard]] static QString keyringUnavailableText(UsageVendor vendor);

    [[nodiscard]] bool isStarted() const { return m_started; }
    [[nodiscard]] const QMap<UsageVendor, UsageConnection> &connections() const { return m_connections; }
    [[nodiscard]] const QMap<UsageVendor, UsageReport> &reports() const { return m_reports; }
    [[nodiscard]] const QMap<UsageVendor, QString> &errors() const { return m_errors; }
    [[nodiscard]] const QList<UsageVendorSample> &samples() const { return m_samples; }
    [[nodiscard]] bool isRefreshing() const { return m_isRefreshing; }
    [[nodiscard]] std::optional<QDateTime> lastRefreshedAt() const { return m_lastRefreshedAt; }
    [[nodiscard]] std::optional<QString> loginError() const { return m_loginError; }
    [[nodiscard]] std::optional<QString> copilotUserCode() const { return m_copilotUserCode; }
    [[nodiscard]] UsagePeriod period() const { return m_period; }
    [[nodiscard]] std::optional<UsageVendor> selectedVendor() const { return m_selectedVendor; }

    // The vendor's connection state; disconnected when it has no entry.
    [[nodiscard]] UsageAuthState state(UsageVendor vendor) const;
    // Connected vendors in alphabetical order of their names.
    [[nodiscard]] QList<UsageVendor> connectedVendors() const;
    // The connect error, else the first vendor's fetch error in alphabetical order.
    [[nodiscard]] std::optional<QString> lastError() const;
    [[nodiscard]] std::optional<UsageShare> selectedShare() const;
    [[nodiscard]] std::optional<UsageVendorWindow> window(UsageVendor vendor) const;
    [[nodiscard]] std::optional<UsageReport> report(UsageVendor vendor) const;

    // Each write stores the key (and rebuilds the samples) even when the value is unchanged.
    void setPeriod(UsagePeriod period);
    void setSelectedVendor(std::optional<UsageVendor> vendor);
    Q_INVOKABLE void cyclePeriod();

    // Fetches every connected vendor at once and applies the results together; does nothing while
    // another refresh runs or when nothing is connected.
    QCoro::Task<void> refresh();
    // The same, for a view's button.
    Q_INVOKABLE void requestRefresh();

    using QObject::disconnect;
    void beginConnect(UsageVendor vendor);
    // Deletes the vendor's session, then forgets the vendor. A connected vendor whose session the
    // keyring keeps (locked, not answering) stays connected, its error saying the keyring is locked;
    // so does one whose new session could not replace the old.
    void disconnect(UsageVendor vendor);
    void disconnectAll();

    // For QML: vendors by raw value.
    Q_INVOKABLE void beginConnect(const QString &vendor);
    Q_INVOKABLE void disconnect(const QString &vendor);
    Q_INVOKABLE void disconnectAllVendors() { disconnectAll(); }

    // Whether the polling loop runs.
    [[nodiscard]] bool isPolling() const { return m_pollToken.has_value(); }

Q_SIGNALS:
    void started();
    void connectionsChanged();
    void reportsChanged();
    void errorsChanged();
    void samplesChanged();
    void isRefreshingChanged();
    void lastRefreshedAtChanged();
    void loginErrorChanged();
    void lastErrorChanged();
    void copilotUserCodeChanged();
    void periodChanged();
    void selectedVendorChanged();

private:
    QCoro::Task<void> startUp();
    void applyStartup(const QMap<UsageVendor, UsageConnection> &kept);
    void whenStarted(std::function<void()> step);
    // After the connections changed: the samples follow, a selection whose vendor is gone moves to
    // the first connected vendor, the connections are stored, and polling runs while any is connected.
    void settleConnections();

    void persist();
    void reloadSamples();
    void startPolling();
    void stopPolling();
    QCoro::Task<void> pollLoop(CancelToken token);
    QCoro::Task<UsageFetchResult> fetch(UsageVendor vendor, std::optional<UsageSession> stored, CancelToken token);

    QCoro::Task<void> connectVendor(UsageVendor vendor, CancelToken token);
    // The session of a vendor's sign-in; none with the failure's text, or none without a text
    // for a cancellation.
    QCoro::Task<Result<UsageSession, std::optional<QString>>> signIn(UsageVendor vendor, CancelToken token);
    void connectFailed(UsageVendor vendor, quint64 id, const CancelToken &token, const std::optional<QString> &message);
    void cancelConnect();
    QCoro::Task<void> disconnectVendor(UsageVendor vendor);
    QCoro::Task<void> disconnectAllVendorsNow();
    // The vendor stays (or is again) connected, its row saying the keyring must be unlocked.
    void keepConnectedOnLockedKeyring(UsageVendor vendor);

    void setConnections(QMap<UsageVendor, UsageConnection> connections);
    void setReports(QMap<UsageVendor, UsageReport> reports);
    void setErrors(QMap<UsageVendor, QString> errors);
    void setRefreshing(bool refreshing);
    void setLastRefreshedAt(std::optional<QDateTime> at);
    void setLoginError(std::optional<QString> text);
    void setCopilotUserCode(std::optional<QString> code);
    void noteLastError();

    [[nodiscard]] QStringList connectedVendorNames() const;
    [[nodiscard]] QDateTime lastRefreshedAtOrNull() const { return m_lastRefreshedAt.value_or(QDateTime()); }
    [[nodiscard]] QString loginErrorText() const { return m_loginError.value_or(QString()); }
    [[nodiscard]] QString lastErrorText() const { return lastError().value_or(QString()); }
    [[nodiscard]] QString copilotUserCodeText() const { return m_copilotUserCode.value_or(QString()); }
    [[nodiscard]] QString periodName() const { return rawValue(m_period); }
    void setPeriodName(const QString &raw);
    [[nodiscard]] QString selectedVendorName() const;
    void setSelectedVendorName(const QString &raw);

    UsageStoreServices m_services;
    VendorSessionStore m_sessions;

    QMap<UsageVendor, UsageConnection> m_connections;
    QMap<UsageVendor, UsageReport> m_reports;
    QMap<UsageVendor, QString> m_errors;
    QList<UsageVendorSample> m_samples;
    bool m_isRefreshing = false;
    std::optional<QDateTime> m_lastRefreshedAt;
    std::optional<QString> m_loginError;
    std::optional<QString> m_copilotUserCode;
    UsagePeriod m_period = UsagePeriod::today;
    std::optional<UsageVendor> m_selectedVendor;
    std::optional<QString> m_lastErrorSeen;

    std::optional<CancelToken> m_pollToken;
    std::optional<CancelToken> m_refreshToken;
    std::optional<CancelToken> m_connectToken;
    std::optional<UsageVendor> m_connectingVendor;
    quint64 m_connectingId = 0; // which connect set m_connectingVendor
    quint64 m_connectSerial = 0;

    bool m_started = false;
    std::vector<std::function<void()>> m_waitingForStart;
};

} // namespace tavrenhold
