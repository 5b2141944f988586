#include "FileEventWatcher.h"

#include "linux/InotifyFileEventWatcher.h"

namespace brevona {

FileEventWatcher::~FileEventWatcher() = default;

std::unique_ptr<FileEventWatcher> FileEventWatcher::create()
{
    return InotifyFileEventWatcher::create();
}

} // namespace brevona
