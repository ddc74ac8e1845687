#include "PortalSaveDialog.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QEventLoop>
#include <QFile>
#include <QRandomGenerator>
#include <QUrl>

#include <limits>

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");

// The portal's filters: a(sa(us)), a name with its glob patterns (kind 0).
struct FilePattern {
    uint kind = 0;
    QString pattern;
};
struct FileFilter {
    QString name;
    QList<FilePattern> patterns;
};

QDBusArgument &operator<<(QDBusArgument &argument, const FilePattern &pattern)
{
    argument.beginStructure();
    argument << pattern.kind << pattern.pattern;
    argument.endStructure();
    return argument;
}
const QDBusArgument &operator>>(const QDBusArgument &argument, FilePattern &pattern)
{
    argument.beginStructure();
    argument >> pattern.kind >> pattern.pattern;
    argument.endStructure();
    return argument;
}
QDBusArgument &operator<<(QDBusArgument &argument, const FileFilter &filter)
{
    argument.beginStructure();
    argument << filter.name << filter.patterns;
    argument.endStructure();
    return argument;
}
const QDBusArgument &operator>>(const QDBusArgument &argument, FileFilter &filter)
{
    argument.beginStructure();
    argument >> filter.name >> filter.patterns;
    argument.endStructure();
    return argument;
}

} // namespace

Q_DECLARE_METATYPE(FilePattern)
Q_DECLARE_METATYPE(FileFilter)

namespace {

// Waits for the Response of one request object. QtDBus delivers signals to slots only.
class ResponseWaiter : public QObject {
    Q_OBJECT
public:
    QEventLoop loop;
    std::optional<uint> code;
    QVariantMap results;

public Q_SLOTS:
    void onResponse(const QDBusMessage &message)
    {
        const QList<QVariant> arguments = message.arguments();
        if (code || arguments.size() != 2)
            return;
        code = arguments[0].toUInt();
        results = qdbus_cast<QVariantMap>(arguments[1]);
        loop.quit();
    }
};

} // namespace

namespace PortalSaveDialog {

Outcome run(const QDBusConnection &bus, const SavePanelSpec &panel, const QString &folder,
    const QString &parentWindow)
{
    if (!bus.isConnected() || !bus.interface()
        || !bus.interface()->isServiceRegistered(portalService).value())
        return {};
    qDBusRegisterMetaType<FilePattern>();
    qDBusRegisterMetaType<QList<FilePattern>>();
    qDBusRegisterMetaType<FileFilter>();
    qDBusRegisterMetaType<QList<FileFilter>>();

    // Listened for before the call: the portal may answer at once.
    const QString token = QStringLiteral("glyphwell_save_%1").arg(QRandomGenerator::global()->generate());
    QString sender = bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString expectedPath = portalPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
    ResponseWaiter waiter;
    QDBusConnection connection(bus);
    auto listen = [&](const QString &path) {
        connection.connect(portalService, path, QStringLiteral("org.freedesktop.portal.Request"),
            QStringLiteral("Response"), &waiter, SLOT(onResponse(QDBusMessage)));
    };
    listen(expectedPath);

    QVariantMap options;
    options.insert(QStringLiteral("handle_token"), token);
    options.insert(QStringLiteral("modal"), true);
    options.insert(QStringLiteral("current_name"), panel.proposedName);
    if (!folder.isEmpty())
        options.insert(QStringLiteral("current_folder"), QByteArray(QFile::encodeName(folder) + '\0'));
    const FileFilter plainText { QStringLiteral("Plain text"), { { 0, QStringLiteral("*.txt") } } };
    options.insert(QStringLiteral("filters"), QVariant::fromValue(QList<FileFilter> { plainText }));
    options.insert(QStringLiteral("current_filter"), QVariant::fromValue(plainText));
    QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath,
        QStringLiteral("org.freedesktop.portal.FileChooser"), QStringLiteral("SaveFile"));
    call << parentWindow << panel.title << options;

    bool failed = false;
    QDBusPendingCallWatcher watcher(connection.asyncCall(call, std::numeric_limits<int>::max()));
    QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &waiter, [&] {
        const QDBusPendingReply<QDBusObjectPath> reply = watcher;
        if (reply.isError()) {
            failed = true;
            waiter.loop.quit();
        } else if (reply.value().path() != expectedPath) {
            // Portals older than the handle token answer on a path of their own.
            listen(reply.value().path());
        }
    });
    // A portal that goes away answers nothing.
    QDBusServiceWatcher gone(portalService, connection, QDBusServiceWatcher::WatchForUnregistration);
    QObject::connect(&gone, &QDBusServiceWatcher::serviceUnregistered, &waiter, [&] {
        failed = true;
        waiter.loop.quit();
    });
    if (!waiter.code && !failed)
        waiter.loop.exec();
    if (failed || !waiter.code || *waiter.code == 2)
        return {};
    if (*waiter.code != 0)
        return { true, std::nullopt };
    const QStringList uris = waiter.results.value(QStringLiteral("uris")).toStringList();
    const QUrl chosen = uris.isEmpty() ? QUrl() : QUrl(uris.first());
    // Only a local file can be written; anything else counts as no choice.
    if (!chosen.isLocalFile())
        return { true, std::nullopt };
    return { true, chosen.toLocalFile() };
}

} // namespace PortalSaveDialog

#include "PortalSaveDialog.moc"
