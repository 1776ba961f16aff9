#pragma once
// Where KOMVAS runs under Wine, two defects of Wine's DDEML would make clients see wrong or empty
// values; these functions step around them there and do nothing on Windows, where DdePostAdvise
// is called exactly as it is.
//
// Both live in DdePostAdvise of Wine 8 to 10 (dlls/user32/dde_server.c), and the second in its
// answer to a request as well:
// - It takes one reference on the item's global atom (GlobalAddAtom) and puts that atom into the
//   WM_DDE_DATA of every advise loop on the item; each client deletes one reference when the
//   data arrives. With two loops on an item the atom dies at the first client, the second client
//   finds it gone or, once the atom is recycled, takes the value for another item.
// - For every loop it copies the data into a moveable global block (GMEM_MOVEABLE |
//   GMEM_DDESHARE: a four-byte DDEDATA header followed by the data), posts it, frees the data
//   handle and never frees the copy. Wine's kernelbase holds at most 65,536 moveable handles per
//   process; after that many updates the copies cannot be made and every client receives empty
//   values while DdePostAdvise still reports success.
#include <windows.h>
#include <ddeml.h>

#include "dde/wine_blocks.h"

namespace wine_ddeml {

// Switches the workarounds on where RunsUnderKnownWine() (dde/wine_version.h) says so; called
// once at start-up. Returns whether they are on.
bool Detect();
// Switches the workarounds on or off whatever runs the program (for tests).
void Enable(bool on);
bool Enabled();

// DdePostAdvise with the workarounds around it: every advise loop answered with data but the
// last gets a reference on the item's atom for the one its message takes away (the last
// message takes the reference DdePostAdvise took itself), and the copy that DdePostAdvise leaves
// behind is freed once it has been recognised as that copy.
BOOL PostAdvise(DWORD instance, HSZ topic, HSZ item);

// Called by the DDE callback for an advise request answered with `data`, a data handle of
// clipboard format `format`, as the very last step before the handle goes back to DDEML.
// `loopsAfter` is the transaction's dwData1: the advise loops on the item still to be asked
// within this post.
void AdviseAnswered(HDDEDATA data, UINT format, ULONG_PTR loopsAfter);

// The same for a request answered with `data`: Wine's request handling keeps both the data
// handle and the copy it posts (fResponse set) for every request, two moveable handles each.
void RequestAnswered(HDDEDATA data, UINT format);
// Frees what the last request left behind, once recognised; called when a transaction starts,
// when that request has been answered.
void CollectRequestLeftovers();

} // namespace wine_ddeml
