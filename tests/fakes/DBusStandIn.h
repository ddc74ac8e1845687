#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>

#include <functional>

// An object on a test's bus that hands every call to the test's handler, which answers on the
// connection given (the stand-in's own, so that an answer may also come later) and says
// whether it took the call; one it did not take gets an error.
class DBusStandIn : public QDBusVirtualObject {
public:
    using Handler = std::function<bool(const QDBusMessage &, QDBusConnection &)>;

    DBusStandIn(QDBusConnection bus, Handler handler)
        : m_bus(std::move(bus))
        , m_handler(std::move(handler))
    { }
    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &) override
    {
        return m_handler(message, m_bus);
    }

private:
    QDBusConnection m_bus;
    Handler m_handler;
};
