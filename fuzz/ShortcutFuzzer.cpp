// A stored shortcut as read from the settings file: any text. What decodes must encode to
// JSON that decodes to the same shortcut, and must describe itself without failing.
#include "KeyboardShortcuts/Shortcut.h"

#include <cstdlib>

using KeyboardShortcuts::Shortcut;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::optional<Shortcut> shortcut
        = Shortcut::fromJson(QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (!shortcut)
        return 0;
    const std::optional<Shortcut> again = Shortcut::fromJson(shortcut->toJson());
    if (!again || *again != *shortcut)
        std::abort();
    (void)shortcut->description();
    (void)shortcut->nsMenuItemKeyEquivalent();
    return 0;
}
