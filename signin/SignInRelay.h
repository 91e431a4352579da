#pragma once

#include <QByteArray>
#include <QNetworkCookie>
#include <QObject>
#include <QUrl>

class QSocketNotifier;

// The sign-in window's only way out: one line per event on a pipe to the parent, every field
// percent-encoded so that no field holds a space or a line break:
//     cookie+ <name> <domain> <path> <value>
//     cookie- <name> <domain> <path>
//     address <url without user, query and fragment>
//     done
//     closed
// From the parent it reads "quit" (or the end of its pipe), and then quits without reporting.
class SignInRelay : public QObject {
    Q_OBJECT

public:
    SignInRelay(int toParent, int fromParent, QObject *parent = nullptr);

    void cookieAdded(const QNetworkCookie &cookie);
    void cookieRemoved(const QNetworkCookie &cookie);
    Q_INVOKABLE void addressChanged(const QUrl &address);
    Q_INVOKABLE void donePressed();
    // The user closed the window.
    Q_INVOKABLE void windowClosed();

    [[nodiscard]] bool quitting() const { return m_quitting; }

Q_SIGNALS:
    // The parent asked to quit, or went away.
    void quitRequested();

private:
    void send(const QByteArray &line);
    void readParent();
    void lost();

    int m_toParent;
    int m_fromParent;
    QSocketNotifier *m_notifier = nullptr;
    QByteArray m_pending;
    bool m_quitting = false;
};
