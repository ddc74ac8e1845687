#pragma once

#include <QString>

// Starting the program when the user logs in.
class LoginItem {
public:
    virtual ~LoginItem() = default;
    virtual bool isEnabled() const = 0;
    // Returns false when the desktop refused the change.
    virtual bool setEnabled(bool enabled) = 0;
};

// XDG autostart: a desktop entry in ~/.config/autostart. Enabled means the entry exists and
// is not marked Hidden=true; disabling deletes it.
class XdgAutostartLoginItem : public LoginItem {
public:
    // entryPath: the desktop entry; executable: the absolute path written into Exec.
    XdgAutostartLoginItem(QString entryPath, QString executable);

    // $XDG_CONFIG_HOME/autostart/io.glyphwell.Glyphwell.desktop (~/.config when unset).
    static QString defaultEntryPath();

    bool isEnabled() const override;
    bool setEnabled(bool enabled) override;

    const QString &entryPath() const { return m_entryPath; }
    // The Exec value for a program path, quoted as desktop entries require.
    static QString execLine(const QString &executable);

private:
    QString m_entryPath;
    QString m_executable;
};
