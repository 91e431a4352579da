#include "UsageEndpoints.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSslConfiguration>

#include <cstdio>

#ifndef TAVRENHOLD_COPILOT_CLIENT_ID
#define TAVRENHOLD_COPILOT_CLIENT_ID ""
#endif

namespace tavrenhold {

namespace {

enum class Form { origin, domain, hostPath, text };

struct Key {
    const char *name;
    QString UsageEndpoints::*field;
    Form form;
};

const Key keys[] = {
    {"openai.web", &UsageEndpoints::openaiWeb, Form::origin},
    {"openai.api", &UsageEndpoints::openaiApi, Form::origin},
    {"anthropic.web", &UsageEndpoints::anthropicWeb, Form::origin},
    {"google.web", &UsageEndpoints::googleWeb, Form::origin},
    {"google.accounts", &UsageEndpoints::googleAccounts, Form::origin},
    {"google.domain", &UsageEndpoints::googleDomain, Form::domain},
    {"xai.proxy", &UsageEndpoints::xaiProxy, Form::origin},
    {"xai.auth", &UsageEndpoints::xaiAuth, Form::origin},
    {"xai.accounts", &UsageEndpoints::xaiAccounts, Form::origin},
    {"xai.download", &UsageEndpoints::xaiDownload, Form::hostPath},
    {"cursor.web", &UsageEndpoints::cursorWeb, Form::origin},
    {"cursor.api", &UsageEndpoints::cursorApi, Form::origin},
    {"cursor.authenticator", &UsageEndpoints::cursorAuthenticator, Form::origin},
    {"copilot.web", &UsageEndpoints::copilotWeb, Form::origin},
    {"copilot.api", &UsageEndpoints::copilotApi, Form::origin},
    {"copilot.clientID", &UsageEndpoints::copilotClientID, Form::text},
};

bool plainText(const QString &s)
{
    for (QChar c : s)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c.isSpace())
            return false;
    return true;
}

// The origin as "scheme://host[:port]", or empty when the text is not one.
QString origin(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme();
    if (!url.isValid() || (scheme != u"https" && scheme != u"http") || url.host().isEmpty()
        || !url.userInfo().isEmpty() || !(url.path().isEmpty() || url.path() == u"/") || url.hasQuery()
        || url.hasFragment() || !plainText(text))
        return {};
    QString out = scheme + QStringLiteral("://") + url.host(QUrl::FullyEncoded);
    if (url.port() != -1)
        out += u':' + QString::number(url.port());
    return out;
}

bool domain(const QString &text)
{
    if (text.isEmpty() || !plainText(text) || text.contains(u'/') || text.contains(u':'))
        return false;
    const QUrl url(QStringLiteral("https://") + text, QUrl::StrictMode);
    return url.isValid() && url.host() == text.toLower();
}

bool hostPath(const QString &text)
{
    if (text.isEmpty() || !plainText(text) || text.contains(QStringLiteral("://")))
        return false;
    const QUrl url(QStringLiteral("https://") + text, QUrl::StrictMode);
    return url.isValid() && !url.host().isEmpty() && url.userInfo().isEmpty();
}

} // namespace

QString UsageEndpoints::builtInCopilotClientID() { return QStringLiteral(TAVRENHOLD_COPILOT_CLIENT_ID); }

UsageEndpoints UsageEndpoints::fromFile(const QString &path, QStringList *problems)
{
    UsageEndpoints e;
    auto problem = [problems](const QString &line) {
        if (problems)
            problems->append(line);
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        problem(QStringLiteral("cannot read the usage endpoints file %1").arg(path));
        return e;
    }
    const QByteArray bytes = file.read(1 << 20);
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        problem(QStringLiteral("the usage endpoints file %1 is not a JSON object").arg(path));
        return e;
    }
    const QJsonObject object = doc.object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QString name = it.key();
        if (name == u"caFile") {
            const QList<QSslCertificate> certs =
                it->isString() ? QSslCertificate::fromPath(it->toString(), QSsl::Pem) : QList<QSslCertificate>{};
            if (certs.isEmpty())
                problem(QStringLiteral("usage endpoints: caFile holds no PEM certificate"));
            else
                e.caCertificates = certs;
            continue;
        }
        const Key *key = nullptr;
        for (const Key &k : keys)
            if (name == QLatin1String(k.name))
                key = &k;
        if (!key) {
            problem(QStringLiteral("usage endpoints: unknown key %1").arg(name));
            continue;
        }
        const QString value = it->toString();
        QString accepted;
        bool ok = it->isString();
        if (ok) {
            switch (key->form) {
            case Form::origin:
                accepted = origin(value);
                ok = !accepted.isEmpty();
                break;
            case Form::domain:
                ok = domain(value);
                accepted = value.toLower();
                break;
            case Form::hostPath:
                ok = hostPath(value);
                accepted = value;
                break;
            case Form::text:
                ok = plainText(value);
                accepted = value;
                break;
            }
        }
        if (!ok) {
            problem(QStringLiteral("usage endpoints: %1 is not a valid value").arg(name));
            continue;
        }
        e.*(key->field) = accepted;
    }
    return e;
}

const UsageEndpoints &UsageEndpoints::shared()
{
    static const UsageEndpoints endpoints = [] {
        const QString path = qEnvironmentVariable("TAVRENHOLD_USAGE_ENDPOINTS");
        if (path.isEmpty())
            return UsageEndpoints{};
        QStringList problems;
        UsageEndpoints e = fromFile(path, &problems);
        for (const QString &line : problems)
            std::fprintf(stderr, "tavrenhold: %s\n", qUtf8Printable(line));
        return e;
    }();
    return endpoints;
}

QNetworkRequest UsageEndpoints::request(const QUrl &url) const
{
    QNetworkRequest request(url);
    if (!caCertificates.isEmpty()) {
        QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
        ssl.addCaCertificates(caCertificates);
        request.setSslConfiguration(ssl);
    }
    return request;
}

} // namespace tavrenhold
