#include "PlatformMethods.h"

namespace {
QString &stored()
{
    static QString description;
    return description;
}
} // namespace

void setPlatformMethods(const QString &description)
{
    stored() = description;
}

QString platformMethods()
{
    return stored();
}
