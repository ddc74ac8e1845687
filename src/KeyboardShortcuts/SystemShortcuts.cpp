#include "SystemShortcuts.h"

#include "KeyboardShortcuts/KeyboardLayout.h"
#include "KeyboardShortcuts/QtKeys.h"
#include "KeyboardShortcuts/Registry.h"

#include <QDir>
#include <QFile>
#include <QKeySequence>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <xkbcommon/xkbcommon.h>

#include <algorithm>

namespace KeyboardShortcuts {

namespace {

// gsettings answers at once; one that hangs (a broken dconf) must not freeze the recorder.
constexpr int gsettingsTimeoutMs = 1500;

void appendUnique(std::vector<Shortcut> &list, const Shortcut &shortcut)
{
    if (std::find(list.begin(), list.end(), shortcut) == list.end())
        list.push_back(shortcut);
}

// The GNOME schemas whose keys are shortcuts.
const std::vector<QString> &gnomeKeybindingSchemas()
{
    static const std::vector<QString> schemas { QStringLiteral("org.gnome.desktop.wm.keybindings"),
        QStringLiteral("org.gnome.shell.keybindings"), QStringLiteral("org.gnome.mutter.keybindings"),
        QStringLiteral("org.gnome.settings-daemon.plugins.media-keys") };
    return schemas;
}

std::vector<Shortcut> gnomeShortcuts()
{
    const QString gsettings = QStandardPaths::findExecutable(QStringLiteral("gsettings"));
    if (gsettings.isEmpty())
        return {};
    std::vector<Shortcut> result;
    for (const QString &schema : gnomeKeybindingSchemas()) {
        QProcess process;
        process.start(gsettings, { QStringLiteral("list-recursively"), schema });
        // An unknown schema (another desktop, an older GNOME) fails; the others still count.
        if (!process.waitForFinished(gsettingsTimeoutMs) || process.exitStatus() != QProcess::NormalExit
            || process.exitCode() != 0) {
            process.kill();
            process.waitForFinished(100);
            continue;
        }
        for (const Shortcut &shortcut :
            parseGsettingsKeybindings(QString::fromUtf8(process.readAllStandardOutput())))
            appendUnique(result, shortcut);
    }
    return result;
}

std::vector<Shortcut> kdeShortcuts()
{
    const QString path
        = QStandardPaths::locate(QStandardPaths::GenericConfigLocation, QStringLiteral("kglobalshortcutsrc"));
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    return parseKdeGlobalShortcuts(QString::fromUtf8(file.readAll()));
}

} // namespace

std::optional<Shortcut> shortcutFromGtkAccelerator(QStringView accelerator)
{
    ModifierFlags flags;
    QStringView rest = accelerator.trimmed();
    while (rest.startsWith(u'<')) {
        const qsizetype end = rest.indexOf(u'>');
        if (end < 0)
            return std::nullopt;
        const QString modifier = rest.mid(1, end - 1).toString().toLower();
        rest = rest.mid(end + 1);
        if (modifier == u"shift")
            flags |= ModifierFlags::shift;
        else if (modifier == u"control" || modifier == u"ctrl" || modifier == u"ctl"
            || modifier == u"primary")
            flags |= ModifierFlags::control;
        else if (modifier == u"alt" || modifier == u"mod1" || modifier == u"meta")
            flags |= ModifierFlags::option;
        else if (modifier == u"super" || modifier == u"mod4" || modifier == u"hyper")
            flags |= ModifierFlags::command;
        else
            return std::nullopt; // a modifier shortcuts here cannot hold
    }
    if (rest.isEmpty())
        return std::nullopt;
    const QByteArray name = rest.toUtf8();
    xkb_keysym_t keysym = xkb_keysym_from_name(name.constData(), XKB_KEYSYM_NO_FLAGS);
    if (keysym == XKB_KEY_NoSymbol)
        keysym = xkb_keysym_from_name(name.constData(), XKB_KEYSYM_CASE_INSENSITIVE);
    const std::optional<int64_t> keyCode = keysym == XKB_KEY_NoSymbol ? std::nullopt : keysymToKey(keysym);
    if (!keyCode)
        return std::nullopt;
    return Shortcut(Key(*keyCode), flags);
}

std::vector<Shortcut> parseGsettingsKeybindings(QStringView output)
{
    static const QRegularExpression quoted(QStringLiteral(R"('((?:[^'\\]|\\.)*)')"));
    std::vector<Shortcut> result;
    for (QStringView line : output.split(u'\n')) {
        // "schema key value": the value starts after the second space.
        const qsizetype first = line.indexOf(u' ');
        const qsizetype second = first < 0 ? -1 : line.indexOf(u' ', first + 1);
        if (second < 0)
            continue;
        const QString value = line.mid(second + 1).toString();
        for (auto it = quoted.globalMatch(value); it.hasNext();) {
            if (const std::optional<Shortcut> shortcut
                = shortcutFromGtkAccelerator(it.next().capturedView(1)))
                appendUnique(result, *shortcut);
        }
    }
    return result;
}

std::vector<Shortcut> parseKdeGlobalShortcuts(QStringView contents)
{
    std::vector<Shortcut> result;
    for (QStringView line : contents.split(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u'[') || line.startsWith(u'#'))
            continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0 || line.left(equals).startsWith(u"_k_"))
            continue;
        QStringView value = line.mid(equals + 1);
        // The active part ends at the first comma that is not the key itself ("Meta+,").
        qsizetype comma = value.indexOf(u',');
        while (comma > 0 && value[comma - 1] == u'+')
            comma = value.indexOf(u',', comma + 1);
        const QStringView active = comma < 0 ? value : value.left(comma);
        for (QStringView part : active.split(u'\t', Qt::SkipEmptyParts)) {
            if (part == u"none")
                continue;
            const QKeySequence sequence
                = QKeySequence::fromString(part.toString(), QKeySequence::PortableText);
            if (sequence.count() != 1)
                continue;
            if (const std::optional<Shortcut> shortcut = shortcutForKeyCombination(sequence[0]))
                appendUnique(result, *shortcut);
        }
    }
    return result;
}

std::vector<Shortcut> systemShortcuts()
{
    std::vector<Shortcut> result = gnomeShortcuts();
    for (const Shortcut &shortcut : kdeShortcuts())
        appendUnique(result, shortcut);
    return result;
}

bool isUsedBySystem(const Shortcut &shortcut)
{
    const std::vector<Shortcut> used = systemShortcuts();
    if (std::find(used.begin(), used.end(), shortcut) != used.end())
        return true;
    Registry *registry = Registry::installed();
    return registry && registry->layer().isHeldByAnotherProgram(shortcut);
}

} // namespace KeyboardShortcuts
