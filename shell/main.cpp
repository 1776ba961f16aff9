// KOMVAS: the FA-M3 DDE server. A console program without command-line options; everything it
// needs comes from KOMVAS.ini in the current directory.
#include <windows.h>

#include "shell/process.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    return process::Run();
}
