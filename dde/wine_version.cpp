#include "dde/wine_version.h"

#include <windows.h>

#include <cstdlib>

namespace wine_ddeml {

bool RunsUnderKnownWine()
{
    typedef const char*(CDECL * VersionFunction)();
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    const FARPROC address = ntdll != nullptr ? GetProcAddress(ntdll, "wine_get_version") : nullptr;
    const char* version =
        address != nullptr ? reinterpret_cast<VersionFunction>(reinterpret_cast<void*>(address))()
                           : nullptr;
    const int major = version != nullptr ? std::atoi(version) : 0;
    return major >= 8 && major <= 10;
}

}  // namespace wine_ddeml
