#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace brevona {

// The user's graphical session as logind sees it: "Active" turns false when the desktop is switched
// out (another user's session in front, the screen handed to the greeter) and true when it is back.
// Without a system bus or logind the desktop counts as always active; that is logged once.
class LogindSession : public QObject
{
    Q_OBJECT
public:
    explicit LogindSession(QObject *parent = nullptr);

    bool isAvailable() const { return !m_sessionPath.isEmpty(); }
    bool isActive() const { return m_active; }

Q_SIGNALS:
    void activeChanged(bool active);

private Q_SLOTS:
    void onPropertiesChanged(const QString &interface, const QVariantMap &changed,
                             const QStringList &invalidated);

private:
    QString findSessionPath() const;
    bool readActive() const;
    void setActive(bool active);

    QString m_sessionPath;
    bool m_active = true;
};

} // namespace brevona
