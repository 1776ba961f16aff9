#include "dde/wine_blocks.h"

#include <cstring>

namespace wine_ddeml {

std::string Contents(HGLOBAL handle)
{
    const SIZE_T size = GlobalSize(handle);
    const void* bytes = size > 0 ? GlobalLock(handle) : nullptr;
    if (bytes == nullptr)
        return std::string();
    std::string contents(static_cast<const char*>(bytes), size);
    GlobalUnlock(handle);
    return contents;
}

bool IsLeftBehind(const Block& block)
{
    const UINT flags = GlobalFlags(block.handle);
    if (flags == GMEM_INVALID_HANDLE || (flags & GMEM_LOCKCOUNT) != 0 ||
        (flags & GMEM_DDESHARE) == 0 || (flags & GMEM_DISCARDED) != 0)
        return false;
    if (GlobalSize(block.handle) != block.bytes.size())
        return false;
    const void* bytes = GlobalLock(block.handle);
    if (bytes == nullptr)
        return false;
    const bool same = std::memcmp(bytes, block.bytes.data(), block.bytes.size()) == 0;
    GlobalUnlock(block.handle);
    return same;
}

}  // namespace wine_ddeml
