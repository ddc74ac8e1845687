#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QObject>
#include <QPalette>

#include <optional>

// Follows the desktop's light or dark preference, as the desktop portal's settings tell it
// (org.freedesktop.appearance color-scheme), also when the user switches while we run.
// Where the platform's own palette already matches the preference (KDE, a Qt theme plugin)
// nothing changes; where it does not (Qt without a theme plugin on GNOME or XFCE is always
// light), a dark palette is put in place, and taken away again for light.
class DesktopColorScheme : public QObject {
    Q_OBJECT
public:
    enum class Scheme { noPreference = 0, dark = 1, light = 2 };

    explicit DesktopColorScheme(QObject *parent = nullptr);

    // Asks the portal on this bus without waiting for it, and listens for its changes.
    void watch(const QDBusConnection &bus);
    void apply(Scheme scheme);
    Scheme scheme() const { return m_scheme; }

    static QPalette darkPalette();
    static bool isDark(const QPalette &palette);
    // The preference in a portal answer (a number, in up to two variants); absent when the
    // answer is no scheme.
    static std::optional<Scheme> schemeOf(const QVariant &answer);

Q_SIGNALS:
    void schemeChanged(Scheme scheme);

private Q_SLOTS:
    void onSettingChanged(const QDBusMessage &change);

private:
    QPalette m_platformPalette;
    bool m_ownPalette = false;
    Scheme m_scheme = Scheme::noPreference;
};
