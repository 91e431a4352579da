#pragma once

#include "NotchShellModel.h"

#include "design/CancelToken.h"
#include "design/Clock.h"
#include "design/NotchPane.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QQmlParserStatus>
#include <QString>
#include <QtQml/qqmlregistration.h>

#ifndef Q_MOC_RUN
#include <QCoroTask>
#endif

namespace tavrenhold {

// What the idle bar's ring shows: a fraction (0 … 1) and its caption.
struct RingReading {
    double progress = 0;
    QString label;
    bool operator==(const RingReading &) const = default;
};

// Whether a span makes the ring count by itself: its end lies after its start.
[[nodiscard]] bool ringTicks(const TimeSpan &span);
// The ring at `date` within `span` (which must tick): the date held within the span, the share of
// the span gone by then and the time left as a clock text.
[[nodiscard]] RingReading ringReading(const TimeSpan &span, const QDateTime &date);
// The timeline's tick that shows at `now`: the span's start, then every whole second after it.
[[nodiscard]] QDateTime ringTick(const TimeSpan &span, const QDateTime &now);

// The idle ring's timeline (RingSlot). Without a span that ticks, it shows the stored `progress`
// (clamped to 0 … 1) and `label`. With one, it shows the reading of the current tick and moves on
// each whole second from the span's start, by the shell's clock, until the span's end, where it
// holds at 1 and 0:00. It runs only while it exists.
class RingTimeline : public QObject, public QQmlParserStatus {
    Q_OBJECT
    QML_ELEMENT
    Q_INTERFACES(QQmlParserStatus)
    // Its clock is the shell's (the system clock without a shell).
    Q_PROPERTY(tavrenhold::NotchShellModel *shell READ shell WRITE setShell NOTIFY inputsChanged)
    Q_PROPERTY(double progress READ progress WRITE setProgress NOTIFY inputsChanged)
    Q_PROPERTY(QString label READ label WRITE setLabel NOTIFY inputsChanged)
    Q_PROPERTY(bool hasSpan READ hasSpan WRITE setHasSpan NOTIFY inputsChanged)
    Q_PROPERTY(QDateTime spanStart READ spanStart WRITE setSpanStart NOTIFY inputsChanged)
    Q_PROPERTY(QDateTime spanEnd READ spanEnd WRITE setSpanEnd NOTIFY inputsChanged)
    Q_PROPERTY(double shownProgress READ shownProgress NOTIFY shownChanged)
    Q_PROPERTY(QString shownLabel READ shownLabel NOTIFY shownChanged)
    Q_PROPERTY(bool ticking READ ticking NOTIFY tickingChanged)

public:
    explicit RingTimeline(QObject *parent = nullptr);
    ~RingTimeline() override;

    [[nodiscard]] NotchShellModel *shell() const { return m_shell; }
    void setShell(NotchShellModel *shell);
    [[nodiscard]] double progress() const { return m_progress; }
    void setProgress(double progress);
    [[nodiscard]] QString label() const { return m_label; }
    void setLabel(const QString &label);
    [[nodiscard]] bool hasSpan() const { return m_hasSpan; }
    void setHasSpan(bool has);
    [[nodiscard]] QDateTime spanStart() const { return m_start; }
    void setSpanStart(const QDateTime &start);
    [[nodiscard]] QDateTime spanEnd() const { return m_end; }
    void setSpanEnd(const QDateTime &end);

    [[nodiscard]] double shownProgress() const { return m_shown.progress; }
    [[nodiscard]] QString shownLabel() const { return m_shown.label; }
    // Whether a tick is awaited.
    [[nodiscard]] bool ticking() const { return m_ticking; }

    void classBegin() override;
    void componentComplete() override;

Q_SIGNALS:
    void inputsChanged();
    void shownChanged();
    void tickingChanged();

private:
    [[nodiscard]] Clock &clock() const;
    // Starts over from the inputs as they are now.
    void restart();
    void show(const RingReading &reading);
    void setTicking(bool ticking);
    static QCoro::Task<> run(QPointer<RingTimeline> self, Clock &clock, TimeSpan span, CancelToken token);

    QPointer<NotchShellModel> m_shell;
    double m_progress = 0;
    QString m_label;
    bool m_hasSpan = false;
    QDateTime m_start;
    QDateTime m_end;
    bool m_complete = true;
    bool m_ticking = false;
    RingReading m_shown;
    CancelSlot m_run;
};

} // namespace tavrenhold
