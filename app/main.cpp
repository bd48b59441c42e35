#include <string.h>

#include "app/install.h"
#include "app/system.h"
#include "app/time_check.h"
#include "core/command_line.h"

HINSTANCE programInstance;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int) {
    programInstance = instance;
    ApprovedCorrection approved;
    if (ReadApprovedCorrection(arguments, &approved))
        return RunApprovedCorrection(&approved);
    Switches switches;
    ReadSwitches(arguments, &switches);
    if (switches.install || switches.uninstall)
        return RunInstall(&switches);
    EventId result = RunTimeCheck(&switches);
    // Without /exitcode the status stays 1, as scripts written for it expect.
    return switches.exitCode ? ExitCodeOf(result) : 1;
}

// The process starts here, not in the C runtime's start-up code, which the
// program does not need (no constructors, no argv, no floating point) and
// which was a third of horavel.exe; msvcrt.dll sets itself up as it loads.
// The argument text is cut from the whole command line as Windows keeps it.
extern "C" __attribute__((force_align_arg_pointer)) void HoravelStart(void) {
    KeepLibrariesToSystem32();
    ExitProcess((UINT)WinMain(GetModuleHandleA(NULL), NULL, (LPSTR)ArgumentText(GetCommandLineA()),
                              SW_SHOWDEFAULT));
}
