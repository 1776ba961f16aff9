#pragma once
// The command-frame form a PLC's link uses, as the "MODE" key of its configuration section
// chooses it. Pure, no Windows API.
namespace fam3 {

constexpr int ModeAuto = 0;    // the link probes the module and chooses the form itself
constexpr int ModeBinary = 1;  // binary command frames
constexpr int ModeAscii = 2;   // ASCII command frames

} // namespace fam3
