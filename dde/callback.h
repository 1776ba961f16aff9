#pragma once
// The DDEML callback of the server instance: answers connects, serves the text formats
// (CF_TEXT and CF_UNICODETEXT) and routes every transaction on a PLC topic to that topic's server
// and every other one on the system topic to the system topic.
#include <windows.h>
#include <ddeml.h>

HDDEDATA CALLBACK DdeCallback(UINT type, UINT format, HCONV conv, HSZ hsz1, HSZ hsz2,
                              HDDEDATA data, ULONG_PTR data1, ULONG_PTR data2);
