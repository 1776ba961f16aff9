#pragma once
// Text between the bridge's UTF-8 and Windows: UTF-16 for the profile and file functions, the
// ANSI code page for DDE names, the console and the MQTT library's file names.
#include <windows.h>

#include <string>

namespace mqttbridge {

inline std::wstring Wide(const std::string& text, UINT codePage = CP_UTF8)
{
    const int length =
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0)
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0],
                            length);
    return wide;
}

inline std::string Narrow(const std::wstring& wide, UINT codePage = CP_UTF8)
{
    const int length = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    if (length > 0)
        WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), &text[0],
                            length, nullptr, nullptr);
    return text;
}

// UTF-8 text in the ANSI code page.
inline std::string Ansi(const std::string& utf8)
{
    return Narrow(Wide(utf8), CP_ACP);
}

}  // namespace mqttbridge
