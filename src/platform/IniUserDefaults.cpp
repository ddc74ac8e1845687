#include "IniUserDefaults.h"

#include "UnreadableFile.h"
#include "UserDefaultsText.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>

namespace {

const QString typesGroup = QStringLiteral("ValueTypes");
const QString boolType = QStringLiteral("bool");
const QString intType = QStringLiteral("int");
const QString uintType = QStringLiteral("uint");
const QString doubleType = QStringLiteral("double");

// Values that QSettings decodes with QDataStream ("@Variant(...)") trust the counts inside
// them: a damaged one makes Qt reserve gigabytes and the program abort at start. Glyphwell
// writes only text, numbers and flags, so such a line is not its own. The file is kept aside
// whole and the other lines carry on. Returns the path, for use in an initialiser.
const QString &setAsideSerializedVariants(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return path;
    const QByteArray content = file.readAll();
    file.close();
    static const QRegularExpression variantLine(QStringLiteral("^[^=\\n]*=[ \\t]*@Variant\\(.*$\\n?"),
        QRegularExpression::MultilineOption);
    QString text = QString::fromUtf8(content);
    if (!text.contains(variantLine))
        return path;
    if (keepUnreadableFileAside(path).isEmpty())
        return path;
    text.remove(variantLine);
    QSaveFile rest(path);
    if (rest.open(QIODevice::WriteOnly)) {
        rest.write(text.toUtf8());
        rest.commit();
    }
    return path;
}

QString typeKey(const QString &key)
{
    return typesGroup + QLatin1Char('/') + key;
}

// The type to note for a value, or empty for text and for the types QSettings keeps itself
// (lists, maps and byte arrays are written in its own tagged forms).
QString typeNameFor(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        return boolType;
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Long:
    case QMetaType::Short:
    case QMetaType::SChar:
    case QMetaType::Char:
        return intType;
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::ULong:
    case QMetaType::UShort:
    case QMetaType::UChar:
        return uintType;
    case QMetaType::Double:
    case QMetaType::Float:
        return doubleType;
    default:
        return {};
    }
}

// Gives a value read as text its noted type back; text that no longer parses (edited by
// hand) stays text.
QVariant restoreType(const QVariant &stored, const QString &typeName)
{
    if (stored.typeId() != QMetaType::QString || typeName.isEmpty())
        return stored;
    const QString text = stored.toString();
    bool ok = false;
    if (typeName == boolType)
        return QVariant(userDefaultsBoolFromText(text));
    if (typeName == intType) {
        const qlonglong number = text.trimmed().toLongLong(&ok);
        if (ok)
            return QVariant(number);
    } else if (typeName == uintType) {
        const qulonglong number = text.trimmed().toULongLong(&ok);
        if (ok)
            return QVariant(number);
    } else if (typeName == doubleType) {
        const double number = text.trimmed().toDouble(&ok);
        if (ok)
            return QVariant(number);
    }
    return stored;
}

} // namespace

IniUserDefaults::IniUserDefaults()
    : IniUserDefaults(defaultFilePath())
{ }

IniUserDefaults::IniUserDefaults(const QString &filePath)
    : m_settings(std::make_unique<QSettings>(setAsideSerializedVariants(filePath), QSettings::IniFormat))
{
    noteFileState();
}

IniUserDefaults::~IniUserDefaults() = default;

QString IniUserDefaults::defaultFilePath()
{
    // GenericConfigLocation is $XDG_CONFIG_HOME, or ~/.config when that is unset.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/Glyphwell/Glyphwell.conf");
}

QString IniUserDefaults::filePath() const
{
    return m_settings->fileName();
}

void IniUserDefaults::noteFileState() const
{
    const QFileInfo file(m_settings->fileName());
    m_seenModified = file.exists() ? file.lastModified().toMSecsSinceEpoch() : -1;
    m_seenSize = file.exists() ? file.size() : -1;
}

void IniUserDefaults::reloadIfChanged() const
{
    // One stat per read; QSettings keeps its copy of the file otherwise.
    const QFileInfo file(m_settings->fileName());
    const qint64 modified = file.exists() ? file.lastModified().toMSecsSinceEpoch() : -1;
    const qint64 size = file.exists() ? file.size() : -1;
    if (modified == m_seenModified && size == m_seenSize)
        return;
    setAsideSerializedVariants(m_settings->fileName());
    m_settings->sync();
    noteFileState();
}

std::optional<QVariant> IniUserDefaults::objectForKey(const QString &key) const
{
    reloadIfChanged();
    if (key.isEmpty() || !m_settings->contains(key))
        return std::nullopt;
    const QVariant stored = m_settings->value(key);
    if (!stored.isValid())
        return std::nullopt;
    return restoreType(stored, m_settings->value(typeKey(key)).toString());
}

void IniUserDefaults::setObject(const QString &key, const QVariant &value)
{
    if (key.isEmpty())
        return; // QSettings has nowhere to put it
    if (!value.isValid()) {
        removeObject(key);
        return;
    }
    if (!beforeWrite())
        return;
    m_settings->setValue(key, value);
    const QString typeName = typeNameFor(value);
    if (typeName.isEmpty())
        m_settings->remove(typeKey(key));
    else
        m_settings->setValue(typeKey(key), typeName);
    afterWrite();
}

bool IniUserDefaults::beforeWrite()
{
    reloadIfChanged();
    if (m_settings->status() != QSettings::FormatError)
        return true;
    // QSettings would rewrite the file from the part it understood, losing the rest.
    const QString path = m_settings->fileName();
    QVariantMap understood;
    for (const QString &key : m_settings->allKeys())
        understood.insert(key, m_settings->value(key));
    if (keepUnreadableFileAside(path).isEmpty() && QFileInfo::exists(path)) {
        m_saveLog.note(false, path, QStringLiteral("the unreadable file there cannot be moved aside"));
        return false;
    }
    m_settings.reset(); // QSettings shares a parsed file between its objects on one path
    m_settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
    for (auto it = understood.cbegin(); it != understood.cend(); ++it)
        m_settings->setValue(it.key(), it.value());
    return true;
}

void IniUserDefaults::afterWrite()
{
    m_settings->sync();
    const QSettings::Status status = m_settings->status();
    m_saveLog.note(status == QSettings::NoError, m_settings->fileName(),
        status == QSettings::AccessError ? QStringLiteral("the file or its folder is not writable")
                                         : QStringLiteral("the file is not in INI format"));
    noteFileState();
}

void IniUserDefaults::removeObject(const QString &key)
{
    if (key.isEmpty())
        return; // QSettings::remove("") would clear every key
    if (!beforeWrite())
        return;
    m_settings->remove(key);
    m_settings->remove(typeKey(key));
    afterWrite();
}

QStringList IniUserDefaults::keys() const
{
    reloadIfChanged();
    QStringList result;
    const QString typesPrefix = typesGroup + QLatin1Char('/');
    for (const QString &key : m_settings->allKeys()) {
        if (!key.startsWith(typesPrefix))
            result.append(key);
    }
    return result;
}
