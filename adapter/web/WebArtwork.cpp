// The helper's web downloads, in a module of their own that the helper loads only when a cover
// lies on the web (see fetchArtwork()).

#include "Artwork.h"

#include <QCoroSignal>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QTimer>
#include <QUrl>

#include <memory>

namespace {

// The download may end inside a signal of the reply: the reply and its manager go later, not there.
struct DeleteLater {
    void operator()(QObject *object) const { object->deleteLater(); }
};

QCoro::Task<std::optional<QByteArray>> download(QUrl url, qint64 cap, std::chrono::milliseconds time)
{
    const std::unique_ptr<QNetworkAccessManager, DeleteLater> manager(new QNetworkAccessManager);
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);
    request.setTransferTimeout(int(time.count()));
    // The certificates SSL_CERT_FILE names are trusted besides the system's, as OpenSSL's own
    // tools do.
    if (const QString extra = qEnvironmentVariable("SSL_CERT_FILE"); !extra.isEmpty() && url.scheme() == QLatin1String("https")) {
        QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
        ssl.addCaCertificates(extra, QSsl::Pem);
        request.setSslConfiguration(ssl);
    }
    QNetworkReply *reply = manager->get(request); // the manager's child
    QByteArray bytes;
    bool refused = false;
    auto refuse = [&] {
        refused = true;
        reply->abort();
    };
    // Read as it comes, so more than the cap is never held; an announced length beyond it ends
    // the download before the body.
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [&] {
        if (reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > cap)
            refuse();
    });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [&] {
        bytes += reply->read(cap + 1 - bytes.size());
        if (bytes.size() > cap)
            refuse();
    });
    // The transfer time-out counts from the last byte; a slow trickle ends here.
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, reply, refuse);
    deadline.start(time);
    if (!reply->isFinished())
        co_await qCoro(reply, &QNetworkReply::finished);
    deadline.stop();
    // Nothing more reaches this download's values, which go with it.
    QObject::disconnect(reply, nullptr, nullptr, nullptr);
    if (refused || reply->error() != QNetworkReply::NoError)
        co_return std::nullopt;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    bytes += reply->read(cap + 1 - bytes.size());
    if (status < 200 || status > 299 || bytes.isEmpty() || bytes.size() > cap)
        co_return std::nullopt;
    co_return bytes;
}

} // namespace

extern "C" Q_DECL_EXPORT QCoro::Task<std::optional<QByteArray>> tavrenholdDownloadArtwork(QUrl url, qint64 cap,
                                                                                         std::chrono::milliseconds time)
{
    return download(std::move(url), cap, time);
}
