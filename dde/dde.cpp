#include "dde/dde.h"

#include "dde/wine_ddeml.h"

Dde Dde::process;

Dde::~Dde()
{
    // At static destruction the exit clean-up has already uninitialised the instance; the call
    // with identifier 0 then fails without effect.
    Uninitialize();
}

UINT Dde::Initialize(PFNCALLBACK callback, DWORD flags)
{
    return DdeInitializeA(&process.instance, callback, flags, 0);
}

BOOL Dde::Uninitialize()
{
    const BOOL ok = DdeUninitialize(process.instance);
    process.instance = 0;
    return ok;
}

HSZ Dde::CreateStringHandle(const char* text, int codePage)
{
    return DdeCreateStringHandleA(process.instance, text, codePage);
}

BOOL Dde::FreeStringHandle(HSZ hsz) { return DdeFreeStringHandle(process.instance, hsz); }

BOOL Dde::KeepStringHandle(HSZ hsz) { return DdeKeepStringHandle(process.instance, hsz); }

HDDEDATA Dde::NameService(HSZ service, HSZ reserved, UINT flags)
{
    return DdeNameService(process.instance, service, reserved, flags);
}

HDDEDATA Dde::CreateDataHandle(const void* source, DWORD size, DWORD offset, HSZ item,
                               UINT format, UINT flags)
{
    return DdeCreateDataHandle(process.instance,
                               static_cast<LPBYTE>(const_cast<void*>(source)), size, offset,
                               item, format, flags);
}

DWORD Dde::QueryString(HSZ hsz, char* buffer, DWORD size, int codePage)
{
    return DdeQueryStringA(process.instance, hsz, buffer, size, codePage);
}

BOOL Dde::PostAdvise(HSZ topic, HSZ item)
{
    return wine_ddeml::PostAdvise(process.instance, topic, item);
}

DWORD Dde::GetData(HDDEDATA data, void* destination, DWORD maximum, DWORD offset)
{
    return DdeGetData(data, static_cast<LPBYTE>(destination), maximum, offset);
}

BOOL Dde::FreeDataHandle(HDDEDATA data)
{
    return DdeFreeDataHandle(data);
}

bool Dde::SameString(HSZ a, HSZ b) { return DdeCmpStringHandles(a, b) == 0; }

DWORD Dde::Id() { return process.instance; }
