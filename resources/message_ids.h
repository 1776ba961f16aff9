#pragma once
// The ids of the console messages of the string table (resources/messages.rc), named by what
// they say. No Windows API: item names and the configuration's values raise some of them.
namespace msgid {

constexpr int StartUp = 200;               // start banner
constexpr int SignalFailed = 201;          // the SIGINT handler could not be installed
constexpr int AtexitFailed = 202;          // the exit clean-up could not be registered
constexpr int AlreadyRunning = 203;        // a second copy
constexpr int WinsockFailed = 204;         // system text, error code
constexpr int WinsockOk = 205;
constexpr int Ended = 206;                 // exit code
constexpr int StopAccepted = 207;          // in the table; nothing logs it
constexpr int Ready = 208;                 // start-up complete
constexpr int DdemlFailed = 209;           // DDEML's result
constexpr int DdemlOk = 210;
constexpr int ServiceOk = 211;
constexpr int ServiceFailed = 212;
constexpr int SectionFailed = 213;         // section name
constexpr int ItemNameUnobtainable = 214;  // PLC name
constexpr int BadCpu = 215;                // PLC name, item name
constexpr int BadRegister = 216;           // in the table; nothing logs it
constexpr int BadAddress = 217;            // PLC name, item name
constexpr int NoSeparator = 218;           // PLC name, item name
constexpr int BadStringLength = 219;       // PLC name, item name
constexpr int BadType = 220;               // PLC name, item name
constexpr int Registered = 221;            // items now
constexpr int SocketFailed = 222;          // PLC name, system text of the error
constexpr int TimedOut = 223;              // PLC name: no answer to a read command
constexpr int NoProbeReply = 224;          // PLC name: no reply to the probe
constexpr int AsciiStarted = 225;          // PLC name
constexpr int BinaryStarted = 226;         // PLC name
constexpr int Deleted = 227;               // items left
constexpr int SectionReady = 228;          // section name
constexpr int LogFileFailed = 229;         // file name, system text: the day's file is not kept

// The table holds every id from the first to the last.
constexpr int FirstId = StartUp;
constexpr int LastId = LogFileFailed;

} // namespace msgid
