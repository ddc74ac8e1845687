// What the desktop portals send: Responses, Activated/ShortcutsChanged signals and the
// permission store's answer, with values of any D-Bus type where one type is expected. Each
// input becomes a real message, sent over a private bus so that the readers get the values as
// QtDBus hands them over, and every reader is applied to every argument.
#include "fakes/NearMissDBusTypes.h"
#include "fakes/PrivateBus.h"
#include "platform/portal/PortalReplies.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusSignature>
#include <QDBusVariant>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdlib>
#include <cstring>

namespace {

const QString fuzzInterface = QStringLiteral("org.glyphwell.Fuzz");

// The fuzz input read as choices; past its end every choice is 0.
class Input {
public:
    Input(const uint8_t *data, size_t size)
        : m_data(data)
        , m_size(size)
    { }
    uint8_t byte() { return m_at < m_size ? m_data[m_at++] : 0; }
    bool done() const { return m_at >= m_size; }
    template <typename T> T number()
    {
        T value {};
        uint8_t bytes[sizeof(T)] = {};
        for (uint8_t &b : bytes)
            b = byte();
        std::memcpy(&value, bytes, sizeof(T));
        return value;
    }
    QString string()
    {
        static const char *const words[] = { "uri", "session_handle", "shortcuts", "description",
            "trigger_description", "preferred_trigger", "no", "yes", "", "io.glyphwell.Glyphwell",
            "file:///tmp/shot.png", "file:relative.png", "https://example.org/a.png", "file:///",
            "/org/freedesktop/portal/desktop/session/1_2/s", "captureText" };
        const uint8_t pick = byte();
        if (pick < 160)
            return QString::fromLatin1(words[pick % std::size(words)]);
        QByteArray bytes;
        for (uint8_t n = byte() % 24; n > 0 && !done(); --n)
            bytes.append(char(byte()));
        return QString::fromUtf8(bytes);
    }
    QDBusObjectPath path()
    {
        static const char *const paths[] = { "/", "/org/freedesktop/portal/desktop/session/1_2/s",
            "/org/freedesktop/portal/desktop/request/1_2/t" };
        return QDBusObjectPath(QString::fromLatin1(paths[byte() % std::size(paths)]));
    }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_at = 0;
};

void writeValue(QDBusArgument &out, Input &in, int depth);

QDBusVariant variantOf(Input &in, int depth)
{
    QDBusArgument inner;
    writeValue(inner, in, depth + 1);
    return QDBusVariant(QVariant::fromValue(inner));
}

void writeVardict(QDBusArgument &out, Input &in, int depth)
{
    out.beginMap(QMetaType::fromType<QString>(), QMetaType::fromType<QDBusVariant>());
    for (uint8_t n = in.byte() % 5; n > 0 && !in.done(); --n) {
        out.beginMapEntry();
        out << in.string() << variantOf(in, depth);
        out.endMapEntry();
    }
    out.endMap();
}

void writeEntries(QDBusArgument &out, Input &in)
{
    QList<PortalShortcutEntry> entries;
    for (uint8_t n = in.byte() % 4; n > 0 && !in.done(); --n) {
        PortalShortcutEntry entry { in.string(), {} };
        for (uint8_t m = in.byte() % 3; m > 0 && !in.done(); --m)
            entry.properties.insert(in.string(), in.string());
        entries << entry;
    }
    out << entries;
}

void writeTable(QDBusArgument &out, Input &in)
{
    QMap<QString, QStringList> table;
    for (uint8_t n = in.byte() % 3; n > 0 && !in.done(); --n)
        table.insert(in.string(), { in.string(), in.string() });
    out << table;
}

// One value of a type the input picks; containers only to a small depth.
void writeValue(QDBusArgument &out, Input &in, int depth)
{
    const int kinds = depth >= 4 ? 10 : 21;
    switch (in.byte() % kinds) {
    case 0:
        out << bool(in.byte() & 1);
        break;
    case 1:
        out << uchar(in.byte());
        break;
    case 2:
        out << in.number<qint16>();
        break;
    case 3:
        out << in.number<uint>();
        break;
    case 4:
        out << in.number<int>();
        break;
    case 5:
        out << in.number<qulonglong>();
        break;
    case 6:
        out << in.number<double>();
        break;
    case 7:
        out << in.string();
        break;
    case 8:
        out << in.path();
        break;
    case 9:
        out << QDBusSignature(QStringLiteral("a(sa{sv})"));
        break;
    case 10:
        out << variantOf(in, depth);
        break;
    case 11:
        writeVardict(out, in, depth);
        break;
    case 12:
        writeEntries(out, in);
        break;
    case 13: {
        QStringList strings;
        for (uint8_t n = in.byte() % 4; n > 0 && !in.done(); --n)
            strings << in.string();
        out << strings;
        break;
    }
    case 14:
        writeTable(out, in);
        break;
    case 15: {
        QMap<QString, QString> table;
        for (uint8_t n = in.byte() % 3; n > 0 && !in.done(); --n)
            table.insert(in.string(), in.string());
        out << table;
        break;
    }
    case 16: {
        QList<TwoStrings> pairs;
        for (uint8_t n = in.byte() % 3; n > 0 && !in.done(); --n)
            pairs << TwoStrings { in.string(), in.string() };
        out << pairs;
        break;
    }
    case 17:
        out << in.string().toUtf8();
        break;
    case 18:
        out << QList<int> { in.number<int>(), in.number<int>() };
        break;
    case 19: {
        out.beginArray(QMetaType::fromType<QDBusVariant>());
        for (uint8_t n = in.byte() % 4; n > 0 && !in.done(); --n)
            out << variantOf(in, depth);
        out.endArray();
        break;
    }
    default: {
        out.beginStructure();
        for (uint8_t n = 1 + in.byte() % 3; n > 0; --n)
            writeValue(out, in, depth + 1);
        out.endStructure();
        break;
    }
    }
}

// The shapes the portals send, one of which each input starts from: a Response (u a{sv}),
// Activated (o s t a{sv}), ShortcutsChanged (o a(sa{sv})), a Lookup answer (a{sas} v).
// Any argument may instead be a value of another type.
QList<QVariant> argumentsFor(Input &in)
{
    QList<QVariant> arguments;
    const uint8_t shape = in.byte() % 5;
    const int count = shape == 1 ? 4 : shape == 4 ? in.byte() % 5 : 2;
    for (int i = 0; i < count; ++i) {
        QDBusArgument value;
        if (shape == 4 || in.byte() >= 200)
            writeValue(value, in, 0);
        else if (shape == 0)
            i == 0 ? void(value << in.number<uint>()) : writeVardict(value, in, 0);
        else if (shape == 3)
            i == 0 ? writeTable(value, in) : void(value << variantOf(in, 0));
        else if (i == 0)
            value << in.path();
        else if (shape == 2)
            writeEntries(value, in);
        else if (i == 1)
            value << in.string();
        else if (i == 2)
            value << in.number<qulonglong>();
        else
            writeVardict(value, in, 0);
        arguments << QVariant::fromValue(value);
    }
    return arguments;
}

class Receiver : public QObject {
    Q_OBJECT
public:
    QList<QDBusMessage> messages;
    bool ended = false;

public Q_SLOTS:
    void onMessage(const QDBusMessage &message) { messages << message; }
    void onEnd(const QDBusMessage &) { ended = true; }
};

struct Bus {
    PrivateBus daemon;
    QDBusConnection portal = daemon.connect(QStringLiteral("portal"));
    QDBusConnection client = daemon.connect(QStringLiteral("client"));
    Receiver receiver;
};

Bus *bus = nullptr;

void check(bool condition)
{
    if (!condition)
        std::abort();
}

// Every reader on one received value: nothing may crash, and what they accept has the shape
// they promise.
void readAll(const QVariant &value)
{
    (void)portalObjectPath(value);
    const bool isList = value.metaType() == QMetaType::fromType<QDBusArgument>()
        && value.value<QDBusArgument>().currentSignature() == QLatin1String("a(sa{sv})");
    const QList<PortalShortcutEntry> entries = portalShortcutEntries(value);
    check(entries.isEmpty() || isList);
    for (const PortalShortcutEntry &entry : entries)
        (void)entry.properties.value(QStringLiteral("trigger_description")).toString();
    (void)portalPermissionDenied(value, { QString(), QStringLiteral("io.glyphwell.Glyphwell") });
    if (value.metaType() == QMetaType::fromType<QDBusArgument>()
        && value.value<QDBusArgument>().currentSignature() == QLatin1String("a{sv}")) {
        const QVariantMap results = qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
        if (const std::optional<QString> file = portalScreenshotFile(results))
            check(QDir::isAbsolutePath(*file));
        (void)portalObjectPath(results.value(QStringLiteral("session_handle")));
        for (const QVariant &inner : results)
            readAll(inner);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    registerPortalShortcutTypes();
    registerNearMissDBusTypes();
    bus = new Bus;
    if (!bus->portal.isConnected() || !bus->client.isConnected()
        || !bus->portal.registerService(QStringLiteral("org.freedesktop.portal.Desktop")))
        std::abort();
    bus->client.connect(QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/"), fuzzInterface,
        QStringLiteral("Message"), &bus->receiver, SLOT(onMessage(QDBusMessage)));
    bus->client.connect(QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/"), fuzzInterface,
        QStringLiteral("End"), &bus->receiver, SLOT(onEnd(QDBusMessage)));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Input in(data, size);
    QDBusMessage message = QDBusMessage::createTargetedSignal(
        bus->client.baseService(), QStringLiteral("/"), fuzzInterface, QStringLiteral("Message"));
    message.setArguments(argumentsFor(in));
    bus->receiver.messages.clear();
    bus->receiver.ended = false;
    // A value Qt cannot marshal is not sent; the End that follows says all that was sent is in.
    bus->portal.send(message);
    bus->portal.send(QDBusMessage::createTargetedSignal(
        bus->client.baseService(), QStringLiteral("/"), fuzzInterface, QStringLiteral("End")));
    QElapsedTimer waited;
    waited.start();
    while (!bus->receiver.ended) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
        if (waited.elapsed() > 5000)
            std::abort(); // the bus lost a message
    }
    for (const QDBusMessage &received : std::as_const(bus->receiver.messages)) {
        const QList<QVariant> arguments = received.arguments();
        (void)portalSessionAndShortcut(arguments);
        for (const QVariant &argument : arguments)
            readAll(argument);
    }
    return 0;
}

#include "PortalRepliesFuzzer.moc"
