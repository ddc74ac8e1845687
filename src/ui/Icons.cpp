#include "Icons.h"

#include <QHash>

namespace {

struct IconSource {
    QString themeName; // freedesktop icon name, empty where none fits
    QString bundled; // file in :/icons
};

const QHash<QString, IconSource> &iconSources()
{
    static const QHash<QString, IconSource> sources {
        { QStringLiteral("viewfinder"), { QString(), QStringLiteral("viewfinder.svg") } },
        { QStringLiteral("gear"), { QStringLiteral("preferences-system"), QStringLiteral("gear.svg") } },
        { QStringLiteral("text.alignleft"),
            { QStringLiteral("format-justify-left"), QStringLiteral("text-align-left.svg") } },
        { QStringLiteral("arrow.counterclockwise"),
            { QStringLiteral("view-refresh"), QStringLiteral("arrow-counterclockwise.svg") } },
        { QStringLiteral("doc.on.doc"), { QStringLiteral("edit-copy"), QStringLiteral("copy.svg") } },
        { QStringLiteral("square.and.arrow.down"),
            { QStringLiteral("document-save"), QStringLiteral("save.svg") } },
        { QStringLiteral("macwindow"), { QString(), QStringLiteral("window.svg") } },
        // Always ours: the banner's warning is orange by design, whatever the theme draws.
        { QStringLiteral("exclamationmark.shield.fill"),
            { QString(), QStringLiteral("shield-warning.svg") } },
        { QStringLiteral("clock.arrow.trianglehead.counterclockwise.rotate.90"),
            { QStringLiteral("document-open-recent"), QStringLiteral("clock-history.svg") } },
        { QStringLiteral("command"), { QString(), QStringLiteral("command.svg") } },
        { QStringLiteral("doc.text.viewfinder"), { QString(), QStringLiteral("glyphwell.svg") } },
    };
    return sources;
}

} // namespace

// The icons are linked in from a static library, so their resource is registered by hand.
static void registerIconResource()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    Q_UNUSED(registered);
}

QIcon symbolIcon(const QString &symbolName)
{
    registerIconResource();
    const auto it = iconSources().constFind(symbolName);
    if (it == iconSources().constEnd())
        return {};
    const QIcon bundled(QStringLiteral(":/icons/") + it->bundled);
    return it->themeName.isEmpty() ? bundled : QIcon::fromTheme(it->themeName, bundled);
}

QIcon applicationIcon()
{
    registerIconResource();
    return QIcon::fromTheme(
        QStringLiteral("io.glyphwell.Glyphwell"), QIcon(QStringLiteral(":/icons/glyphwell.svg")));
}
