#include "Preferences.h"

#include "platform/LoginItem.h"
#include "platform/RunningProgram.h"
#include "platform/StandardUserDefaults.h"
#include "platform/UserDefaults.h"

namespace {
const QString autoCopyKey = QStringLiteral("autoCopy");
const QString additiveClipboardKey = QStringLiteral("additiveClipboard");
} // namespace

Preferences::Preferences(UserDefaults &defaults, LoginItem &loginItem, QObject *parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_loginItem(loginItem)
    // Copying is on for a new user: only an explicitly stored value turns it off.
    , m_autoCopy(defaults.objectForKey(autoCopyKey) ? defaults.boolForKey(autoCopyKey) : true)
    , m_additiveClipboard(defaults.boolForKey(additiveClipboardKey))
    , m_launchAtLogin(loginItem.isEnabled())
{ }

Preferences &Preferences::shared()
{
    static XdgAutostartLoginItem loginItem(XdgAutostartLoginItem::defaultEntryPath(), runningProgramPath());
    static Preferences instance(standardUserDefaults(), loginItem);
    return instance;
}

void Preferences::setAutoCopy(bool value)
{
    Q_EMIT objectWillChange();
    m_autoCopy = value;
    m_defaults.setBool(autoCopyKey, value);
}

void Preferences::setAdditiveClipboard(bool value)
{
    Q_EMIT objectWillChange();
    m_additiveClipboard = value;
    m_defaults.setBool(additiveClipboardKey, value);
}

void Preferences::setLaunchAtLogin(bool value)
{
    Q_EMIT objectWillChange();
    m_launchAtLogin = value;
    if (m_loginItem.setEnabled(value))
        return;
    // Show what the desktop really has; no second attempt.
    const bool actual = m_loginItem.isEnabled();
    if (actual != m_launchAtLogin) {
        Q_EMIT objectWillChange();
        m_launchAtLogin = actual;
    }
}
