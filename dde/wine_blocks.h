#pragma once
// The moveable blocks that Wine's DDEML (8 to 10) leaves behind in a process, as KOMVAS.exe and
// the tools' DDE sessions recognise them before they free one. Used only where
// RunsUnderKnownWine() says so (dde/wine_version.h).
#include <windows.h>

#include <string>

namespace wine_ddeml {

// A moveable block that Wine's DDEML is expected to have left behind: its handle and the bytes
// it must hold.
struct Block {
    HGLOBAL handle;
    std::string bytes;
};

// The bytes of a moveable block; empty when it cannot be read.
std::string Contents(HGLOBAL handle);

// True when `block.handle` is, beyond doubt, the block DDEML left behind: allocated, not locked,
// shared for DDE (DDEML allocates its data handles and copies with GMEM_DDESHARE, and Wine's
// user32 the blocks of the DDE messages it receives), exactly as large as the expected bytes and
// holding them. A handle that is free or holds anything else is left alone.
bool IsLeftBehind(const Block& block);

}  // namespace wine_ddeml
