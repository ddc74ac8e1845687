#pragma once

#include "UnreadableFile.h"
#include "UserDefaults.h"

#include <QVariantMap>
#include <QtGlobal>

#include <memory>
#include <optional>

class QSettings;

// Settings in an INI file, written through on every change so a fresh store or another
// process sees them at once; a read sees what another process wrote (the file is read again
// when its modification time or size changed).
//
// INI text has no types: QSettings writes true, 7 and "7" alike as plain text and reads them
// all back as text. So the file carries a [ValueTypes] section naming the type of every value
// that is not text (bool, int, uint, double); values without an entry there are text. A value
// edited by hand without an entry (autoCopy=false) is therefore text, which the typed readers
// still read as the right Boolean.
//
// A file QSettings cannot parse is kept aside (see UnreadableFile.h) before the first write,
// and what could be read from it goes into the new file. A write that fails leaves the old
// file whole and is logged once. The file is 0600 in a 0700 folder.
class IniUserDefaults : public UserDefaults {
public:
    // ~/.config/Glyphwell/Glyphwell.conf, or the same under $XDG_CONFIG_HOME.
    IniUserDefaults();
    explicit IniUserDefaults(const QString &filePath);
    ~IniUserDefaults() override;

    static QString defaultFilePath();
    QString filePath() const;

    std::optional<QVariant> objectForKey(const QString &key) const override;
    void setObject(const QString &key, const QVariant &value) override;
    void removeObject(const QString &key) override;
    QStringList keys() const override;

private:
    void reloadIfChanged() const;
    void noteFileState() const;
    bool beforeWrite();
    void afterWrite();

    std::unique_ptr<QSettings> m_settings;
    mutable qint64 m_seenModified = -1;
    mutable qint64 m_seenSize = -1;
    SaveFailureLog m_saveLog { QStringLiteral("settings") };
    // During one write: the old file's second name, and whether the write made the file.
    QString m_previousFile;
    bool m_createdFile = false;
    // Every value, while the last write failed: reads come from here until one succeeds.
    std::optional<QVariantMap> m_unsaved;
};
