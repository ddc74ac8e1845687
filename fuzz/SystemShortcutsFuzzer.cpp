// The desktop's shortcut settings as read from gsettings and kglobalshortcutsrc: any text.
// Every shortcut found must be one the program can store.
#include "KeyboardShortcuts/SystemShortcuts.h"

#include <cstdlib>

using namespace KeyboardShortcuts;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const auto &found : { parseGsettingsKeybindings(text), parseKdeGlobalShortcuts(text) }) {
        for (const Shortcut &shortcut : found) {
            const std::optional<Shortcut> stored = Shortcut::fromJson(shortcut.toJson());
            if (!stored || *stored != shortcut)
                std::abort();
        }
    }
    (void)shortcutFromGtkAccelerator(text);
    return 0;
}
