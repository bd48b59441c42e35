#include "app/elevation.h"

#include <windows.h>
#include <shellapi.h>

#include "app/system.h"
#include "net/udp_channel.h"

int IsElevated(void) {
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return 0;
    TOKEN_ELEVATION elevation = {};
    DWORD size;
    // Before Windows Vista there is no such query, and nothing to elevate to.
    int elevated =
        GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
        elevation.TokenIsElevated;
    CloseHandle(token);
    return elevated;
}

int ExitStatusOfCorrection(int set, unsigned long error) {
    if (set)
        return 1;
    return error == 1 || error == 0 ? (int)ERROR_GEN_FAILURE : (int)error;
}

// Dispatches the thread's messages until the process ends; its exit status.
static DWORD WaitResponsively(HANDLE process) {
    while (MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_ALLINPUT) ==
           WAIT_OBJECT_0 + 1) {
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    DWORD status = 0;
    GetExitCodeProcess(process, &status);
    return status;
}

typedef BOOL(WINAPI* ShellExecuteExFunction)(SHELLEXECUTEINFOA*);

// shell32 is loaded only here: a scheduled run has no use for it, and it
// brings a dozen more libraries with it.
static ShellExecuteExFunction LoadShellExecuteEx(void) {
    HMODULE shell = LoadSystemLibrary("shell32.dll");
    return shell == NULL ? NULL
                         : (ShellExecuteExFunction)(void*)GetProcAddress(shell, "ShellExecuteExA");
}

int RunAsAdministrator(const char* exePath, const char* arguments, unsigned long* status) {
    ShellExecuteExFunction shellExecuteEx = LoadShellExecuteEx();
    if (shellExecuteEx == NULL) {
        *status = GetLastError();
        return 0;
    }
    SHELLEXECUTEINFOA run = {};
    run.cbSize = sizeof run;
    run.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    run.hwnd = UdpWindow();
    run.lpVerb = "runas";
    run.lpFile = exePath;
    run.lpParameters = arguments;
    run.nShow = SW_SHOWNORMAL;
    if (!shellExecuteEx(&run)) {
        *status = GetLastError();
        return 0;
    }
    if (run.hProcess != NULL) {
        *status = WaitResponsively(run.hProcess);
        CloseHandle(run.hProcess);
    }
    return 1;
}
