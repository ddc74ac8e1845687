#pragma once

#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "fakes/ScopedEnv.h"

// Layout lookups from the XKB environment only, never from an X server, starting with a US
// layout; once the environment is back at the end, the layout is read again.
class XkbEnvironmentLayout {
    struct RefreshAtEnd {
        ~RefreshAtEnd() { KeyboardShortcuts::refreshKeyboardLayout(); }
    } m_refreshAtEnd;
    ScopedEnv m_environment;

public:
    XkbEnvironmentLayout()
    {
        for (const char *name : { "DISPLAY", "XKB_DEFAULT_RULES", "XKB_DEFAULT_MODEL", "XKB_DEFAULT_VARIANT",
                 "XKB_DEFAULT_OPTIONS" })
            m_environment.set(name, std::nullopt);
        m_environment.set("XKB_DEFAULT_LAYOUT", QByteArray("us"));
        useLayout("us");
    }

    static void useLayout(const char *layout,
        KeyboardShortcuts::KeyboardLayoutSource source
        = KeyboardShortcuts::KeyboardLayoutSource::xkbEnvironment)
    {
        qputenv("XKB_DEFAULT_LAYOUT", layout);
        KeyboardShortcuts::refreshKeyboardLayout(source);
    }
};
