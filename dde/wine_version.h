#pragma once
// The one rule by which KOMVAS.exe and komvas-dde.exe decide whether to step around the defects
// of Wine's DDEML: both call this once at start-up and use its answer for their whole run.

namespace wine_ddeml {

// Whether the program runs under Wine 8, 9 or 10: ntdll exports wine_get_version and the major
// version it gives is one of those. Only these versions' DDEML, user32 and kernelbase were read
// and measured; a later Wine may free by itself what the workarounds free, and freeing a block
// twice is worse than keeping it. Under Windows and under any other Wine the programs call
// DDEML exactly as on Windows.
bool RunsUnderKnownWine();

}  // namespace wine_ddeml
