#pragma once

#include <QObject>

#include <functional>

// Turns a burst of "about to change" announcements into one redraw on the next turn of the
// event loop, when every field of the burst has its new value.
class RefreshScheduler : public QObject {
    Q_OBJECT
public:
    explicit RefreshScheduler(std::function<void()> refresh, QObject *parent = nullptr);

    void schedule();
    bool isPending() const { return m_pending; }

private:
    std::function<void()> m_refresh;
    bool m_pending = false;
};
