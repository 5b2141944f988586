#pragma once

#include "KDCondition.h"

namespace brevona {

// True while the keyboard volume is present; every item carries one, so all layers count as hidden
// while the keyboard is gone. It starts from what the device announced last (present until the
// device says otherwise).
class KDTotalActivityCondition : public KDCondition
{
public:
    KDTotalActivityCondition();
    ~KDTotalActivityCondition() override;

    bool isTrue() const override { return m_state; }

private:
    bool m_state = true;
};

} // namespace brevona
