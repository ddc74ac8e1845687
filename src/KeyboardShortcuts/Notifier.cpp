#include "Notifier.h"

namespace KeyboardShortcuts {

Notifier &Notifier::instance()
{
    // Never destroyed: connections may outlive QApplication, and static destruction order
    // between translation units is not ours to choose.
    static Notifier *notifier = new Notifier;
    return *notifier;
}

} // namespace KeyboardShortcuts
