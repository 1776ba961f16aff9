// The client of the conversations benchmark: opens COUNT conversations with SERVICE on TOPIC one
// after the other, requests ITEM in each as text and disconnects, the way a script that polls
// with one conversation per reading does. Prints "value TEXT" for the first conversation,
// "progress N" after every 100, "failed N connect|request ERROR MS" for every conversation
// that fails, and "done N" at the end; a hung call shows as missing progress.
//   conversation_client SERVICE TOPIC ITEM COUNT
#include <windows.h>
#include <ddeml.h>

#include <cstdio>
#include <cstdlib>

namespace {

HDDEDATA CALLBACK Callback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR)
{
    return nullptr;
}

// Serves window messages for `ms` milliseconds: under Wine the answer to a request is followed
// by one more acknowledgement, which must go by before the conversation ends.
void Pump(DWORD ms)
{
    const DWORD start = GetTickCount();
    MSG msg;
    do {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
    } while (GetTickCount() - start < ms);
}

}  // namespace

int main(int argc, char** argv)
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    const long count = argc == 5 ? std::atol(argv[4]) : 0;
    if (count <= 0) {
        std::fprintf(stderr, "usage: conversation_client SERVICE TOPIC ITEM COUNT\n");
        return 2;
    }
    DWORD instance = 0;
    if (DdeInitializeA(&instance, Callback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) {
        std::printf("failed 0 initialize\n");
        return 1;
    }
    const HSZ service = DdeCreateStringHandleA(instance, argv[1], CP_WINANSI);
    const HSZ topic = DdeCreateStringHandleA(instance, argv[2], CP_WINANSI);
    const HSZ item = DdeCreateStringHandleA(instance, argv[3], CP_WINANSI);
    long failed = 0;
    for (long n = 1; n <= count; ++n) {
        const DWORD start = GetTickCount();
        const HCONV conv = DdeConnect(instance, service, topic, nullptr);
        if (conv == nullptr) {
            ++failed;
            std::printf("failed %ld connect %#x %lu\n", n, DdeGetLastError(instance),
                        GetTickCount() - start);
            continue;
        }
        DWORD result = 0;
        const HDDEDATA data =
            DdeClientTransaction(nullptr, 0, conv, item, CF_TEXT, XTYP_REQUEST, 5000, &result);
        if (data == nullptr) {
            ++failed;
            std::printf("failed %ld request %#x %lu\n", n, DdeGetLastError(instance),
                        GetTickCount() - start);
        } else {
            if (n == 1) {
                char text[64] = {0};
                DdeGetData(data, reinterpret_cast<LPBYTE>(text), sizeof text - 1, 0);
                std::printf("value %s\n", text);
            }
            DdeFreeDataHandle(data);
            Pump(2);
        }
        DdeDisconnect(conv);
        if (n % 100 == 0)
            std::printf("progress %ld\n", n);
    }
    std::printf("done %ld failed %ld\n", count, failed);
    DdeUninitialize(instance);
    return 0;
}
