#include <string.h>

#include "app/event_log.h"
#include "app/install.h"
#include "app/system.h"
#include "app/time_check.h"
#include "core/command_line.h"

HINSTANCE programInstance;

// A word the program does not know, or two switches that ask for different
// runs: a typo must not move the clock. Nothing is done; the status is 6,
// or UNKNOWN for a monitoring system, which reads the line instead.
static int Refuse(const Switches* switches) {
    char text[256];
    if (switches->thresholds || switches->check) {
        CheckStatus status;
        EventFacts none = {};
        none.protocol = "";
        FormatCheckLine(text, sizeof text, kEventRefused, &none, switches, "", &status);
        if (WriteOutputLine(text))
            return kCheckUnknown;
    }
    FormatRefusal(text, sizeof text, switches);
    if (switches->hide)
        LogText(kEventRefused, text);
    else
        MessageBoxA(NULL, text, "Horavel", MB_ICONERROR | MB_OK);
    return switches->thresholds ? (int)kCheckUnknown : (int)kExitFailed;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int) {
    programInstance = instance;
    Switches switches;
    int known = ReadSwitches(arguments, &switches);
    // A service, or a task run as SYSTEM: a box there would wait for ever.
    if (!SeenByAnyone())
        switches.hide = 1;
    if (!known)
        return Refuse(&switches);
    if (switches.correct)
        return RunApprovedCorrection(&switches.approved);
    if (switches.install || switches.uninstall)
        return RunInstall(&switches);
    return RunTimeCheck(&switches);
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
