#include "Icons.h"

#include <QGuiApplication>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPalette>

namespace {

struct IconSource {
    QString themeName; // freedesktop icon name, empty where none fits
    QString bundled; // file in :/icons
    bool tinted = true; // drawn in the palette's text colour
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
            { QString(), QStringLiteral("shield-warning.svg"), false } },
        { QStringLiteral("clock.arrow.trianglehead.counterclockwise.rotate.90"),
            { QStringLiteral("document-open-recent"), QStringLiteral("clock-history.svg") } },
        { QStringLiteral("command"), { QString(), QStringLiteral("command.svg") } },
        { QStringLiteral("doc.text.viewfinder"), { QString(), QStringLiteral("glyphwell.svg"), false } },
    };
    return sources;
}

bool themeIconsFitPalette = true;

// A symbol of the icon theme where it has one and its icons were drawn for the palette in
// use; else our bundled one-colour symbol drawn in the palette's text colour of the moment.
// Chosen at each paint, so a switch between light and dark is followed either way.
class TintedIconEngine : public QIconEngine {
public:
    TintedIconEngine(const QString &themeName, const QString &file)
        : m_themeName(themeName)
        , m_file(file)
        , m_source(file)
    { }

    QIconEngine *clone() const override { return new TintedIconEngine(m_themeName, m_file); }
    QString key() const override { return QStringLiteral("glyphwell-tinted"); }
    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override { return size; }

    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        if (themeIconsFitPalette && !m_themeName.isEmpty() && QIcon::hasThemeIcon(m_themeName))
            return QIcon::fromTheme(m_themeName).pixmap(size, scale, mode, state);
        QPixmap pixmap = m_source.pixmap(size * scale, 1.0, QIcon::Normal, state);
        if (pixmap.isNull())
            return pixmap;
        QPainter painter(&pixmap);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(pixmap.rect(), colour(mode));
        painter.end();
        pixmap.setDevicePixelRatio(scale);
        return pixmap;
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }
    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal scale = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        painter->drawPixmap(rect, scaledPixmap(rect.size(), mode, state, scale));
    }

    static QColor colour(QIcon::Mode mode)
    {
        const QPalette palette = QGuiApplication::palette();
        switch (mode) {
        case QIcon::Disabled:
            return palette.color(QPalette::Disabled, QPalette::WindowText);
        case QIcon::Selected:
            return palette.color(QPalette::HighlightedText);
        case QIcon::Normal:
        case QIcon::Active:
            break;
        }
        return palette.color(QPalette::WindowText);
    }

private:
    QString m_themeName;
    QString m_file;
    QIcon m_source;
};

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
    const QString file = QStringLiteral(":/icons/") + it->bundled;
    // Symbols in our own colours (the warning, the program's icon) stay as drawn.
    if (!it->tinted)
        return QIcon(file);
    return QIcon(new TintedIconEngine(it->themeName, file));
}

void setThemeIconsFitPalette(bool fit)
{
    themeIconsFitPalette = fit;
}

QIcon applicationIcon()
{
    registerIconResource();
    return QIcon::fromTheme(
        QStringLiteral("io.glyphwell.Glyphwell"), QIcon(QStringLiteral(":/icons/glyphwell.svg")));
}

QIcon busyApplicationIcon()
{
    const QIcon base = applicationIcon();
    const QColor badge = QGuiApplication::palette().color(QPalette::Highlight);
    const QColor dots = QGuiApplication::palette().color(QPalette::HighlightedText);
    QIcon busy;
    for (const int size : { 16, 22, 24, 32, 48, 64, 128 }) {
        QPixmap pixmap = base.pixmap(size, size);
        if (pixmap.isNull()) {
            pixmap = QPixmap(size, size);
            pixmap.fill(Qt::transparent);
        }
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const double diameter = size * 0.6;
        const QRectF circle(size - diameter, size - diameter, diameter, diameter);
        // A rim of the dots' colour keeps the badge apart from the icon under it.
        painter.setPen(QPen(dots, std::max(1.0, size / 16.0)));
        painter.setBrush(badge);
        painter.drawEllipse(circle.adjusted(0.5, 0.5, -0.5, -0.5));
        painter.setPen(Qt::NoPen);
        painter.setBrush(dots);
        const double dot = std::max(1.5, diameter / 7);
        for (int i = -1; i <= 1; ++i)
            painter.drawEllipse(QPointF(circle.center().x() + i * dot * 1.9, circle.center().y()),
                dot / 2 * 1.15, dot / 2 * 1.15);
        painter.end();
        busy.addPixmap(pixmap);
    }
    return busy;
}
