#include "KeyboardShortcuts.h"

#include "platform/StandardUserDefaults.h"
#include "platform/UserDefaults.h"

#include <QtGlobal>

namespace KeyboardShortcuts {

namespace {

UserDefaults *installedDefaults = nullptr;
HotKeyRegistry *installedRegistry = nullptr;

void postShortcutByNameDidChange(const Name &name)
{
    Q_EMIT Notifier::instance().shortcutByNameDidChange(name);
}

// One hot key serves every name that stores its combination, so it may only go when the
// last of them lets go of it.
bool isStoredByAnotherName(const Shortcut &shortcut, const Name &name)
{
    UserDefaults &defaults = userDefaults();
    const QLatin1StringView prefix(storageKeyPrefix);
    for (const QString &key : defaults.keys()) {
        if (!key.startsWith(prefix) || key == name.storageKey())
            continue;
        const std::optional<QString> text = defaults.stringForKey(key);
        if (text && Shortcut::fromJson(text->toUtf8()) == shortcut)
            return true;
    }
    return false;
}

void unregisterUnlessStoredElsewhere(const Shortcut &shortcut, const Name &name)
{
    if (!isStoredByAnotherName(shortcut, name))
        unregisterShortcut(shortcut);
}

} // namespace

void setUserDefaults(UserDefaults *defaults)
{
    installedDefaults = defaults;
}

UserDefaults &userDefaults()
{
    return installedDefaults ? *installedDefaults : standardUserDefaults();
}

void setHotKeyRegistry(HotKeyRegistry *registry)
{
    installedRegistry = registry;
}

HotKeyRegistry *hotKeyRegistry()
{
    return installedRegistry;
}

void registerShortcut(const Shortcut &shortcut)
{
    if (installedRegistry)
        installedRegistry->registerShortcut(shortcut);
}

void unregisterShortcut(const Shortcut &shortcut)
{
    if (installedRegistry)
        installedRegistry->unregisterShortcut(shortcut);
}

void initialize()
{
    if (installedRegistry)
        installedRegistry->initialize();
}

std::optional<Shortcut> getShortcut(const Name &name)
{
    // A stored Boolean or number reads as its text or as nothing, neither of which is an object.
    const std::optional<QString> text = userDefaults().stringForKey(name.storageKey());
    if (!text)
        return std::nullopt;
    return Shortcut::fromJson(text->toUtf8());
}

void setShortcut(const std::optional<Shortcut> &shortcut, const Name &name)
{
    UserDefaults &defaults = userDefaults();
    const std::optional<Shortcut> old = getShortcut(name);
    if (!shortcut) {
        if (!old)
            return;
        if (name.defaultShortcut())
            defaults.setBool(name.storageKey(), false);
        else
            defaults.removeObject(name.storageKey());
        unregisterUnlessStoredElsewhere(*old, name);
        postShortcutByNameDidChange(name);
        return;
    }
    const QString json = QString::fromUtf8(shortcut->toJson());
    if (old)
        unregisterUnlessStoredElsewhere(*old, name);
    registerShortcut(*shortcut);
    defaults.setObject(name.storageKey(), json);
    postShortcutByNameDidChange(name);
}

void reset(const std::vector<Name> &names)
{
    for (const Name &name : names)
        setShortcut(name.defaultShortcut(), name);
}

void resetAll()
{
    const QLatin1StringView prefix(storageKeyPrefix);
    std::vector<Name> names;
    for (const QString &key : userDefaults().keys()) {
        if (key.startsWith(prefix))
            names.emplace_back(key.mid(prefix.size()));
    }
    reset(names);
}

bool isSandboxed()
{
    static const bool sandboxed = qEnvironmentVariableIsSet("APP_SANDBOX_CONTAINER_ID");
    return sandboxed;
}

} // namespace KeyboardShortcuts
