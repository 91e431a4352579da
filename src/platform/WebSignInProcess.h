#pragma once

#include "WebSignInWindow.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

class QProcess;

namespace tavrenhold::platform {

// Reads what the sign-in program writes to us, one line per event, every field percent-encoded
// ("-" for an empty one):
//     cookie+ <name> <domain> <path> <value>      a cookie arrived (or was set again)
//     cookie- <name> <domain> <path>              a cookie went
//     address <url>                               the page's current address
//     done                                        the Done button was pressed
//     closed                                      the user closed the window
// The program shows web pages, so what it says is treated as hostile: lines, fields and the jar are
// bounded, and anything that does not read exactly so breaks the pipe for good.
class SignInPipe {
public:
    static constexpr qsizetype maxLineBytes = 64 * 1024;
    static constexpr qsizetype maxCookies = 4000;

    enum class Notice { done, closed };

    // Takes the next bytes and applies every complete line; gives the notices of those lines in
    // order, or none when a line cannot be read (then every later call gives none as well).
    [[nodiscard]] std::optional<QList<Notice>> feed(const QByteArray &bytes);

    [[nodiscard]] bool broken() const { return m_broken; }
    // The jar: keyed by name, domain and path, in the order the cookies last arrived.
    [[nodiscard]] const QList<WebCookie> &cookies() const { return m_cookies; }
    [[nodiscard]] const QUrl &address() const { return m_address; }

private:
    [[nodiscard]] bool apply(const QByteArray &line, QList<Notice> &notices);

    QByteArray m_pending;
    QList<WebCookie> m_cookies;
    QUrl m_address;
    bool m_broken = false;
};

// The sign-in window as a program of its own (libexec/tavrenhold/tavrenhold-signin), so that the web
// engine never enters this one. The program dies with us, leads a process group of its own that is
// ended with it, and its errors go to the null device. Destroying this object ends the program.
class WebSignInProcess final : public WebSignInWindow {
    Q_OBJECT

public:
    // How long the program has to quit when told before its group gets SIGKILL.
    static constexpr int quitGraceMs = 3000;

    explicit WebSignInProcess(QString program = defaultProgram(), QObject *parent = nullptr);
    ~WebSignInProcess() override;

    // <prefix>/libexec/tavrenhold/tavrenhold-signin of the running program.
    [[nodiscard]] static QString defaultProgram();

    void open(const WebSignInPage &page) override;
    void close() override;
    [[nodiscard]] QList<WebCookie> cookies() const override { return m_pipe.cookies(); }
    [[nodiscard]] QUrl address() const override { return m_pipe.address(); }

    // The program's process id while it runs, else 0.
    [[nodiscard]] qint64 processId() const;

private:
    enum class State { idle, open, ended };

    void read();
    void exited();
    void fail();
    void end();
    void post(void (WebSignInWindow::*signal)());

    QString m_program;
    QProcess *m_process = nullptr;
    SignInPipe m_pipe;
    State m_state = State::idle;
    bool m_userClosed = false;
    bool m_silenced = false; // closed by its owner
};

} // namespace tavrenhold::platform
