#include <string.h>

#include "app/command_line.h"
#include "app/time_check.h"

HINSTANCE programInstance;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    programInstance = instance;
    int hideMode = strstr(ArgumentText(GetCommandLineA()), "/hide") != NULL;
    RunTimeCheck(hideMode);
    return 1;
}
