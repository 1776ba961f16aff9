#pragma once
// The process has one DDEML instance (Dde). Each test of the Windows side makes its own, with
// the callback and flags it needs, and ends it when it ends, so that no test depends on which
// test ran before it.
#include "dde/dde.h"

namespace testing_support {

inline HDDEDATA CALLBACK IgnoreTransactions(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR,
                                            ULONG_PTR)
{
    return nullptr;
}

// The process's DDEML instance for the life of this object.
class DdeInstance {
public:
    explicit DdeInstance(PFNCALLBACK callback = IgnoreTransactions,
                         DWORD flags = APPCLASS_STANDARD | CBF_SKIP_ALLNOTIFICATIONS)
    {
        // An instance that outlived its test would bring that test's callback and flags.
        if (Dde::Id() != 0)
            Dde::Uninitialize();
        result = Dde::Initialize(callback, flags);
    }
    // Ends the instance unless the test already did; its string and data handles go with it.
    ~DdeInstance()
    {
        if (Dde::Id() != 0)
            Dde::Uninitialize();
    }

    DdeInstance(const DdeInstance&) = delete;
    DdeInstance& operator=(const DdeInstance&) = delete;

    // DdeInitialize's result, DMLERR_NO_ERROR when the instance is up.
    UINT result;
};

} // namespace testing_support
