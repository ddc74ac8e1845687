#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

// One Glyphwell per desktop session, as Linux desktop programs do it: the running one owns
// the bus name io.glyphwell.Glyphwell and answers org.freedesktop.Application, so a second
// start (or a desktop launcher, or `glyphwell --capture`) asks it to act and leaves.
class SingleInstance : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
public:
    explicit SingleInstance(QDBusConnection connection, QObject *parent = nullptr);
    ~SingleInstance() override;

    static const QString serviceName;
    static const QString objectPath;
    // The actions a running instance takes through ActivateAction.
    static const QStringList actionNames;

    // Exports the interface and tries to own the name. False when another process owns it
    // (or the bus refused).
    bool becomePrimary();
    // Asks the running instance to come forward (empty action) or to run an action. False
    // when nothing answered.
    bool forward(const QString &action) const;

public Q_SLOTS:
    Q_SCRIPTABLE void Activate(const QVariantMap &platformData);
    Q_SCRIPTABLE void Open(const QStringList &uris, const QVariantMap &platformData);
    Q_SCRIPTABLE void ActivateAction(
        const QString &name, const QVariantList &parameter, const QVariantMap &platformData);

Q_SIGNALS:
    // startupId: the asking start's launcher token, so the window may take the focus.
    void activateRequested(const QString &startupId);
    void actionRequested(const QString &name, const QString &startupId);

private:
    QDBusConnection m_connection;
    bool m_exported = false;
};
