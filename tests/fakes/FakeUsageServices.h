#pragma once

// Fakes for the usage store's seams: the vendor clients, the web sign-in window and the URL opener.
// Header-only: they need the usage library, which the fakes library does not link.
#include "usage/UsageClients.h"
#include "usage/WebSignIn.h"

#include "base/Wakeup.h"
#include "platform/UrlOpener.h"

#include <QList>
#include <QPair>

#include <deque>
#include <map>
#include <memory>

namespace tavrenhold::test {

// Waits that a test lets through one at a time, oldest first.
class HeldCalls {
public:
    QCoro::Task<void> wait(bool hold)
    {
        if (!hold)
            co_return;
        auto wakeup = std::make_shared<Wakeup>();
        m_held.push_back(wakeup);
        co_await wakeup->wait();
    }
    bool release()
    {
        if (m_held.empty())
            return false;
        auto wakeup = m_held.front();
        m_held.pop_front();
        wakeup->fire();
        return true;
    }
    [[nodiscard]] int count() const { return int(m_held.size()); }

private:
    std::deque<std::shared_ptr<Wakeup>> m_held;
};

// Vendor clients with scripted answers. A fetch answers `results[vendor]`, else a report with
// plan "Pro" and no limits; every call is logged with its session and token.
class FakeUsageClients {
public:
    static UsageReport report(UsageVendor vendor, QString plan = QStringLiteral("Pro"))
    {
        UsageReport r;
        r.vendor = vendor;
        r.plan = std::move(plan);
        return r;
    }

    UsageClients clients()
    {
        UsageClients c;
        c.fetch = [this](UsageVendor v, UsageSession s, QNetworkAccessManager &, CancelToken t) { return fetch(v, s, t); };
        c.grokLogin = [this](QDateTime now) { return grokLogin(now); };
        c.grokNoLoginMessage = grokMessage;
        c.copilotDeviceCode = [this](QNetworkAccessManager &, CancelToken t) { return deviceCode(t); };
        c.copilotPollToken = [this](CopilotDeviceCode code, QNetworkAccessManager &, Clock &, CancelToken t) {
            return pollToken(code, t);
        };
        return c;
    }

    struct FetchCall {
        UsageVendor vendor;
        UsageSession session;
        CancelToken token;
    };

    std::map<UsageVendor, UsageFetchResult> results;
    std::optional<UsageFailure> grokFailure;
    std::optional<UsageFailure> deviceCodeFailure;
    std::optional<UsageFailure> tokenFailure;
    CopilotDeviceCode code{QStringLiteral("dev-1"), QStringLiteral("ABCD-1234"),
                           QUrl(QStringLiteral("https://github.test/login/device")), 5, 900};
    QString accessToken = QStringLiteral("gho_token");
    QString grokMessage = QStringLiteral("No Grok CLI login.");

    bool holdFetches = false;
    bool holdGrok = false;
    bool holdDeviceCode = false;
    bool holdPoll = false;
    HeldCalls held;

    QList<FetchCall> fetches;
    int grokCalls = 0;
    int deviceCodeCalls = 0;
    int pollCalls = 0;
    [[nodiscard]] int fetchesOf(UsageVendor vendor) const
    {
        int n = 0;
        for (const auto &call : fetches)
            n += call.vendor == vendor ? 1 : 0;
        return n;
    }

private:
    QCoro::Task<UsageFetchResult> fetch(UsageVendor vendor, UsageSession session, CancelToken token)
    {
        fetches << FetchCall{vendor, session, token};
        co_await held.wait(holdFetches);
        if (token.isCancelled())
            co_return UsageFetchResult::failure(UsageCancelled{});
        const auto found = results.find(vendor);
        co_return found == results.end() ? UsageFetchResult(report(vendor)) : found->second;
    }
    QCoro::Task<Status<UsageFailure>> grokLogin(QDateTime)
    {
        ++grokCalls;
        co_await held.wait(holdGrok);
        if (grokFailure)
            co_return Status<UsageFailure>::failure(*grokFailure);
        co_return Ok{};
    }
    QCoro::Task<Result<CopilotDeviceCode, UsageFailure>> deviceCode(CancelToken token)
    {
        ++deviceCodeCalls;
        co_await held.wait(holdDeviceCode);
        if (token.isCancelled())
            co_return Result<CopilotDeviceCode, UsageFailure>::failure(UsageCancelled{});
        if (deviceCodeFailure)
            co_return Result<CopilotDeviceCode, UsageFailure>::failure(*deviceCodeFailure);
        co_return code;
    }
    QCoro::Task<Result<QString, UsageFailure>> pollToken(CopilotDeviceCode, CancelToken token)
    {
        ++pollCalls;
        co_await held.wait(holdPoll);
        if (token.isCancelled())
            co_return Result<QString, UsageFailure>::failure(UsageCancelled{});
        if (tokenFailure)
            co_return Result<QString, UsageFailure>::failure(*tokenFailure);
        co_return accessToken;
    }
};

// A sign-in window that stays open until the test finishes it (or the store closes it).
class FakeWebSignIn final : public WebSignIn {
public:
    bool isOpen() const override { return m_open != nullptr; }
    void cancelOpen() override
    {
        ++cancelOpenCalls;
        finish(Result<UsageSession, LoginError>::failure(LoginError{LoginError::Kind::cancelled}));
    }
    QCoro::Task<Result<UsageSession, LoginError>> signIn(UsageVendor vendor) override
    {
        opened << vendor;
        auto open = std::make_shared<Open>();
        m_open = open;
        co_await open->wakeup.wait();
        co_return *open->result;
    }

    // Ends the open sign-in with result; false when none is open.
    bool finish(Result<UsageSession, LoginError> result)
    {
        auto open = std::exchange(m_open, nullptr);
        if (!open)
            return false;
        open->result = std::move(result);
        open->wakeup.fire();
        return true;
    }

    QList<UsageVendor> opened;
    int cancelOpenCalls = 0;

private:
    struct Open {
        Wakeup wakeup;
        std::optional<Result<UsageSession, LoginError>> result;
    };
    std::shared_ptr<Open> m_open;
};

class FakeUrlOpener final : public platform::UrlOpener {
public:
    bool open(const QUrl &url) override
    {
        opened << url;
        return true;
    }
    QList<QUrl> opened;
};

} // namespace tavrenhold::test
