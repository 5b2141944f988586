#pragma once

#include <QVariantMap>

#include "KDCondition.h"

namespace brevona {

// True while Caps Lock is in the wanted state; asks the keyboard state at every evaluation. The
// class watches Caps Lock while such conditions exist (a Caps Lock key-up, and a 1.5 s check of
// the state) and posts "SOME_CONDITION_HAVE_TRIGGERED" when it may have changed.
class KDCapsLockCondition : public KDCondition
{
public:
    static constexpr int PollIntervalMs = 1500;

    // Wants Caps Lock on.
    KDCapsLockCondition();
    // `settings`: "State", the wanted state (missing: off).
    explicit KDCapsLockCondition(const QVariantMap &settings);
    ~KDCapsLockCondition() override;

    bool isTrue() const override;
    bool wantsCapsLock() const { return m_wantsCapsLock; }

    static QString getId() { return QStringLiteral("capslock"); }
    // Compares the state with the last one seen and posts when it changed (the timer's check).
    static void checkCapsLock();
    static bool isWatching();

private:
    bool m_wantsCapsLock = true;
};

} // namespace brevona
