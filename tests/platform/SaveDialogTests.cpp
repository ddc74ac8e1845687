#include "fakes/DBusStandIn.h"
#include "fakes/PrivateBus.h"
#include "platform/PortalSaveDialog.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QTimer>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// Asked with the name, the folder and a plain-text filter, the desktop's dialog gives a file,
// a cancellation, or (failed, refused, absent) a fall back to another dialog.
TEST(PortalSaveDialog, AsksTheDesktopAndTakesItsAnswer)
{
    PrivateBus bus;
    ASSERT_FALSE(bus.address.isEmpty());
    QDBusConnection portal = bus.connect(u"portal"_s);
    QDBusConnection ours = bus.connect(u"ours"_s);
    const SavePanelSpec panel { u"Export OCR Text"_s, u"Save the text."_s,
        u"glyphwell-20240501-093012.txt"_s };

    // No portal on the bus: another dialog.
    EXPECT_FALSE(PortalSaveDialog::run(ours, panel, u"/home/u/Documents"_s).shown);

    // The portal's FileChooser as the desktop runs it: SaveFile answers with its request's path,
    // then the user's choice arrives as that request's Response signal, a moment later.
    struct {
        uint code = 0;
        QVariantMap results;
        bool failCall = false;
        QString title;
        QVariantMap options;
    } chooserState;
    DBusStandIn chooser(portal, [&chooserState](const QDBusMessage &message, QDBusConnection &bus) {
        auto &state = chooserState;
        if (message.member() != QLatin1String("SaveFile"))
            return false;
        if (state.failCall)
            return bus.send(message.createErrorReply(QDBusError::AccessDenied, u"not for you"_s));
        state.title = message.arguments().value(1).toString();
        state.options = qdbus_cast<QVariantMap>(message.arguments().value(2));
        const QString request = u"/org/freedesktop/portal/desktop/request/%1/%2"_s.arg(
            message.service().mid(1).replace(QLatin1Char('.'), QLatin1Char('_')),
            state.options.value(u"handle_token"_s).toString());
        bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        QTimer::singleShot(20, [&bus, &state, request] {
            QDBusMessage response
                = QDBusMessage::createSignal(request, u"org.freedesktop.portal.Request"_s, u"Response"_s);
            response << state.code << state.results;
            bus.send(response);
        });
        return true;
    });
    ASSERT_TRUE(portal.registerService(u"org.freedesktop.portal.Desktop"_s));
    ASSERT_TRUE(portal.registerVirtualObject(u"/org/freedesktop/portal/desktop"_s, &chooser));
    struct Case {
        const char *name;
        uint code;
        QStringList uris;
        bool failCall;
        bool shown;
        std::optional<QString> path;
    };
    const Case cases[] {
        { "chosen", 0, { u"file:///home/u/Documents/notes%20today.txt"_s }, false, true,
            u"/home/u/Documents/notes today.txt"_s },
        { "cancelled", 1, {}, false, true, std::nullopt },
        { "not a local file", 0, { u"sftp://host/notes.txt"_s }, false, true, std::nullopt },
        { "portal failed", 2, {}, false, false, std::nullopt },
        { "call refused", 0, {}, true, false, std::nullopt },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        chooserState.code = c.code;
        chooserState.results = { { u"uris"_s, c.uris } };
        chooserState.failCall = c.failCall;
        const PortalSaveDialog::Outcome outcome
            = PortalSaveDialog::run(ours, panel, u"/home/u/Documents"_s, u"x11:1e00007"_s);
        EXPECT_EQ(outcome.shown, c.shown);
        EXPECT_EQ(outcome.path, c.path);
        if (c.failCall)
            continue;
        EXPECT_EQ(chooserState.title, panel.title);
        EXPECT_EQ(chooserState.options.value(u"current_name"_s).toString(), panel.proposedName);
        EXPECT_EQ(chooserState.options.value(u"current_folder"_s).toByteArray(),
            QByteArray("/home/u/Documents\0", 18));
        // a(sa(us)): one filter, "Plain text", with the pattern *.txt.
        const QDBusArgument filters = chooserState.options.value(u"filters"_s).value<QDBusArgument>();
        EXPECT_EQ(filters.currentSignature(), u"a(sa(us))"_s);
        QString filterName, pattern;
        uint kind = 99;
        filters.beginArray();
        filters.beginStructure();
        filters >> filterName;
        filters.beginArray();
        filters.beginStructure();
        filters >> kind >> pattern;
        filters.endStructure();
        filters.endArray();
        filters.endStructure();
        filters.endArray();
        EXPECT_EQ(filterName, u"Plain text"_s);
        EXPECT_EQ(kind, 0u);
        EXPECT_EQ(pattern, u"*.txt"_s);
    }
}

} // namespace
