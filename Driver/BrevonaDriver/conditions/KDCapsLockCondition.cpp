#include "KDCapsLockCondition.h"

#include <QTimer>

#include "ConditionKeys.h"
#include "KDKeyboardStateSource.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"

namespace brevona {

namespace {

// The class's watcher, made on first use and kept for the process's life.
struct CapsLockWatcher
{
    QTimer timer;
    bool lastSeen = false;
    int conditions = 0;

    CapsLockWatcher()
    {
        timer.setInterval(KDCapsLockCondition::PollIntervalMs);
        QObject::connect(&timer, &QTimer::timeout, &KDCapsLockCondition::checkCapsLock);
        NotificationCenter::defaultCenter().addObserver(
            this, notifications::HidKeyUp, [this](Notification &n) {
                if (n.object().toString() != conditionkeys::CapsLockKey)
                    return;
                lastSeen = KDKeyboardStateSource::instance().isCapsLocked();
                NotificationCenter::defaultCenter().post(notifications::SomeConditionHaveTriggered);
            });
    }

    void added()
    {
        if (conditions++ > 0)
            return;
        lastSeen = KDKeyboardStateSource::instance().isCapsLocked();
        timer.start();
    }

    void removed()
    {
        if (conditions > 0 && --conditions == 0)
            timer.stop();
    }
};

CapsLockWatcher &watcher()
{
    static auto *instance = new CapsLockWatcher();
    return *instance;
}

} // namespace

KDCapsLockCondition::KDCapsLockCondition()
    : KDCapsLockCondition(QVariantMap{{conditionkeys::State, true}})
{}

KDCapsLockCondition::KDCapsLockCondition(const QVariantMap &settings)
    : m_wantsCapsLock(settings.value(conditionkeys::State).toBool())
{
    watcher().added();
}

KDCapsLockCondition::~KDCapsLockCondition()
{
    watcher().removed();
}

bool KDCapsLockCondition::isTrue() const
{
    return m_wantsCapsLock == KDKeyboardStateSource::instance().isCapsLocked();
}

void KDCapsLockCondition::checkCapsLock()
{
    CapsLockWatcher &w = watcher();
    const bool now = KDKeyboardStateSource::instance().isCapsLocked();
    if (now == w.lastSeen)
        return;
    w.lastSeen = now;
    NotificationCenter::defaultCenter().post(notifications::SomeConditionHaveTriggered);
}

bool KDCapsLockCondition::isWatching()
{
    return watcher().timer.isActive();
}

} // namespace brevona
