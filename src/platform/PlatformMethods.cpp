#include "PlatformMethods.h"

namespace {
PlatformMethods &stored()
{
    static PlatformMethods methods;
    return methods;
}
} // namespace

QString PlatformMethods::description() const
{
    return QStringLiteral("capture: %1; shortcuts: %2")
        .arg(capture.isEmpty() ? QStringLiteral("none") : capture,
            shortcuts.isEmpty() ? QStringLiteral("none") : shortcuts);
}

void setPlatformMethods(const PlatformMethods &methods)
{
    stored() = methods;
}

const PlatformMethods &platformMethods()
{
    return stored();
}
