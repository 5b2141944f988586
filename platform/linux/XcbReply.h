#pragma once

#include <cstdlib>
#include <memory>

namespace brevona {

// Replies, events and errors that xcb hands out are malloc'd and owned by the caller; holding them
// here frees them on every path out of the scope.
struct XcbFree
{
    void operator()(void *pointer) const { std::free(pointer); }
};

template<typename T> using XcbReply = std::unique_ptr<T, XcbFree>;

} // namespace brevona
