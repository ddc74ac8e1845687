#include "UserDefaults.h"

#include "UserDefaultsText.h"

#include <QLocale>

namespace {

bool isNumber(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Double:
    case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

bool isFloatingPoint(const QVariant &value)
{
    return value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float;
}

} // namespace

bool userDefaultsBoolFromText(QStringView text)
{
    const QStringView trimmed = text.trimmed();
    for (const char *word : { "true", "yes", "y", "t" }) {
        if (trimmed.compare(QLatin1String(word), Qt::CaseInsensitive) == 0)
            return true;
    }
    // Numeric text: leading white space, an optional sign and leading zeros are skipped; the
    // text is true when a digit 1-9 follows ("0", "0.5" and "-0" are false, "2", "-1", "007" true).
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    if (i < text.size() && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-')))
        ++i;
    while (i < text.size() && text.at(i) == QLatin1Char('0'))
        ++i;
    return i < text.size() && text.at(i) >= QLatin1Char('1') && text.at(i) <= QLatin1Char('9');
}

bool UserDefaults::boolForKey(const QString &key) const
{
    const std::optional<QVariant> value = objectForKey(key);
    if (!value)
        return false;
    if (value->typeId() == QMetaType::Bool)
        return value->toBool();
    if (isFloatingPoint(*value))
        return value->toDouble() != 0.0;
    if (isNumber(*value))
        return value->toLongLong() != 0 || value->toULongLong() != 0;
    if (value->typeId() == QMetaType::QString)
        return userDefaultsBoolFromText(value->toString());
    return false;
}

std::optional<QString> UserDefaults::stringForKey(const QString &key) const
{
    const std::optional<QVariant> value = objectForKey(key);
    if (!value)
        return std::nullopt;
    if (value->typeId() == QMetaType::QString)
        return value->toString();
    if (isFloatingPoint(*value))
        return QString::number(value->toDouble(), 'g', QLocale::FloatingPointShortest);
    if (isNumber(*value))
        return value->toString();
    return std::nullopt;
}

void UserDefaults::setBool(const QString &key, bool value)
{
    setObject(key, QVariant(value));
}
