#pragma once
// What DDE clients expect of a server's System topic, so that browsers and spreadsheets can find
// out what KOMVAS offers and whether each PLC is live. Served on "SYSTEM" unless a PLC section
// has that name (in any letter case): that topic then stays the PLC's. Items, in CF_TEXT, names
// in any letter case:
//   Topics      "SYSTEM", then the PLC names in configuration order, tab-separated
//   SysItems    "SysItems", "Topics", "Formats", "Status", "Statistics", then the PLC names
//               that are items of their own, tab-separated
//   Formats     "TEXT"
//   Status      "Ready" while the server runs
//   Statistics  a table of every PLC's link: state, load, answers and failures
//               (dde/statistics_table.h), posted to advise loops at most once a second when
//               it has changed
//   <PLC>       the state of that PLC's link: "STARTING", "ASCII", "BINARY", "NO ANSWER" or
//               "UNREACHABLE", posted to advise loops whenever it changes
// The fixed items win over a PLC of the same name, which then has no item of its own: its
// state is in its row of Statistics.
#include "dde/dde.h"

namespace fam3 {
class LE01Comm;
}

namespace system_topic {

// Whether the system topic serves these items (no PLC has taken its name).
bool Served();

// The item of a request or advise request as a CF_TEXT data handle; null for another format or
// for an item the topic does not have.
HDDEDATA Data(const DdeTransaction& t);

// Whether an advise loop on the item can start: an item the topic has, in CF_TEXT.
bool CanAdvise(const DdeTransaction& t);

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
