#pragma once

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QMap>
#include <QString>
#include <QStringList>

// D-Bus shapes close to those the portals send (a(ss) beside a(sa{sv}), a{ss} beside a{sas}),
// for checking that the readers take a near miss for nothing.
struct TwoStrings {
    QString first, second;
};

inline QDBusArgument &operator<<(QDBusArgument &argument, const TwoStrings &value)
{
    argument.beginStructure();
    argument << value.first << value.second;
    argument.endStructure();
    return argument;
}

inline const QDBusArgument &operator>>(const QDBusArgument &argument, TwoStrings &value)
{
    argument.beginStructure();
    argument >> value.first >> value.second;
    argument.endStructure();
    return argument;
}

Q_DECLARE_METATYPE(TwoStrings)

// The near misses and the right shapes, so any of them can be sent.
inline void registerNearMissDBusTypes()
{
    qDBusRegisterMetaType<TwoStrings>();
    qDBusRegisterMetaType<QList<TwoStrings>>();
    qDBusRegisterMetaType<QMap<QString, QStringList>>();
    qDBusRegisterMetaType<QMap<QString, QString>>();
}
