#include "dde/wine_ddeml.h"

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace wine_ddeml {

namespace {

bool enabled = false;

// What DdePostAdvise is expected to leave behind for one advise loop: the handle of its copy and
// the bytes the copy must hold.
struct Copy {
    HGLOBAL handle;
    std::string bytes;
};

// The post in progress, as the DDE callback sees it from inside DdePostAdvise.
struct Post {
    bool active = false;
    char item[256] = {0};  // the item name, for its global atom
    unsigned answered = 0; // advise requests answered with data: messages posted
    unsigned atomsMissed = 0;
    std::vector<Copy> copies;
};

Post post;

// The size of a DDEDATA header: option bits (all clear in an advise update) and the clipboard
// format, in front of the data.
constexpr std::size_t DdeDataHeader = 4;

// True when `copy.handle` is, beyond doubt, the copy of an advise update that DdePostAdvise left
// behind: a moveable block shared for DDE, not locked, exactly as large as the header and the
// data, with no option bit set, the format and the data of the answer. A handle that is free or
// holds anything else is left alone.
bool IsLeftBehind(const Copy& copy)
{
    const UINT flags = GlobalFlags(copy.handle);
    if (flags == GMEM_INVALID_HANDLE || (flags & GMEM_LOCKCOUNT) != 0 ||
        (flags & GMEM_DDESHARE) == 0 || (flags & GMEM_DISCARDED) != 0)
        return false;
    if (GlobalSize(copy.handle) != copy.bytes.size())
        return false;
    const void* bytes = GlobalLock(copy.handle);
    if (bytes == nullptr)
        return false;
    const bool same = std::memcmp(bytes, copy.bytes.data(), copy.bytes.size()) == 0;
    GlobalUnlock(copy.handle);
    return same;
}

} // namespace

bool Detect()
{
    typedef const char*(CDECL * VersionFunction)();
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    const FARPROC address = ntdll != nullptr ? GetProcAddress(ntdll, "wine_get_version") : nullptr;
    const char* version =
        address != nullptr ? reinterpret_cast<VersionFunction>(reinterpret_cast<void*>(address))()
                           : nullptr;
    // Only the versions whose DDEML and kernelbase were read and measured: a later Wine may free
    // the copy itself, and freeing it here as well would free a block twice.
    const int major = version != nullptr ? std::atoi(version) : 0;
    enabled = major >= 8 && major <= 10;
    return enabled;
}

void Enable(bool on) { enabled = on; }

bool Enabled() { return enabled; }

BOOL PostAdvise(DWORD instance, HSZ topic, HSZ item)
{
    if (!enabled || post.active)
        return DdePostAdvise(instance, topic, item);

    post = Post();
    post.active = true;
    DdeQueryStringA(instance, item, post.item, sizeof post.item, CP_WINANSI);
    const BOOL ok = DdePostAdvise(instance, topic, item);
    post.active = false;

    // The last copy recorded for a handle is the one that holds it (a loop without data gets no
    // copy, and the next loop's copy then takes the handle predicted for it).
    std::set<HGLOBAL> seen;
    for (auto copy = post.copies.rbegin(); copy != post.copies.rend(); ++copy) {
        if (seen.insert(copy->handle).second && IsLeftBehind(*copy))
            GlobalFree(copy->handle);
    }

    // DdePostAdvise took one reference on the atom when it started and gives it back only when
    // it fails; every message took one of the references added for it. What is left is that
    // first reference: give it back, unless an added reference is missing, which it then stands
    // for.
    if ((ok || post.answered > 0) && post.atomsMissed == 0 && post.item[0] != '\0') {
        const ATOM atom = GlobalFindAtomA(post.item);
        if (atom != 0)
            GlobalDeleteAtom(atom);
    }
    post.copies.clear();
    return ok;
}

void AdviseAnswered(HDDEDATA data)
{
    if (!post.active || data == nullptr)
        return;
    ++post.answered;

    // The message of this loop carries the item's atom, and its client deletes one reference.
    if (post.item[0] == '\0' || GlobalAddAtomA(post.item) == 0)
        ++post.atomsMissed;

    Copy copy;
    const DWORD size = DdeGetData(data, nullptr, 0, 0);
    copy.bytes.assign(DdeDataHeader + size, '\0');
    copy.bytes[2] = static_cast<char>(CF_TEXT & 0xFF);
    copy.bytes[3] = static_cast<char>(CF_TEXT >> 8);
    if (size > 0 && DdeGetData(data, reinterpret_cast<LPBYTE>(&copy.bytes[DdeDataHeader]), size,
                               0) != size)
        return;
    post.copies.reserve(post.copies.size() + 1);

    // Wine hands out moveable handles from a free list, the most recently freed first, and the
    // copy is the next moveable block DdePostAdvise allocates after this callback returns: it
    // gets the handle freed here. Nothing after this point may allocate a moveable block.
    copy.handle = GlobalAlloc(GMEM_MOVEABLE, 1);
    if (copy.handle == nullptr)
        return;
    GlobalFree(copy.handle);
    post.copies.push_back(std::move(copy));
}

} // namespace wine_ddeml
