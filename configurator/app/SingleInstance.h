#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

namespace brevona {

// One configurator per session: the first start owns `com.kettlewood.Brevona.Configurator` on the
// session bus and offers `open(as files)` at path "/"; a later start hands its files to it (as
// absolute paths, since the first runs in another folder) and ends. The owner announces the
// files and asks for its window to be raised.
class SingleInstance : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.kettlewood.Brevona.Configurator")
public:
    static inline const QString ServiceName = QStringLiteral("com.kettlewood.Brevona.Configurator");

    enum class Role
    {
        First,      // this process owns the name and serves open()
        HandedOver, // another process owns it and has taken the files
        NoBus,      // no session bus: run alone, nobody can hand files over
    };

    // `busAddress` empty: the session bus.
    explicit SingleInstance(const QString &busAddress = QString(), QObject *parent = nullptr);
    ~SingleInstance() override;

    // Claims the name, or hands `files` to its owner.
    Role claim(const QStringList &files);

public Q_SLOTS:
    // Called over the bus by a later start.
    Q_SCRIPTABLE void open(const QStringList &files);

Q_SIGNALS:
    void filesReceived(const QStringList &files);
    void raiseRequested();

private:
    QString m_connectionName;
    bool m_owner = false;
};

} // namespace brevona
