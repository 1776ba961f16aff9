#pragma once
// Where KOMVAS runs under Wine (the detection and versions of dde/wine_ddeml.h), defects of
// Wine's DDEML would let a client that opens one conversation per reading first leak memory in
// the server and then, after 32,768 conversations, lose every conversation, and would let the
// server's memory grow with what clients send on a conversation; these functions step around
// them there and do nothing on Windows.
//
// - For every WM_DDE_INITIATE, WDML_ServerNameProc (dlls/user32/dde_server.c) turns the service
//   and topic atoms into string handles (WDML_MakeHszFromAtom, one more node and one more local
//   atom reference each) and never frees them; the conversation takes and gives back references
//   of its own. Two string handle nodes stay behind for every conversation.
// - Wine's window handles carry the generation of their slot in the user handle table in bits
//   16 to 31 (server/user.c, alloc_user_handle), one more every time the slot is reused. A
//   client that connects and disconnects again and again reuses the same two slots, one for its
//   window and one for the server's conversation window. From generation 0x8000 on a handle has
//   bit 31 set: win32u hands it out sign-extended, but WIN_GetFullHandle (dlls/user32/win.c)
//   gives it back zero-extended, and DDEML compares the two (WDML_ServerConvProc in
//   dde_server.c, the WDML_Handle...Reply functions in dde_client.c). From then on the server
//   drops every message of a client whose window has such a handle, and a client drops every
//   answer from a server conversation window that has one: requests time out, disconnects hang.
// - WDML_ServerConvProc (dde_server.c) ignores a WM_DDE_ACK that a client posts to the server's
//   conversation window, as spreadsheets do for every WM_DDE_DATA: neither the block in which
//   Wine's user32 unpacked the message (unpack_dde_message, dlls/user32/message.c) nor the
//   reference on the item's global atom that the acknowledgement hands back is ever released.
//   That is about 50 bytes of the server's heap for every acknowledged update, and the atoms of
//   such items never die.
// - WDML_ServerHandleAdvise (dde_server.c) frees the DDEADVISE block of a WM_DDE_ADVISE, the
//   server's own copy under Wine, only when the advise is accepted: every refused advise keeps
//   one moveable block, of the 65,536 a process can hold.
#include <windows.h>
#include <dde.h>
#include <ddeml.h>

namespace wine_conversations {

// Called once the service name is registered: DDEML's name window then hears of a client's
// window by a handle that DDEML's own comparisons will match.
void ServiceRegistered();

// Called by the DDE callback when it accepts a conversation, just before DDEML creates the
// conversation's window: window handle slots worn that far are taken out of use first.
void Accepting();

// Called by the DDE callback for XTYP_CONNECT_CONFIRM (which Wine sends whatever the flags):
// the conversation's window then gives back what DDEML keeps of the messages it receives.
void Confirmed(HCONV conv);

// Called by the DDE callback when it has answered XTYP_ADVSTART.
void AdviseAnswered(bool accepted);

// Called by the DDE callback when it refuses a conversation or has answered a wildcard
// connect: gives back the string handles DDEML made for the call (either may be null).
void ConnectAnswered(DWORD instance, HSZ topic, HSZ service);

// Called by the DDE callback when a conversation ends: gives back the string handles DDEML
// made for it when it started, if it was accepted through XTYP_CONNECT and confirmed.
void Disconnecting(DWORD instance, HCONV conv);

// Window handle slots taken out of use so far (for tests and figures).
unsigned RetiredSlots();

}  // namespace wine_conversations
