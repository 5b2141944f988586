#pragma once

#include "HotKeyService.h"

namespace brevona {

// A session without global hot keys: every registration is refused.
class UnavailableHotKeyService : public HotKeyService
{
    Q_OBJECT
public:
    using HotKeyService::HotKeyService;

    std::optional<Reference> registerHotKey(int, int, const QString &, int) override { return std::nullopt; }
    bool unregisterHotKey(Reference) override { return false; }
};

} // namespace brevona
