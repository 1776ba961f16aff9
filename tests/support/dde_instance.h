#pragma once
// The tests of the Windows side share the process's one DDEML instance, made on first use.
#include "dde/dde.h"

namespace testing_support {

inline HDDEDATA CALLBACK IgnoreTransactions(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR,
                                            ULONG_PTR)
{
    return nullptr;
}

// Initialises the process's DDEML instance unless something already did; true when it is up.
inline bool EnsureDdeInstance()
{
    if (Dde::Id() == 0)
        Dde::Initialize(IgnoreTransactions, APPCLASS_STANDARD | CBF_SKIP_ALLNOTIFICATIONS);
    return Dde::Id() != 0;
}

} // namespace testing_support
