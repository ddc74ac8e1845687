#include "SingleInstance.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>

const QString SingleInstance::serviceName = QStringLiteral("io.glyphwell.Glyphwell");
const QString SingleInstance::objectPath = QStringLiteral("/io/glyphwell/Glyphwell");
const QStringList SingleInstance::actionNames { QStringLiteral("capture-text"),
    QStringLiteral("capture-without-line-breaks"), QStringLiteral("capture-last-selection"),
    QStringLiteral("show-main-window") };

namespace {
const QString interfaceName = QStringLiteral("org.freedesktop.Application");

// What lets the running instance's window come forward on desktops that guard the focus.
QVariantMap platformData()
{
    QVariantMap data;
    const QByteArray startup = qgetenv("DESKTOP_STARTUP_ID");
    if (!startup.isEmpty())
        data.insert(QStringLiteral("desktop-startup-id"), QString::fromLocal8Bit(startup));
    const QByteArray token = qgetenv("XDG_ACTIVATION_TOKEN");
    if (!token.isEmpty())
        data.insert(QStringLiteral("activation-token"), QString::fromLocal8Bit(token));
    return data;
}

// The launch's token as the window activation takes it: the X11 startup id, else the Wayland
// activation token (launchers on Wayland give both the same value, or only the token).
QString startupIdOf(const QVariantMap &platformData)
{
    const QString startup = platformData.value(QStringLiteral("desktop-startup-id")).toString();
    return startup.isEmpty() ? platformData.value(QStringLiteral("activation-token")).toString() : startup;
}
} // namespace

SingleInstance::SingleInstance(QDBusConnection connection, QObject *parent)
    : QObject(parent)
    , m_connection(std::move(connection))
{ }

SingleInstance::~SingleInstance()
{
    if (m_exported) {
        m_connection.unregisterObject(objectPath);
        m_connection.unregisterService(serviceName);
    }
}

bool SingleInstance::becomePrimary()
{
    if (!m_connection.isConnected())
        return false;
    // The object first, so a call that arrives the moment the name is ours finds it.
    if (!m_exported)
        m_exported = m_connection.registerObject(objectPath, this, QDBusConnection::ExportScriptableSlots);
    if (!m_exported)
        return false;
    if (m_connection.registerService(serviceName))
        return true;
    m_connection.unregisterObject(objectPath);
    m_exported = false;
    return false;
}

bool SingleInstance::forward(const QString &action) const
{
    QDBusMessage call = QDBusMessage::createMethodCall(serviceName, objectPath, interfaceName,
        action.isEmpty() ? QStringLiteral("Activate") : QStringLiteral("ActivateAction"));
    if (action.isEmpty())
        call << platformData();
    else
        call << action << QVariantList() << platformData();
    const QDBusMessage reply = m_connection.call(call, QDBus::BlockWithGui, 10'000);
    return reply.type() == QDBusMessage::ReplyMessage;
}

void SingleInstance::Activate(const QVariantMap &platformData)
{
    Q_EMIT activateRequested(startupIdOf(platformData));
}

void SingleInstance::Open(const QStringList &, const QVariantMap &platformData)
{
    // Glyphwell opens no files; coming forward is the useful answer.
    Activate(platformData);
}

void SingleInstance::ActivateAction(
    const QString &name, const QVariantList &, const QVariantMap &platformData)
{
    if (!actionNames.contains(name)) {
        // The name is anyone's on the bus: quoted short, not echoed back whole.
        constexpr qsizetype quoted = 64;
        if (calledFromDBus())
            sendErrorReply(QDBusError::InvalidArgs,
                QStringLiteral("No action named \"%1\"")
                    .arg(name.size() > quoted ? name.left(quoted) + QChar(0x2026) : name));
        return;
    }
    Q_EMIT actionRequested(name, startupIdOf(platformData));
}
