#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QStringList>

#include <csignal>
#include <sys/prctl.h>

// A session bus of the test's own, so nothing on the machine's bus is touched.
class PrivateBus {
public:
    PrivateBus()
    {
        // The daemon ends with us, even when a crash or a fuzzer's exit skips the destructor.
        m_daemon.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_daemon.start(QStringLiteral("dbus-daemon"),
            { QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1") });
        if (m_daemon.waitForStarted(5000) && m_daemon.waitForReadyRead(5000))
            address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        for (const QString &name : std::as_const(m_names))
            QDBusConnection::disconnectFromBus(name);
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }
    // A connection of one process on this bus.
    QDBusConnection connect(const QString &name)
    {
        m_names.append(name);
        return QDBusConnection::connectToBus(address, name);
    }

    QString address;

private:
    QProcess m_daemon;
    QStringList m_names;
};
