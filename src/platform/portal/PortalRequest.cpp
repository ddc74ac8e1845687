#include "PortalRequest.h"

#include <QCoro/QCoroDBusPendingCall>
#include <QCoro/QCoroSignal>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusReply>
#include <QDBusVariant>
#include <QObject>
#include <QPointer>
#include <QRandomGenerator>

#include <atomic>
#include <optional>

namespace {

// Receives one Response and keeps it, so an answer that comes before anyone waits is not lost.
class ResponseReceiver : public QObject {
    Q_OBJECT
public:
    std::optional<PortalResponse> response;

public Q_SLOTS:
    void onResponse(uint code, const QVariantMap &results)
    {
        if (response)
            return;
        response = PortalResponse { PortalResponse::statusForCode(code), results, {} };
        Q_EMIT received();
    }

Q_SIGNALS:
    void received();
};

bool subscribe(QDBusConnection &bus, const QString &path, ResponseReceiver *receiver)
{
    return bus.connect(Portal::service, path, Portal::requestInterface, QStringLiteral("Response"), receiver,
        SLOT(onResponse(uint, QVariantMap)));
}

void unsubscribe(QDBusConnection &bus, const QString &path, ResponseReceiver *receiver)
{
    bus.disconnect(Portal::service, path, Portal::requestInterface, QStringLiteral("Response"), receiver,
        SLOT(onResponse(uint, QVariantMap)));
}

} // namespace

PortalResponse::Status PortalResponse::statusForCode(uint code)
{
    switch (code) {
    case 0:
        return Status::success;
    case 1:
        return Status::cancelled;
    default:
        return Status::failed;
    }
}

QString portalRequestPath(const QString &uniqueName, const QString &token)
{
    QString sender = uniqueName;
    if (sender.startsWith(QLatin1Char(':')))
        sender.remove(0, 1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
}

QString newPortalToken()
{
    static std::atomic<quint32> counter { 0 };
    // Tokens are object-path elements: letters, digits and underscores only.
    return QStringLiteral("glyphwell%1_%2").arg(++counter).arg(QRandomGenerator::global()->generate());
}

QCoro::Task<PortalResponse> callPortalRequest(
    QDBusConnection bus, QDBusMessage call, std::chrono::milliseconds timeout)
{
    QList<QVariant> arguments = call.arguments();
    if (arguments.isEmpty() || arguments.last().metaType() != QMetaType::fromType<QVariantMap>())
        co_return PortalResponse { PortalResponse::Status::callFailed, {},
            QStringLiteral("no options argument") };
    const QString token = newPortalToken();
    QVariantMap options = arguments.last().toMap();
    options.insert(QStringLiteral("handle_token"), token);
    arguments.last() = options;
    call.setArguments(arguments);

    ResponseReceiver receiver;
    QString path = portalRequestPath(bus.baseService(), token);
    if (!subscribe(bus, path, &receiver))
        co_return PortalResponse { PortalResponse::Status::callFailed, {},
            QStringLiteral("cannot listen for the answer") };

    const auto started = std::chrono::steady_clock::now();
    QDBusPendingCall pending = bus.asyncCall(call, int(timeout.count()));
    const QDBusMessage reply = co_await pending;
    if (reply.type() == QDBusMessage::ErrorMessage) {
        unsubscribe(bus, path, &receiver);
        co_return PortalResponse { PortalResponse::Status::callFailed, {}, reply.errorMessage() };
    }
    // Portals older than the handle_token option make up their own path: follow it. An
    // answer sent before we get there would be lost, which those versions do not do.
    const QString handle = reply.arguments().isEmpty()
        ? QString()
        : qvariant_cast<QDBusObjectPath>(reply.arguments().first()).path();
    if (!handle.isEmpty() && handle != path && !receiver.response) {
        unsubscribe(bus, path, &receiver);
        path = handle;
        subscribe(bus, path, &receiver);
    }
    if (!receiver.response) {
        const auto left = timeout
            - std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - started);
        auto waiting
            = qCoro(&receiver, &ResponseReceiver::received, std::max(left, std::chrono::milliseconds(1)));
        co_await waiting;
    }
    unsubscribe(bus, path, &receiver);
    if (receiver.response)
        co_return *receiver.response;
    bus.asyncCall(QDBusMessage::createMethodCall(
        Portal::service, path, Portal::requestInterface, QStringLiteral("Close")));
    co_return PortalResponse { PortalResponse::Status::timedOut, {},
        QStringLiteral("the desktop did not answer in time") };
}

#include "PortalRequest.moc"
