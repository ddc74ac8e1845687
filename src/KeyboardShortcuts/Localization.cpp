#include "Localization.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <optional>

// Outside any namespace, as the resource initialiser must be. The string tables live in a
// static library, whose resource object the linker would drop unless something refers to it.
static void initKeyboardShortcutsResources()
{
    Q_INIT_RESOURCE(KeyboardShortcuts);
}

namespace KeyboardShortcuts {

namespace {

std::optional<QHash<QString, QString>> readTable(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    QHash<QString, QString> table;
    const QJsonObject object = document.object();
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        if (it.value().isString())
            table.insert(it.key(), it.value().toString());
    }
    return table;
}

} // namespace

QString bundlePath()
{
    return QStringLiteral(":/") + QLatin1StringView(bundleName);
}

namespace detail {

QHash<QString, QString> loadStringTable(const QString &bundlePath, const QStringList &languages)
{
    std::optional<QHash<QString, QString>> table = readTable(bundlePath + QStringLiteral("/en.json"));
    if (!table)
        qFatal("unable to find bundle named %s", bundleName);
    for (const QString &language : languages) {
        // "de-CH" falls back to "de"; English is already the base.
        QStringList candidates { language };
        const qsizetype dash = language.indexOf(QLatin1Char('-'));
        if (dash > 0)
            candidates.append(language.left(dash));
        for (const QString &candidate : candidates) {
            if (candidate == QLatin1StringView("en"))
                return *table;
            if (const auto translated
                = readTable(bundlePath + QLatin1Char('/') + candidate + QStringLiteral(".json"))) {
                table->insert(*translated);
                return *table;
            }
        }
    }
    return *table;
}

} // namespace detail

QString localized(const QString &key)
{
    static const QHash<QString, QString> table = [] {
        initKeyboardShortcutsResources();
        return detail::loadStringTable(bundlePath(), QLocale().uiLanguages());
    }();
    return table.value(key);
}

QString capitalizedText(const QString &text)
{
    QString result;
    bool atWordStart = true;
    for (const char32_t codePoint : text.toUcs4()) {
        const char32_t mapped = atWordStart ? QChar::toTitleCase(codePoint) : QChar::toLower(codePoint);
        result += QString::fromUcs4(&mapped, 1);
        atWordStart = QChar::isSpace(codePoint);
    }
    return result;
}

} // namespace KeyboardShortcuts
