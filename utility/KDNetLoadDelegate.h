#pragma once

#include "BrevonaUtilityExport.h"

namespace brevona {

class KDNetLoadOperation;

// Receives finished KDNetLoadOperation transfers, on the download queue's own thread (not the
// main thread). The operation is optional: the default does nothing.
//
// Destroying a delegate cancels all of its operations, so it is never called afterwards. Since
// the call arrives on another thread, a delegate should call
// KDNetLoadOperation::cancelAllDownloadsForDelegate(this) first in its own destructor: that
// returns only once a call already running into it has returned, before any of its members
// are destroyed.
class BREVONAUTILITY_EXPORT KDNetLoadDelegate
{
public:
    virtual ~KDNetLoadDelegate();

    virtual void netLoaderOperationFinished(KDNetLoadOperation &operation);

protected:
    KDNetLoadDelegate() = default;
    KDNetLoadDelegate(const KDNetLoadDelegate &) = delete;
    KDNetLoadDelegate &operator=(const KDNetLoadDelegate &) = delete;
};

} // namespace brevona
