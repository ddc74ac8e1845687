#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

// The per-user key-value store of the program's settings. Back-ends store QVariants; the
// typed readers below give every back-end the same conversions, which matters for the INI
// file: a Boolean written there reads back as the text "true" or "false".
class UserDefaults {
public:
    virtual ~UserDefaults() = default;

    virtual std::optional<QVariant> objectForKey(const QString &key) const = 0;
    virtual void setObject(const QString &key, const QVariant &value) = 0;
    virtual void removeObject(const QString &key) = 0;
    virtual QStringList keys() const = 0;

    // Booleans, numbers and the texts "true"/"yes" (any case) or a number read as Booleans;
    // anything else, or nothing, is false.
    bool boolForKey(const QString &key) const;
    // Texts as they are, numbers as their decimal text; anything else, or nothing, is absent.
    // A Boolean is not a text: true or false stored here reads as absent, also after a round
    // trip through the INI file.
    std::optional<QString> stringForKey(const QString &key) const;
    void setBool(const QString &key, bool value);
};
