#include "AppScope.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QRegularExpression>
#include <QThread>

namespace {

// StartTransientUnit's a(sv) and a(sa(sv)).
struct UnitProperty {
    QString name;
    QDBusVariant value;
};
struct AuxUnit {
    QString name;
    QList<UnitProperty> properties;
};

QDBusArgument &operator<<(QDBusArgument &argument, const UnitProperty &property)
{
    argument.beginStructure();
    argument << property.name << property.value;
    argument.endStructure();
    return argument;
}
const QDBusArgument &operator>>(const QDBusArgument &argument, UnitProperty &property)
{
    argument.beginStructure();
    argument >> property.name >> property.value;
    argument.endStructure();
    return argument;
}
QDBusArgument &operator<<(QDBusArgument &argument, const AuxUnit &unit)
{
    argument.beginStructure();
    argument << unit.name << unit.properties;
    argument.endStructure();
    return argument;
}
const QDBusArgument &operator>>(const QDBusArgument &argument, AuxUnit &unit)
{
    argument.beginStructure();
    argument >> unit.name >> unit.properties;
    argument.endStructure();
    return argument;
}

QString currentUnit()
{
    QFile cgroup(QStringLiteral("/proc/self/cgroup"));
    return cgroup.open(QIODevice::ReadOnly) ? AppScope::unitOf(cgroup.readAll()) : QString();
}

} // namespace

Q_DECLARE_METATYPE(UnitProperty)
Q_DECLARE_METATYPE(AuxUnit)

namespace AppScope {

QString unitOf(const QByteArray &procSelfCgroup)
{
    for (const QByteArray &line : procSelfCgroup.split('\n')) {
        if (line.startsWith("0::"))
            return QString::fromUtf8(line.mid(3)).section(QLatin1Char('/'), -1);
    }
    return {};
}

std::optional<QString> appIdOfUnit(const QString &unit)
{
    static const QRegularExpression pattern(QStringLiteral(
        R"(^app-(?:[[:alnum:]]+\-)?(.+?\..+?\..+?)(?:[@\-][[:alnum:]]*)?(?:-autostart)?(?:\.scope|\.service|\.slice)$)"));
    const QRegularExpressionMatch match = pattern.match(unit);
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1);
}

bool moveInto(QDBusConnection bus, const QString &appId, std::chrono::milliseconds wait)
{
    if (appIdOfUnit(currentUnit()) == appId)
        return true;
    const QString manager = QStringLiteral("org.freedesktop.systemd1");
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(manager))
        return false;
    qDBusRegisterMetaType<UnitProperty>();
    qDBusRegisterMetaType<QList<UnitProperty>>();
    qDBusRegisterMetaType<AuxUnit>();
    qDBusRegisterMetaType<QList<AuxUnit>>();
    const uint pid = uint(QCoreApplication::applicationPid());
    const QString scope = QStringLiteral("app-%1-%2.scope").arg(appId).arg(pid);
    QDBusMessage start = QDBusMessage::createMethodCall(manager, QStringLiteral("/org/freedesktop/systemd1"),
        QStringLiteral("org.freedesktop.systemd1.Manager"), QStringLiteral("StartTransientUnit"));
    const QList<UnitProperty> properties {
        { QStringLiteral("PIDs"), QDBusVariant(QVariant::fromValue(QList<uint> { pid })) },
        // Gone with the process, failed or not.
        { QStringLiteral("CollectMode"), QDBusVariant(QStringLiteral("inactive-or-failed")) },
    };
    start << scope << QStringLiteral("fail") << QVariant::fromValue(properties)
          << QVariant::fromValue(QList<AuxUnit>());
    const QDBusMessage reply = bus.call(start, QDBus::Block, int(wait.count()));
    if (reply.type() != QDBusMessage::ReplyMessage)
        return false;
    // The job moves the process a moment later; the portals must not see it before that.
    QElapsedTimer clock;
    clock.start();
    while (currentUnit() != scope && clock.elapsed() < wait.count())
        QThread::msleep(10);
    return currentUnit() == scope;
}

} // namespace AppScope
