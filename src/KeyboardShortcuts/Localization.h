#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

namespace KeyboardShortcuts {

// The subsystem's own texts (recorder messages, the name of the space key), compiled in as
// one JSON string table per language under this resource folder. English is always there and
// fills in whatever a translation lacks.
inline constexpr char bundleName[] = "KeyboardShortcuts_KeyboardShortcuts";
QString bundlePath();

// The text for the key in the user's language; empty when no table has the key. The tables
// are read on first use; without them the program stops.
QString localized(const QString &key);

// Each word with a title-case first letter and the rest in lower case ("space" → "Space").
QString capitalizedText(const QString &text);

namespace detail {
// The merged table of the bundle folder for the given languages (best first, such as
// QLocale::uiLanguages()): English, overlaid by the first language that has a table. Stops the
// program with "unable to find bundle named KeyboardShortcuts_KeyboardShortcuts" when the
// folder has no readable English table.
QHash<QString, QString> loadStringTable(const QString &bundlePath, const QStringList &languages);
} // namespace detail

} // namespace KeyboardShortcuts
