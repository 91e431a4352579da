#include "SignInRelay.h"

#include <QSocketNotifier>

#include <cerrno>
#include <unistd.h>

namespace {

QByteArray field(const QByteArray &bytes)
{
    // An empty field would vanish between two spaces: "-" stands for it, and "-" itself is encoded.
    if (bytes.isEmpty())
        return QByteArrayLiteral("-");
    if (bytes == "-")
        return QByteArrayLiteral("%2D");
    return bytes.toPercentEncoding();
}

QByteArray field(const QString &text) { return field(text.toUtf8()); }

} // namespace

SignInRelay::SignInRelay(int toParent, int fromParent, QObject *parent)
    : QObject(parent), m_toParent(toParent), m_fromParent(fromParent)
{
    m_notifier = new QSocketNotifier(m_fromParent, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignInRelay::readParent);
}

void SignInRelay::cookieAdded(const QNetworkCookie &cookie)
{
    send("cookie+ " + field(cookie.name()) + ' ' + field(cookie.domain()) + ' ' + field(cookie.path()) + ' '
         + field(cookie.value()));
}

void SignInRelay::cookieRemoved(const QNetworkCookie &cookie)
{
    send("cookie- " + field(cookie.name()) + ' ' + field(cookie.domain()) + ' ' + field(cookie.path()));
}

void SignInRelay::addressChanged(const QUrl &address)
{
    // The parent reads only the host and the path; what else an address carries (tokens in queries
    // and fragments, user names) stays here.
    const QUrl shown = address.adjusted(QUrl::RemoveUserInfo | QUrl::RemoveQuery | QUrl::RemoveFragment);
    send("address " + field(shown.toEncoded()));
}

void SignInRelay::donePressed() { send("done"); }

void SignInRelay::windowClosed()
{
    if (!m_quitting)
        send("closed");
}

void SignInRelay::send(const QByteArray &line)
{
    if (m_toParent < 0)
        return;
    const QByteArray whole = line + '\n';
    qsizetype written = 0;
    while (written < whole.size()) {
        const ssize_t n = ::write(m_toParent, whole.constData() + written, size_t(whole.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            lost();
            return;
        }
        written += n;
    }
}

void SignInRelay::readParent()
{
    char buffer[256];
    const ssize_t n = ::read(m_fromParent, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (n <= 0) {
        lost();
        return;
    }
    m_pending.append(buffer, n);
    if (m_pending.size() > 1024) { // the parent says nothing this long
        lost();
        return;
    }
    qsizetype end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        const QByteArray line = m_pending.left(end);
        m_pending.remove(0, end + 1);
        if (line == "quit") {
            lost();
            return;
        }
    }
}

// The parent asked to quit or cannot hear us any more: nothing more is said, the program ends.
void SignInRelay::lost()
{
    if (m_quitting)
        return;
    m_quitting = true;
    m_notifier->setEnabled(false);
    ::close(m_toParent);
    m_toParent = -1;
    Q_EMIT quitRequested();
}
