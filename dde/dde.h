#pragma once
// The process's one DDEML instance. Every part of the server goes through these wrappers
// instead of calling DDEML itself; each passes the stored instance identifier and returns
// DDEML's result unchanged. Texts are ANSI in code page CP_WINANSI.
#include <windows.h>
#include <ddeml.h>

class Dde {
public:
    ~Dde();

    static UINT Initialize(PFNCALLBACK callback, DWORD flags);
    static BOOL Uninitialize();
    static HSZ CreateStringHandle(const char* text, int codePage = CP_WINANSI);
    static BOOL FreeStringHandle(HSZ hsz);
    static BOOL KeepStringHandle(HSZ hsz);
    static HDDEDATA NameService(HSZ service, HSZ reserved, UINT flags);
    static HDDEDATA CreateDataHandle(const void* source, DWORD size, DWORD offset, HSZ item,
                                     UINT format, UINT flags);
    static DWORD QueryString(HSZ hsz, char* buffer, DWORD size, int codePage = CP_WINANSI);
    // DdePostAdvise; under Wine with the workarounds of dde/wine_ddeml.h around it.
    static BOOL PostAdvise(HSZ topic, HSZ item);
    static DWORD GetData(HDDEDATA data, void* destination, DWORD maximum, DWORD offset);
    static BOOL FreeDataHandle(HDDEDATA data);
    // Whether two string handles name the same text, without regard to letter case
    // (DdeCmpStringHandles).
    static bool SameString(HSZ a, HSZ b);

    // The identifier of the instance, 0 while it is not initialised.
    static DWORD Id();

private:
    Dde() = default;
    DWORD instance = 0;
    static Dde process;
};

// The eight values of one DDE callback, in the callback's order. The server gets a pointer to
// a copy and must not keep it.
struct DdeTransaction {
    UINT type;
    UINT format;
    HCONV conv;
    HSZ hsz1;
    HSZ hsz2;
    HDDEDATA data;
    ULONG_PTR data1;
    ULONG_PTR data2;
};
