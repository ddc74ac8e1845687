#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <optional>
#include <vector>

// Sets or unsets environment variables for one scope; the old values come back at its end,
// in reverse order, so a variable set twice ends as it began.
class ScopedEnv {
public:
    ScopedEnv() = default;
    ScopedEnv(const char *name, std::optional<QByteArray> value) { set(name, std::move(value)); }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;
    ~ScopedEnv()
    {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
            if (it->had)
                qputenv(it->name, it->value);
            else
                qunsetenv(it->name);
        }
    }

    void set(const char *name, std::optional<QByteArray> value)
    {
        m_saved.push_back({ name, qEnvironmentVariableIsSet(name), qgetenv(name) });
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }

private:
    struct Saved {
        const char *name;
        bool had;
        QByteArray value;
    };
    std::vector<Saved> m_saved;
};
