#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <optional>

// An environment variable set (or unset, with nullopt) for one scope, then put back.
class ScopedEnv {
public:
    ScopedEnv(const char *name, std::optional<QByteArray> value)
        : m_name(name)
        , m_had(qEnvironmentVariableIsSet(name))
        , m_old(qgetenv(name))
    {
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
    ~ScopedEnv()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    const char *m_name;
    bool m_had;
    QByteArray m_old;
};
