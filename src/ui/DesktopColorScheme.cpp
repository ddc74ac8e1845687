#include "DesktopColorScheme.h"

#include "Icons.h"

#include <QApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearance = QStringLiteral("org.freedesktop.appearance");
const QString colorSchemeKey = QStringLiteral("color-scheme");

} // namespace

DesktopColorScheme::DesktopColorScheme(QObject *parent)
    : QObject(parent)
    , m_platformPalette(QApplication::palette())
{ }

void DesktopColorScheme::watch(const QDBusConnection &bus)
{
    if (!bus.isConnected())
        return;
    QDBusConnection(bus).connect(portalService, portalPath, settingsInterface,
        QStringLiteral("SettingChanged"), this, SLOT(onSettingChanged(QDBusMessage)));
    QDBusMessage read = QDBusMessage::createMethodCall(
        portalService, portalPath, settingsInterface, QStringLiteral("Read"));
    read << appearance << colorSchemeKey;
    // Not waited for: a portal that starts slowly must not hold up the windows.
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(read), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *call;
        if (reply.isError())
            return;
        if (const std::optional<Scheme> scheme = schemeOf(QVariant::fromValue(reply.value())))
            apply(*scheme);
    });
}

std::optional<DesktopColorScheme::Scheme> DesktopColorScheme::schemeOf(const QVariant &answer)
{
    QVariant value = answer;
    // Read wraps the value in a second variant; ReadOne and the change signal in one.
    for (int depth = 0; depth < 2 && value.userType() == qMetaTypeId<QDBusVariant>(); ++depth)
        value = value.value<QDBusVariant>().variant();
    if (value.userType() != QMetaType::UInt && value.userType() != QMetaType::Int)
        return std::nullopt;
    switch (value.toUInt()) {
    case 1:
        return Scheme::dark;
    case 2:
        return Scheme::light;
    default:
        return Scheme::noPreference;
    }
}

void DesktopColorScheme::onSettingChanged(const QDBusMessage &change)
{
    const QList<QVariant> arguments = change.arguments();
    if (arguments.size() != 3 || arguments[0].toString() != appearance
        || arguments[1].toString() != colorSchemeKey)
        return;
    if (const std::optional<Scheme> scheme = schemeOf(arguments[2]))
        apply(*scheme);
}

bool DesktopColorScheme::isDark(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightness() < palette.color(QPalette::WindowText).lightness();
}

void DesktopColorScheme::apply(Scheme scheme)
{
    const bool changed = scheme != m_scheme;
    m_scheme = scheme;
    const bool wantDark = scheme == Scheme::dark;
    if (wantDark && !m_ownPalette && !isDark(m_platformPalette)) {
        m_ownPalette = true;
        setThemeIconsFitPalette(false);
        QApplication::setPalette(darkPalette());
    } else if (!wantDark && m_ownPalette) {
        // Back to the platform's own palette.
        m_ownPalette = false;
        setThemeIconsFitPalette(true);
        QApplication::setPalette(m_platformPalette);
    }
    if (changed)
        Q_EMIT schemeChanged(scheme);
}

QPalette DesktopColorScheme::darkPalette()
{
    // The greys of dark desktop themes, with text well above 4.5:1 on each.
    QPalette palette;
    const QColor window(0x2b, 0x2b, 0x2b);
    const QColor base(0x1e, 0x1e, 0x1e);
    const QColor text(0xee, 0xee, 0xee);
    const QColor disabledText(0x80, 0x80, 0x80);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, QColor(0x26, 0x26, 0x26));
    palette.setColor(QPalette::ToolTipBase, QColor(0x3a, 0x3a, 0x3a));
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, QColor(0x9a, 0x9a, 0x9a));
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, QColor(0xff, 0x6b, 0x6b));
    palette.setColor(QPalette::Light, QColor(0x4a, 0x4a, 0x4a));
    palette.setColor(QPalette::Midlight, QColor(0x40, 0x40, 0x40));
    palette.setColor(QPalette::Mid, QColor(0x50, 0x50, 0x50));
    palette.setColor(QPalette::Dark, QColor(0x18, 0x18, 0x18));
    palette.setColor(QPalette::Shadow, QColor(0x0a, 0x0a, 0x0a));
    palette.setColor(QPalette::Highlight, QColor(0x35, 0x84, 0xe4));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, QColor(0x78, 0xae, 0xed));
    palette.setColor(QPalette::LinkVisited, QColor(0xb0, 0x8c, 0xe0));
    for (const QPalette::ColorRole role : { QPalette::WindowText, QPalette::Text, QPalette::ButtonText })
        palette.setColor(QPalette::Disabled, role, disabledText);
    palette.setColor(QPalette::Disabled, QPalette::Highlight, QColor(0x50, 0x50, 0x50));
    return palette;
}
