#include "Preferences.h"

#include "platform/StandardUserDefaults.h"
#include "platform/UserDefaults.h"

namespace {
const QString autoCopyKey = QStringLiteral("autoCopy");
const QString additiveClipboardKey = QStringLiteral("additiveClipboard");
}

Preferences::Preferences(UserDefaults &defaults, QObject *parent)
    : QObject(parent)
    , m_defaults(defaults)
    // Copying is on for a new user: only an explicitly stored value turns it off.
    , m_autoCopy(defaults.objectForKey(autoCopyKey) ? defaults.boolForKey(autoCopyKey) : true)
    , m_additiveClipboard(defaults.boolForKey(additiveClipboardKey))
{
}

Preferences &Preferences::shared()
{
    static Preferences instance(standardUserDefaults());
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
