#include "ModifierFlags.h"

namespace KeyboardShortcuts {

QString ModifierFlags::ks_symbolicRepresentation() const
{
    QString result;
    if (contains(control))
        result += QChar(0x2303);
    if (contains(option))
        result += QChar(0x2325);
    if (contains(shift))
        result += QChar(0x21E7);
    if (contains(command))
        result += QChar(0x2318);
    if (contains(function)) {
        // The globe, with the text presentation selector so it is drawn like the other symbols.
        result += QString::fromUcs4(U"\U0001F310\uFE0E");
    }
    return result;
}

} // namespace KeyboardShortcuts
