#pragma once

#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

// Makes a folder read-only for this thread for one scope. Tests run as root in CI, where
// permission bits alone stop nothing, so the capabilities that override them are dropped from
// the effective set meanwhile (they stay permitted and come back afterwards).
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(QString path)
        : m_path(std::move(path))
        , m_permissions(QFile::permissions(m_path))
    {
        QFile::setPermissions(
            m_path, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup);
        if (geteuid() == 0 && capabilities(false))
            m_dropped = true;
    }
    ~ReadOnlyFolder()
    {
        if (m_dropped)
            capabilities(true);
        QFile::setPermissions(m_path, m_permissions);
    }

private:
    static bool capabilities(bool overrideOn)
    {
        __user_cap_header_struct header { _LINUX_CAPABILITY_VERSION_3, 0 };
        __user_cap_data_struct data[2] {};
        if (syscall(SYS_capget, &header, data) != 0)
            return false;
        for (const int cap : { CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER }) {
            if (overrideOn)
                data[cap / 32].effective |= data[cap / 32].permitted & (1u << (cap % 32));
            else
                data[cap / 32].effective &= ~(1u << (cap % 32));
        }
        return syscall(SYS_capset, &header, data) == 0;
    }

    QString m_path;
    QFile::Permissions m_permissions;
    bool m_dropped = false;
};

// Collects the warnings logged during one scope.
class LoggedWarnings {
public:
    LoggedWarnings()
    {
        m_previous = qInstallMessageHandler(&LoggedWarnings::handle);
        current() = this;
    }
    ~LoggedWarnings()
    {
        qInstallMessageHandler(m_previous);
        current() = nullptr;
    }
    QStringList containing(const QString &part) const { return m_messages.filter(part); }

private:
    static LoggedWarnings *&current()
    {
        static LoggedWarnings *instance = nullptr;
        return instance;
    }
    static void handle(QtMsgType type, const QMessageLogContext &, const QString &message)
    {
        if (current() && type >= QtWarningMsg)
            current()->m_messages.append(message);
    }

    QtMessageHandler m_previous = nullptr;
    QStringList m_messages;
};
