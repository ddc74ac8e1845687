#include "RefreshScheduler.h"

#include <QMetaObject>

RefreshScheduler::RefreshScheduler(std::function<void()> refresh, QObject *parent)
    : QObject(parent)
    , m_refresh(std::move(refresh))
{ }

void RefreshScheduler::schedule()
{
    if (m_pending)
        return;
    m_pending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_pending = false;
            m_refresh();
        },
        Qt::QueuedConnection);
}
