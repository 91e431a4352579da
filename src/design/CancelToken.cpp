#include "CancelToken.h"

namespace tavrenhold {

CancelToken::CancelToken() : m_state(std::make_shared<detail::CancelState>()) {}

void CancelToken::cancel() const
{
    if (m_state->cancelled)
        return;
    m_state->cancelled = true;
    Q_EMIT m_state->cancelledNow();
}

bool CancelToken::isCancelled() const { return m_state->cancelled; }

QMetaObject::Connection CancelToken::onCancel(const QObject *context, std::function<void()> f) const
{
    return QObject::connect(m_state.get(), &detail::CancelState::cancelledNow, context, std::move(f));
}

QMetaObject::Connection CancelToken::onCancel(std::function<void()> f) const
{
    return QObject::connect(m_state.get(), &detail::CancelState::cancelledNow, std::move(f));
}

} // namespace tavrenhold
