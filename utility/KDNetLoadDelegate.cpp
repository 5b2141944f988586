#include "KDNetLoadDelegate.h"

#include "KDNetLoadOperation.h"

namespace brevona {

KDNetLoadDelegate::~KDNetLoadDelegate()
{
    KDNetLoadOperation::cancelAllDownloadsForDelegate(this);
}

void KDNetLoadDelegate::netLoaderOperationFinished(KDNetLoadOperation &) {}

} // namespace brevona
