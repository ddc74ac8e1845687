#include "IniUserDefaults.h"

#include "AtomicFile.h"
#include "UnreadableFile.h"
#include "UserDefaultsText.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>

#include <unistd.h>

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
    static const QRegularExpression variantLine(
        QStringLiteral("^[^=\\n]*=[ \\t]*@Variant\\(.*$\\n?"), QRegularExpression::MultilineOption);
    QString text = QString::fromUtf8(content);
    if (!text.contains(variantLine))
        return path;
    if (keepUnreadableFileAside(path).isEmpty())
        return path;
    text.remove(variantLine);
    writeFileAtomically(path, text.toUtf8(), FileAccess::privateToUser);
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

// A second name for the file, made as a hard link, which needs no room on the disk: kept while
// Qt writes, it is the old file to put back.
QString linkBeside(const QString &path, const char *purpose)
{
    const QString name = path + QLatin1Char('.') + QLatin1String(purpose) + QLatin1Char('-')
        + QString::number(QRandomGenerator::global()->generate(), 36);
    if (::link(QFile::encodeName(path).constData(), QFile::encodeName(name).constData()) != 0)
        return {};
    return name;
}

// Whether the file now holds what the settings object does. Read through another name, which
// Qt has not cached, so this is the file as it is on the disk.
bool fileHolds(const QString &path, const QSettings &settings)
{
    const QString alias = linkBeside(path, "check");
    if (alias.isEmpty())
        return QFileInfo(path).size() > 0 || settings.allKeys().isEmpty();
    bool same;
    {
        const QSettings written(alias, QSettings::IniFormat);
        // Read back, every value is text (or a list of texts).
        auto text = [](const QVariant &value) {
            return value.typeId() == QMetaType::QStringList ? value.toStringList().join(QChar(0)) + QChar(1)
                                                            : value.toString();
        };
        same = written.status() == QSettings::NoError && written.allKeys() == settings.allKeys();
        for (const QString &key : settings.allKeys()) {
            if (!same)
                break;
            same = text(written.value(key)) == text(settings.value(key));
        }
    }
    QFile::remove(alias);
    return same;
}

} // namespace

IniUserDefaults::IniUserDefaults()
    : IniUserDefaults(defaultFilePath())
{ }

IniUserDefaults::IniUserDefaults(const QString &filePath)
    : m_settings(std::make_unique<QSettings>(setAsideSerializedVariants(filePath), QSettings::IniFormat))
{
    // Files of older versions were made readable by every local user.
    tightenPrivateFolder(QFileInfo(filePath).absolutePath());
    tightenPrivateFile(filePath);
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
    if (key.isEmpty())
        return std::nullopt;
    if (m_unsaved) {
        if (!m_unsaved->contains(key))
            return std::nullopt;
        return restoreType(m_unsaved->value(key), m_unsaved->value(typeKey(key)).toString());
    }
    if (!m_settings->contains(key))
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
    const QString path = m_settings->fileName();
    std::optional<QVariantMap> understood;
    if (m_settings->status() == QSettings::FormatError) {
        // QSettings would rewrite the file from the part it understood, losing the rest.
        understood.emplace();
        for (const QString &key : m_settings->allKeys())
            understood->insert(key, m_settings->value(key));
        if (keepUnreadableFileAside(path).isEmpty() && QFileInfo::exists(path)) {
            m_saveLog.note(false, path, QStringLiteral("the unreadable file there cannot be moved aside"));
            return false;
        }
    }
    if (QFileInfo::exists(path)) {
        m_previousFile = linkBeside(path, "previous");
    } else {
        // Qt makes a new file readable by everyone, while one that exists keeps its mode when
        // Qt replaces it: so the file is made first, empty and private.
        QString error;
        if (!writeFileAtomically(path, {}, FileAccess::privateToUser, &error)) {
            m_saveLog.note(false, path, error);
            return false;
        }
        m_createdFile = true;
    }
    if (understood) {
        m_settings.reset(); // QSettings shares a parsed file between its objects on one path
        m_settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
        for (auto it = understood->cbegin(); it != understood->cend(); ++it)
            m_settings->setValue(it.key(), it.value());
    }
    if (m_unsaved) {
        // What a failed write could not save goes into this one, through a new QSettings:
        // the one made after the failure keeps reporting the error it met then.
        m_settings.reset();
        m_settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
        m_settings->clear();
        for (auto it = m_unsaved->cbegin(); it != m_unsaved->cend(); ++it)
            m_settings->setValue(it.key(), it.value());
    }
    return true;
}

void IniUserDefaults::afterWrite()
{
    QVariantMap intended;
    for (const QString &key : m_settings->allKeys())
        intended.insert(key, m_settings->value(key));
    m_settings->sync();
    const QString path = m_settings->fileName();
    const QSettings::Status status = m_settings->status();
    QString reason = status == QSettings::AccessError
        ? QStringLiteral("the file or its folder is not writable")
        : QStringLiteral("the file is not in INI format");
    bool saved = status == QSettings::NoError;
    // Qt reports success even when the disk filled up as it wrote, having replaced the file
    // with a short or empty one: what it wrote is read back.
    if (saved && !fileHolds(path, *m_settings)) {
        saved = false;
        reason = QStringLiteral("the file came out incomplete (is the disk full?)");
    }
    if (saved) {
        m_unsaved.reset();
    } else {
        // The old file goes back whole (a new one that never held anything goes away). The
        // values stay what the program set, kept here rather than in QSettings, which would
        // write them again by itself, unchecked; the next change saves them.
        if (!m_previousFile.isEmpty())
            ::rename(QFile::encodeName(m_previousFile).constData(), QFile::encodeName(path).constData());
        else if (m_createdFile)
            QFile::remove(path);
        m_settings.reset();
        m_settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
        m_unsaved = std::move(intended);
    }
    // Gone after a rename; still there when Qt had not replaced the file, or after a success.
    if (!m_previousFile.isEmpty())
        QFile::remove(m_previousFile);
    m_previousFile.clear();
    m_createdFile = false;
    m_saveLog.note(saved, path, reason);
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
    for (const QString &key : m_unsaved ? m_unsaved->keys() : m_settings->allKeys()) {
        if (!key.startsWith(typesPrefix))
            result.append(key);
    }
    return result;
}
