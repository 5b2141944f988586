#pragma once

namespace brevona {

// A condition keeps its own truth value up to date from its trigger's notifications.
class KDCondition
{
public:
    virtual ~KDCondition();
    virtual bool isTrue() const = 0;
    // The modifier mask a modifier condition needs held; 0 for every other kind.
    virtual int neededModifierState() const { return 0; }
    virtual bool isModifierCondition() const { return false; }
};

} // namespace brevona
