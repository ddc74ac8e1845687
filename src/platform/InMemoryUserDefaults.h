#pragma once

#include "UserDefaults.h"

#include <QVariantMap>

// Settings kept in memory only: for tests and for runs that must not touch the user's file.
class InMemoryUserDefaults : public UserDefaults {
public:
    InMemoryUserDefaults() = default;
    explicit InMemoryUserDefaults(QVariantMap values);

    std::optional<QVariant> objectForKey(const QString &key) const override;
    void setObject(const QString &key, const QVariant &value) override;
    void removeObject(const QString &key) override;
    QStringList keys() const override;

private:
    QVariantMap m_values;
};
