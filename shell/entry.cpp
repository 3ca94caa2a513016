// The process entry of PLIMZOR.SCR. The runtime's start-up calls WinMain;
// everything from the command line on is SaverStartup's.
#include "shell/shell.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    SaverStartup();
}
