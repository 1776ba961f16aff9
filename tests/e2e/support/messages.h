#pragma once
// The console lines of KOMVAS.exe as the tests expect them, decoded to UTF-8: level prefix,
// then the text of the string table with its values filled in.
#include <string>

namespace e2e::msg {

inline std::string info(const std::string& text)
{
    return "info\t: " + text;
}
inline std::string warning(const std::string& text)
{
    return "warning\t: " + text;
}
inline std::string fail(const std::string& text)
{
    return "fail\t: " + text;
}

inline const std::string startUp =
    info("Start up FA-M3 Dynamic Data Exchange Server. Created by R.Ambrosek.");           // 200
inline const std::string alreadyRunning = fail("二重起動です。");                          // 203
inline const std::string winsockOk = info("WinSock DLL initialize -> OK");                 // 205
inline const std::string ddemlOk = info("DDEML initialize -> OK");                         // 210
inline const std::string serviceOk = info("DDE server service register -> OK");            // 211
inline const std::string ready = info("初期設定完了。終了はDOS窓で CTRL + C 押下です。");  // 208

inline std::string ended(int code)
{
    return info("終了。(" + std::to_string(code) + ")");
}  // 206
inline std::string configured(const std::string& plc)
{
    return info(plc + " 設定完了。");
}  // 228
inline std::string configFailed(const std::string& plc)  // 213
{
    return fail(plc + " の設定に失敗。PLC名の重複等による設定エラーの為、終了。");
}
inline std::string registered(int count)  // 221
{
    return info("登録成功。現在の登録数 " + std::to_string(count) + " 個。");
}
inline std::string deleted(int remaining)  // 227
{
    return info("削除。残りの登録数 " + std::to_string(remaining) + " 個。");
}

// Refusals of item names (215 to 220), logged with the PLC name and the item name.
inline std::string badCpu(const std::string& plc, const std::string& item)
{
    return warning(plc + " " + item + " CPU番号不正。");
}
inline std::string badAddress(const std::string& plc, const std::string& item)
{
    return warning(plc + " " + item + " アドレス番号不正。");
}
inline std::string noSeparator(const std::string& plc, const std::string& item)
{
    return warning(plc + " " + item + " アドレスと型の境界(カンマ)が不明。");
}
inline std::string badStringLength(const std::string& plc, const std::string& item)
{
    return warning(plc + " " + item + " 文字列型の長さの指定が不正。");
}
inline std::string badType(const std::string& plc, const std::string& item)
{
    return warning(plc + " " + item + " データ型不正。");
}

// The PLC link (222 to 226).
inline std::string timeOut(const std::string& plc)  // 223
{
    return warning(plc + " タイムアウト。FA-M3からの応答がない。");
}
inline std::string notAnFam3(const std::string& plc)  // 224
{
    return warning(plc + " FA-M3が正しい応答をしない。FA-M3でない可能性がある。");
}
inline std::string asciiStarted(const std::string& plc)
{
    return info(plc + " 文字列通信開始。");
}
inline std::string binaryStarted(const std::string& plc)
{
    return info(plc + " バイナリ通信開始。");
}

// The lines every start-up shows before the configuration is read.
inline const std::string* const startUpLines[] = {&startUp, &winsockOk, &ddemlOk, &serviceOk};

}  // namespace e2e::msg
