#include <string.h>

#include "app/time_check.h"

HINSTANCE programInstance;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int) {
    programInstance = instance;
    int hideMode = strstr(arguments, "/hide") != NULL;
    RunTimeCheck(hideMode);
    return 1;
}
