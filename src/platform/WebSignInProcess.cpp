#include "WebSignInProcess.h"

#include "InstallLayout.h"

#include <QCoreApplication>
#include <QPointer>
#include <QProcess>
#include <QStringDecoder>
#include <QTimer>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace tavrenhold::platform {

namespace {

bool isHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool isUnreserved(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
        || c == '_' || c == '~';
}

// One field: "-" for empty, else nothing but unreserved characters and %XX escapes.
std::optional<QByteArray> decodeField(const QByteArray &field)
{
    if (field == "-")
        return QByteArray();
    if (field.isEmpty())
        return std::nullopt;
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field.at(i);
        if (isUnreserved(c))
            continue;
        if (c == '%' && i + 2 < field.size() && isHex(field.at(i + 1)) && isHex(field.at(i + 2))) {
            i += 2;
            continue;
        }
        return std::nullopt;
    }
    return QByteArray::fromPercentEncoding(field);
}

// Decoded text: valid UTF-8 without control characters (a tab only where allowed).
std::optional<QString> decodeText(const QByteArray &field, bool allowTab = false)
{
    const auto bytes = decodeField(field);
    if (!bytes)
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    QString text = decoder(*bytes);
    if (decoder.hasError())
        return std::nullopt;
    for (const QChar c : std::as_const(text)) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && !(allowTab && u == u'\t')) || u == 0x7f)
            return std::nullopt;
    }
    return text;
}

qsizetype indexOf(const QList<WebCookie> &jar, const WebCookie &cookie)
{
    for (qsizetype i = 0; i < jar.size(); ++i) {
        const WebCookie &c = jar.at(i);
        if (c.name == cookie.name && c.domain == cookie.domain && c.path == cookie.path)
            return i;
    }
    return -1;
}

} // namespace

std::optional<QList<SignInPipe::Notice>> SignInPipe::feed(const QByteArray &bytes)
{
    if (m_broken)
        return std::nullopt;
    m_pending += bytes;
    QList<Notice> notices;
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = m_pending.indexOf('\n', start);
        if (end < 0)
            break;
        if (end - start > maxLineBytes || !apply(m_pending.sliced(start, end - start), notices)) {
            m_broken = true;
            m_pending.clear();
            return std::nullopt;
        }
        start = end + 1;
    }
    m_pending.remove(0, start);
    if (m_pending.size() > maxLineBytes) {
        m_broken = true;
        m_pending.clear();
        return std::nullopt;
    }
    return notices;
}

bool SignInPipe::apply(const QByteArray &line, QList<Notice> &notices)
{
    if (line == "done") {
        notices.append(Notice::done);
        return true;
    }
    if (line == "closed") {
        notices.append(Notice::closed);
        return true;
    }
    const QList<QByteArray> fields = line.split(' ');
    const QByteArray &kind = fields.constFirst();
    if (kind == "address" && fields.size() == 2) {
        const auto text = decodeText(fields.at(1));
        if (!text)
            return false;
        const QUrl address(*text, QUrl::StrictMode);
        if (!address.isValid())
            return false;
        m_address = address;
        return true;
    }
    const bool added = kind == "cookie+" && fields.size() == 5;
    const bool removed = kind == "cookie-" && fields.size() == 4;
    if (!added && !removed)
        return false;
    const auto name = decodeText(fields.at(1));
    const auto domain = decodeText(fields.at(2));
    const auto path = decodeText(fields.at(3));
    const auto value = added ? decodeText(fields.at(4), true) : std::optional<QString>(QString());
    if (!name || !domain || !path || !value)
        return false;
    if (name->isEmpty()) // a cookie without a name is nobody's session
        return true;
    const WebCookie cookie{*name, *domain, *path, *value};
    if (const qsizetype at = indexOf(m_cookies, cookie); at >= 0)
        m_cookies.removeAt(at);
    if (added) {
        if (m_cookies.size() >= maxCookies)
            return false;
        m_cookies.append(cookie);
    }
    return true;
}

WebSignInProcess::WebSignInProcess(QString program, QObject *parent)
    : WebSignInWindow(parent), m_program(std::move(program))
{
}

WebSignInProcess::~WebSignInProcess() { end(); }

QString WebSignInProcess::defaultProgram()
{
    return InstallLayout::current().libexecDir() + QStringLiteral("/tavrenhold-signin");
}

qint64 WebSignInProcess::processId() const { return m_process ? m_process->processId() : 0; }

void WebSignInProcess::open(const WebSignInPage &page)
{
    if (m_state != State::idle)
        return;
    m_state = State::open;
    m_process = new QProcess;
    m_process->setProgram(m_program);
    m_process->setArguments({QStringLiteral("--url"), QString::fromUtf8(page.url.toEncoded()), QStringLiteral("--title"),
                             page.title, QStringLiteral("--user-agent"), page.userAgent});
    m_process->setStandardErrorFile(QProcess::nullDevice());
    const pid_t parent = ::getpid();
    m_process->setChildProcessModifier([parent] {
        // Between fork and exec: only async-signal-safe calls.
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) // we died before the line above took effect
            ::_exit(127);
    });
    connect(m_process, &QProcess::readyReadStandardOutput, this, &WebSignInProcess::read);
    connect(m_process, &QProcess::finished, this, &WebSignInProcess::exited);
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            fail();
    });
    m_process->start(QIODevice::ReadWrite);
}

void WebSignInProcess::close()
{
    m_silenced = true;
    end();
}

void WebSignInProcess::read()
{
    if (m_state != State::open)
        return;
    const auto notices = m_pipe.feed(m_process->readAllStandardOutput());
    if (!notices) {
        fail();
        return;
    }
    for (const SignInPipe::Notice notice : *notices) {
        if (notice == SignInPipe::Notice::done) {
            post(&WebSignInWindow::donePressed);
        } else if (!m_userClosed) {
            m_userClosed = true;
            post(&WebSignInWindow::closedByUser);
        }
    }
}

void WebSignInProcess::exited()
{
    if (m_state != State::open)
        return;
    read();
    // Gone by itself, not after the user closed the window: a crash, or a program that cannot run.
    if (m_state == State::open && !m_userClosed)
        fail();
}

void WebSignInProcess::fail()
{
    if (m_state != State::open)
        return;
    end();
    post(&WebSignInWindow::failed);
}

// Signals go out on a later turn of the event loop, so that whoever hears them may close and drop
// this window at once; once the owner has closed the window nothing more is said.
void WebSignInProcess::post(void (WebSignInWindow::*signal)())
{
    QMetaObject::invokeMethod(
        this,
        [this, signal] {
            if (!m_silenced)
                Q_EMIT(this->*signal)();
        },
        Qt::QueuedConnection);
}

void WebSignInProcess::end()
{
    m_state = State::ended;
    QProcess *process = std::exchange(m_process, nullptr);
    if (!process)
        return;
    process->disconnect(this);
    const pid_t group = pid_t(process->processId());
    // Kept by the application until the program has exited, so nothing waits for it here.
    process->setParent(QCoreApplication::instance());
    if (process->state() == QProcess::NotRunning) {
        process->deleteLater();
        return;
    }
    process->write("quit\n");
    process->closeWriteChannel();
    process->closeReadChannel(QProcess::StandardOutput);
    QObject::connect(process, &QProcess::finished, process, [process, group] {
        // Whatever the web engine left in the group goes with it.
        if (group > 0)
            ::kill(-group, SIGKILL);
        process->deleteLater();
    });
    QTimer::singleShot(quitGraceMs, process, [process, group] {
        if (process->state() == QProcess::NotRunning)
            return;
        if (group > 0)
            ::kill(-group, SIGKILL);
        process->kill();
    });
}

} // namespace tavrenhold::platform
