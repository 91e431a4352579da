#pragma once

#include <QList>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace tavrenhold {

// The vendor hosts the usage clients and sign-in windows talk to. Origins are "scheme://host[:port]"
// without a trailing slash. Defaults are the vendors' public https hosts; the JSON file named by
// TAVRENHOLD_USAGE_ENDPOINTS overrides any of them (see the README).
struct UsageEndpoints {
    QString openaiWeb = QStringLiteral("https://chatgpt.com");
    QString openaiApi = QStringLiteral("https://api.openai.com");
    QString anthropicWeb = QStringLiteral("https://claude.ai");
    QString googleWeb = QStringLiteral("https://gemini.google.com");
    QString googleAccounts = QStringLiteral("https://accounts.google.com");
    QString googleDomain = QStringLiteral("google.com"); // a bare domain
    QString xaiProxy = QStringLiteral("https://cli-chat-proxy.grok.com");
    QString xaiAuth = QStringLiteral("https://auth.x.ai");
    QString xaiAccounts = QStringLiteral("https://accounts.x.ai");
    QString xaiDownload = QStringLiteral("x.ai/cli"); // host and path, no scheme
    QString cursorWeb = QStringLiteral("https://cursor.com");
    QString cursorApi = QStringLiteral("https://api2.cursor.sh");
    QString cursorAuthenticator = QStringLiteral("https://authenticator.cursor.sh");
    QString copilotWeb = QStringLiteral("https://github.com");
    QString copilotApi = QStringLiteral("https://api.github.com");
    QString copilotClientID = builtInCopilotClientID();
    // Certificates usage requests trust besides the system's.
    QList<QSslCertificate> caCertificates;

    bool operator==(const UsageEndpoints &) const = default;

    // The defaults with the file named by TAVRENHOLD_USAGE_ENDPOINTS applied; each problem with it
    // is one line on stderr, and the defaults stay for what it got wrong. Read once per run.
    [[nodiscard]] static const UsageEndpoints &shared();
    // The defaults with one file applied; problems are appended to `problems`, one line each.
    [[nodiscard]] static UsageEndpoints fromFile(const QString &path, QStringList *problems);

    // A request for url that trusts caCertificates as well as the system's.
    [[nodiscard]] QNetworkRequest request(const QUrl &url) const;

    [[nodiscard]] static QString builtInCopilotClientID();
};

} // namespace tavrenhold
