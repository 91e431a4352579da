#pragma once

#include <QCoroTask>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <optional>

namespace tavrenhold::test {

// Runs a task to its end on a nested event loop (results without a default value, unlike
// QCoro::waitFor); a task still running after `ceiling` ends the test program.
template <typename T>
T finish(QCoro::Task<T> task, int ceiling = 60000)
{
    std::optional<T> out;
    QEventLoop loop;
    auto run = [&]() -> QCoro::Task<> {
        out.emplace(co_await std::move(task));
        loop.quit();
    };
    auto running = run();
    if (!out) {
        QTimer::singleShot(ceiling, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (!out)
        qFatal("a usage task did not finish");
    return std::move(*out);
}

} // namespace tavrenhold::test

#include "usage/UsageEndpoints.h"
#include "usage/UsageHTTP.h"

#include "fakes/FakeHttpServer.h"

#include <QNetworkAccessManager>

namespace tavrenhold::test {

// A vendor faked on 127.0.0.1, a second origin on another port for redirects, and endpoints
// whose every origin is the vendor's fake.
struct VendorFake {
    QNetworkAccessManager network;
    FakeHttpServer server;
    FakeHttpServer other;
    UsageEndpoints endpoints;

    bool start()
    {
        if (!server.listen() || !other.listen())
            return false;
        const QString o = server.origin();
        for (QString *field : {&endpoints.openaiWeb, &endpoints.openaiApi, &endpoints.anthropicWeb,
                 &endpoints.googleWeb, &endpoints.xaiProxy, &endpoints.cursorWeb, &endpoints.cursorApi,
                 &endpoints.copilotWeb, &endpoints.copilotApi})
            *field = o;
        return true;
    }
    // Every request header that must not reach another origin.
    static QList<QByteArray> credentialHeaders()
    {
        return {"cookie", "authorization", "chatgpt-account-id", "x-xai-token-auth", "referer", "origin"};
    }
};

// A JSON text from a compact literal with single quotes for double quotes (keeps tables readable).
inline QByteArray js(const char *text) { return QByteArray(text).replace('\'', '"'); }

} // namespace tavrenhold::test
