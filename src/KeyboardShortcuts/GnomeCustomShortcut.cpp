#include "GnomeCustomShortcut.h"

#include <QCoro/QCoroProcess>
#include <QProcess>
#include <QRegularExpression>

#include <memory>

namespace GnomeCustomShortcut {

bool isCaptureCommand(const QString &command)
{
    static const QRegularExpression capture(QStringLiteral(R"((^|/)glyphwell['"]?\s+--capture\b)"));
    return capture.match(command.trimmed()).hasMatch();
}

Plan plan(const QStringList &paths, const std::map<QString, QString> &commands)
{
    for (const QString &path : paths) {
        const auto command = commands.find(path);
        if (command != commands.end() && isCaptureCommand(command->second))
            return { path, paths, false };
    }
    for (int n = 0;; ++n) {
        const QString path = pathPrefix + QString::number(n) + QLatin1Char('/');
        if (!paths.contains(path))
            return { path, paths + QStringList { path }, true };
    }
}

QStringList parseStringArray(const QString &text)
{
    QStringList strings;
    static const QRegularExpression quoted(QStringLiteral(R"('([^']*)')"));
    for (const QRegularExpressionMatch &match : quoted.globalMatch(text))
        strings << match.captured(1);
    return strings;
}

QString formatStringArray(const QStringList &strings)
{
    if (strings.isEmpty())
        return QStringLiteral("@as []");
    QStringList quoted;
    for (const QString &string : strings)
        quoted << quotedString(string);
    return QLatin1Char('[') + quoted.join(QStringLiteral(", ")) + QLatin1Char(']');
}

QString quotedString(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
        .replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + escaped + QLatin1Char('\'');
}

namespace {

struct Result {
    bool ok = false;
    QString output;
};

QCoro::Task<Result> gsettings(QStringList arguments)
{
    auto process = std::make_unique<QProcess>();
    process->setProgram(QStringLiteral("gsettings"));
    process->setArguments(arguments);
    process->setProcessChannelMode(QProcess::SeparateChannels);
    auto started = qCoro(*process).start();
    if (!co_await started)
        co_return Result { false, QStringLiteral("gsettings could not be started") };
    auto finished = qCoro(*process).waitForFinished(std::chrono::seconds(10));
    if (!co_await finished || process->exitStatus() != QProcess::NormalExit || process->exitCode() != 0)
        co_return Result { false, QString::fromUtf8(process->readAllStandardError()).trimmed() };
    co_return Result { true, QString::fromUtf8(process->readAllStandardOutput()).trimmed() };
}

// gsettings prints a string value quoted.
QString unquoted(const QString &value)
{
    const QStringList strings = parseStringArray(value);
    return strings.isEmpty() ? value : strings.first();
}

} // namespace

QCoro::Task<std::optional<QString>> apply(QString name, QString command, QString binding)
{
    const Result list = co_await gsettings({ QStringLiteral("get"), listSchema, listKey });
    if (!list.ok)
        co_return QStringLiteral("GNOME's keyboard settings cannot be read: %1").arg(list.output);
    const QStringList paths = parseStringArray(list.output);
    std::map<QString, QString> commands;
    for (const QString &path : paths) {
        const Result entry = co_await gsettings(
            { QStringLiteral("get"), entrySchema + QLatin1Char(':') + path, QStringLiteral("command") });
        if (entry.ok)
            commands[path] = unquoted(entry.output);
    }
    const Plan where = plan(paths, commands);
    const QString entry = entrySchema + QLatin1Char(':') + where.path;
    // The entry first, the list last: gnome-settings-daemon grabs the key once it is listed.
    const std::pair<QString, QString> values[] = {
        { QStringLiteral("name"), name },
        { QStringLiteral("command"), command },
        { QStringLiteral("binding"), binding },
    };
    for (const auto &[key, value] : values) {
        const Result set = co_await gsettings({ QStringLiteral("set"), entry, key, quotedString(value) });
        if (!set.ok)
            co_return QStringLiteral("GNOME's keyboard settings cannot be changed: %1").arg(set.output);
    }
    if (where.added) {
        const Result set = co_await gsettings(
            { QStringLiteral("set"), listSchema, listKey, formatStringArray(where.list) });
        if (!set.ok)
            co_return QStringLiteral("GNOME's keyboard settings cannot be changed: %1").arg(set.output);
    }
    co_return std::nullopt;
}

} // namespace GnomeCustomShortcut
