#include "InMemoryUserDefaults.h"

InMemoryUserDefaults::InMemoryUserDefaults(QVariantMap values)
    : m_values(std::move(values))
{ }

std::optional<QVariant> InMemoryUserDefaults::objectForKey(const QString &key) const
{
    const auto it = m_values.constFind(key);
    if (it == m_values.constEnd())
        return std::nullopt;
    return *it;
}

void InMemoryUserDefaults::setObject(const QString &key, const QVariant &value)
{
    // Storing "nothing" removes the key, so a later read is absent rather than an invalid value.
    if (!value.isValid()) {
        removeObject(key);
        return;
    }
    m_values.insert(key, value);
}

void InMemoryUserDefaults::removeObject(const QString &key)
{
    m_values.remove(key);
}

QStringList InMemoryUserDefaults::keys() const
{
    return m_values.keys();
}
