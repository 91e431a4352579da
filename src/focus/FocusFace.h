#pragma once

#include "FocusPane.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace tavrenhold {

// What the Focus pane's view shows, all computed at one moment, `now`, which the view refreshes
// while it is on screen. A change of the pane's state shows at once, still at the last `now`.
class FocusFace : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(tavrenhold::FocusPane *pane READ pane WRITE setPane NOTIFY paneChanged)
    Q_PROPERTY(QDateTime now READ now WRITE setNow NOTIFY nowChanged)
    Q_PROPERTY(QString title READ title NOTIFY changed)
    Q_PROPERTY(QString time READ time NOTIFY changed)
    Q_PROPERTY(double progress READ progress NOTIFY changed)
    Q_PROPERTY(int rounds READ rounds NOTIFY changed)
    Q_PROPERTY(QString roundsText READ roundsText NOTIFY changed)
    Q_PROPERTY(bool running READ running NOTIFY changed)

public:
    explicit FocusFace(QObject *parent = nullptr);

    [[nodiscard]] FocusPane *pane() const { return m_pane; }
    void setPane(FocusPane *pane);
    [[nodiscard]] QDateTime now() const { return m_now; }
    void setNow(const QDateTime &now);
    // Sets `now` from the pane's clock.
    Q_INVOKABLE void refresh();

    // "FOCUS", "BREAK" or "LONG BREAK" (not translated).
    [[nodiscard]] QString title() const;
    [[nodiscard]] QString time() const;
    [[nodiscard]] double progress() const;
    [[nodiscard]] int rounds() const;
    // "1 round today", else "<n> rounds today".
    [[nodiscard]] QString roundsText() const;
    [[nodiscard]] bool running() const;

Q_SIGNALS:
    void paneChanged();
    void nowChanged();
    void changed();

private:
    [[nodiscard]] double at() const;

    QPointer<FocusPane> m_pane;
    QMetaObject::Connection m_stateConnection;
    QDateTime m_now;
};

} // namespace tavrenhold
