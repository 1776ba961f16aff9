#pragma once
// What DDE clients expect of a server's System topic, so that browsers and spreadsheets can find
// out what KOMVAS offers and whether each PLC is live. Served on "SYSTEM" unless a PLC section
// has that name (in any letter case): that topic then stays the PLC's. Items, rendered as CF_TEXT
// (the DDE callback serves them as CF_UNICODETEXT as well), names in any letter case:
//   Topics      "SYSTEM", then the PLC names in configuration order, tab-separated
//   SysItems    "SysItems", "Topics", "Formats", "Status", "Statistics", then the PLC names
//               that are items of their own, tab-separated
//   Formats     "TEXT", "UNICODETEXT"
//   Status      "Ready" while the server runs
//   Statistics  a table of every PLC's link: state, load, answers and failures
//               (dde/statistics_table.h), posted to advise loops at most once a second when
//               it has changed
//   <PLC>       the state of that PLC's link: "STARTING", "ASCII", "BINARY", "NO ANSWER" or
//               "UNREACHABLE", posted to advise loops whenever it changes
// The fixed items win over a PLC of the same name, which then has no item of its own: its
// state is in its row of Statistics.
#include <cstddef>

#include "dde/dde.h"

namespace fam3 {
class LE01Comm;
}

namespace system_topic {

// Whether the system topic serves these items (no PLC has taken its name).
bool Served();

// Whether `topic` is the system topic and it serves these items.
bool Serves(HSZ topic);

// The item of a request or advise request as a CF_TEXT data handle, whatever format the
// transaction asks for (the DDE callback serves the formats); null for an item the topic does
// not have, and for an advise request of a loop that the conversation has not started here.
HDDEDATA Request(const DdeTransaction& t);
HDDEDATA AdviseRequest(const DdeTransaction& t);

// Starts an advise loop of the conversation on an item the topic has; false for another item.
// The callback has checked the format.
bool AdviseStart(const DdeTransaction& t);
// AdviseStop ends the conversation's advise loop on the item in the transaction's format;
// Disconnect ends all of its loops.
void AdviseStop(const DdeTransaction& t);
void Disconnect(const DdeTransaction& t);

// Runs an execute command on the system topic's name (also where a PLC has taken it): "END"
// stops the server. True when the command was run.
bool Execute(const DdeTransaction& t);

// Whether the data of an execute is the command END, in any letter case: as ANSI text or as
// UTF-16 text (a Unicode client's execute data arrive unconverted), up to its terminator or the
// end of the data, with nothing but NUL bytes after the terminator.
bool IsEndCommand(const unsigned char* data, std::size_t size);

// Tells the advise loops on the PLC's item that the state of its link changed.
void LinkStateChanged(fam3::LE01Comm& link);

// The shortest time between two updates of the Statistics item's advise loops.
constexpr unsigned StatisticsPeriodMs = 1000;

// Tells the advise loops on Statistics that the table changed, if it did and the last update
// is at least StatisticsPeriodMs ago. Called by the main loop once the links have been polled,
// so that no read waits for it.
void PostStatistics();

// The answer to XTYP_WILDCONNECT: the (service, topic) pairs of every topic that matches
// `topic` on a service that matches `service`, either null meaning any, ended by a null pair;
// null when none matches.
HDDEDATA WildConnect(HSZ topic, HSZ service);

} // namespace system_topic
