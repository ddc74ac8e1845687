#pragma once

#include <QStringView>

// How a stored text reads as a Boolean: "true", "yes", "y", "t" (any case, surrounding white
// space ignored) or a number other than zero. Shared by the typed readers and the INI back-end.
bool userDefaultsBoolFromText(QStringView text);
