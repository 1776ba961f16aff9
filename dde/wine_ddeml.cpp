#include "dde/wine_ddeml.h"
#include "dde/wine_version.h"

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace wine_ddeml {

namespace {

bool enabled = false;

// The post in progress, as the DDE callback sees it from inside DdePostAdvise.
struct Post {
    bool active = false;
    DWORD instance = 0;
    HSZ item = nullptr;
    char name[256] = {0};  // the item name, for its global atom; read at the first need
    unsigned answered = 0; // advise requests answered with data: messages posted
    unsigned atomsMissed = 0;
    bool lastTookPostsAtom = false; // the last loop's message carries the post's own reference
    std::vector<Block> copies;
};

Post post;
// What the last request left behind, freed at the next transaction.
std::vector<Block> requestLeftovers;

// The four bytes in front of the data, two little-endian words: in a data handle the clipboard
// format and the application-owned flag (0), in a posted copy the DDEDATA option bits and the
// format.
constexpr std::size_t HeaderSize = 4;
// The DDEDATA option bits of the copy that answers a request: fResponse alone.
constexpr unsigned ResponseBit = 0x1000;

// The words `first` and `second`, then the bytes of `data`; empty when the data cannot be read.
std::string WithHeader(unsigned first, unsigned second, HDDEDATA data)
{
    const DWORD size = DdeGetData(data, nullptr, 0, 0);
    std::string bytes(HeaderSize + size, '\0');
    bytes[0] = static_cast<char>(first & 0xFF);
    bytes[1] = static_cast<char>(first >> 8);
    bytes[2] = static_cast<char>(second & 0xFF);
    bytes[3] = static_cast<char>(second >> 8);
    if (size > 0 &&
        DdeGetData(data, reinterpret_cast<LPBYTE>(&bytes[HeaderSize]), size, 0) != size)
        return std::string();
    return bytes;
}

// The handle that the next moveable allocation will get. Wine hands out moveable handles from
// a free list, the most recently freed first: the block DDEML allocates next after this
// callback returns (the copy it posts) gets the handle freed here. Nothing between this call
// and the callback's return may allocate a moveable block.
HGLOBAL NextMoveableHandle()
{
    const HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE, 1);
    if (handle != nullptr)
        GlobalFree(handle);
    return handle;
}

// Frees every block that is what DDEML left behind; the last block recorded for a handle is
// the one that holds it.
void FreeLeftBehind(std::vector<Block>& blocks)
{
    std::set<HGLOBAL> seen;
    for (auto block = blocks.rbegin(); block != blocks.rend(); ++block) {
        if (seen.insert(block->handle).second && IsLeftBehind(*block))
            GlobalFree(block->handle);
    }
    blocks.clear();
}

// Reads the name of the posted item into the post, once; false when DDEML cannot tell it.
bool ItemName()
{
    if (post.name[0] == '\0')
        DdeQueryStringA(post.instance, post.item, post.name, sizeof post.name, CP_WINANSI);
    return post.name[0] != '\0';
}

} // namespace

bool Detect()
{
    enabled = RunsUnderKnownWine();
    return enabled;
}

void Enable(bool on) { enabled = on; }

bool Enabled() { return enabled; }

BOOL PostAdvise(DWORD instance, HSZ topic, HSZ item)
{
    if (!enabled || post.active)
        return DdePostAdvise(instance, topic, item);

    post.active = true;
    post.instance = instance;
    post.item = item;
    post.name[0] = '\0';
    post.answered = post.atomsMissed = 0;
    post.lastTookPostsAtom = false;
    const BOOL ok = DdePostAdvise(instance, topic, item);
    post.active = false;

    // A loop without data gets no copy, and the next loop's copy then takes the handle
    // predicted for it.
    FreeLeftBehind(post.copies);

    // DdePostAdvise took one reference on the atom when it started and gives it back only when
    // it fails; every message took one reference. When the last loop's message took that first
    // reference nothing is left over; otherwise give it back, unless an added reference is
    // missing, which it then stands for.
    if ((ok || post.answered > 0) && !post.lastTookPostsAtom && post.atomsMissed == 0 &&
        ItemName()) {
        const ATOM atom = GlobalFindAtomA(post.name);
        if (atom != 0)
            GlobalDeleteAtom(atom);
    }
    return ok;
}

void AdviseAnswered(HDDEDATA data, UINT format, ULONG_PTR loopsAfter)
{
    if (!post.active || data == nullptr)
        return;
    ++post.answered;

    // The message of this loop carries the item's atom, and its client deletes one reference.
    // DdePostAdvise asks the loops in turn and counts down the loops still to come: the last
    // loop's message takes the reference DdePostAdvise took itself. Every earlier one gets a
    // reference of its own before it is posted, so that the atom outlives the clients that
    // delete theirs meanwhile.
    if (loopsAfter == 0)
        post.lastTookPostsAtom = true;
    else if (!ItemName() || GlobalAddAtomA(post.name) == 0)
        ++post.atomsMissed;

    // DdePostAdvise copies the data with no option bit set, posts the copy and keeps it.
    Block copy{nullptr, WithHeader(0, format, data)};
    if (copy.bytes.empty())
        return;
    post.copies.reserve(post.copies.size() + 1);
    copy.handle = NextMoveableHandle();
    if (copy.handle != nullptr)
        post.copies.push_back(std::move(copy));
}

void RequestAnswered(HDDEDATA data, UINT format)
{
    if (!enabled || data == nullptr)
        return;
    // The server's side of a request keeps both the data handle returned here (under Wine an
    // HDDEDATA is the moveable block that holds a four-byte head and the data) and the copy with
    // fResponse set that it posts to the client.
    Block handle{reinterpret_cast<HGLOBAL>(data), WithHeader(format, 0, data)};
    Block copy{nullptr, WithHeader(ResponseBit, format, data)};
    if (handle.bytes.empty() || copy.bytes.empty())
        return;
    requestLeftovers.reserve(2);
    requestLeftovers.push_back(std::move(handle));
    copy.handle = NextMoveableHandle();
    if (copy.handle != nullptr)
        requestLeftovers.push_back(std::move(copy));
}

void CollectRequestLeftovers()
{
    if (!requestLeftovers.empty())
        FreeLeftBehind(requestLeftovers);
}

} // namespace wine_ddeml
