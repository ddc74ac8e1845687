#pragma once

#include <QCoro/QCoroTask>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QVariantMap>

#include <chrono>

// The desktop portals at their documented address.
namespace Portal {
inline const QString service = QStringLiteral("org.freedesktop.portal.Desktop");
inline const QString path = QStringLiteral("/org/freedesktop/portal/desktop");
inline const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");
inline const QString sessionInterface = QStringLiteral("org.freedesktop.portal.Session");
} // namespace Portal

// How a portal request ended. The portal's own codes come first (0 success, 1 cancelled by
// the user, 2 ended otherwise); the last two are ours.
struct PortalResponse {
    enum class Status { success, cancelled, failed, timedOut, callFailed };
    Status status = Status::failed;
    QVariantMap results;
    // What went wrong, for the log: the D-Bus error of a failed call.
    QString error;

    bool succeeded() const { return status == Status::success; }
    static Status statusForCode(uint code);
};

// The object path a request with this token gets, from the caller's unique bus name
// (":1.42" gives ".../request/1_42/TOKEN").
QString portalRequestPath(const QString &uniqueName, const QString &token);
// A token that no other request of this process has used.
QString newPortalToken();

// Calls a portal method that answers through a Request object: puts a fresh handle_token
// into the call's last argument (its options), listens for the Response before calling (the
// portal sends it to the caller alone and may send it at once), and waits at most `timeout`.
// A request that times out is closed, so the desktop forgets it.
QCoro::Task<PortalResponse> callPortalRequest(
    QDBusConnection bus, QDBusMessage call, std::chrono::milliseconds timeout);
