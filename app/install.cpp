#include "app/install.h"

#include <stdlib.h>

#include <windows.h>

#include "app/elevation.h"
#include "app/event_log.h"
#include "app/settings.h"
#include "app/task_scheduler.h"
#include "core/report.h"
#include "core/task_definition.h"

static const char kCaption[] = "Horavel";
static const char kSourceKey[] =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Horavel";

// The run's switches.
static int hideMode;
static int uninstalling;

// Where the program is installed, and what the texts need to say; on the
// stack, as buffers in static storage would take room in the exe.
struct Places {
    char folder[MAX_PATH];
    char exe[MAX_PATH + 16];
    char ini[MAX_PATH + 16];
    char noHost[MAX_PATH + 96];
};

// A text value under HKEY_LOCAL_MACHINE, "" when there is none.
static void ReadMachineText(const char* keyPath, const char* name, char* out, DWORD size) {
    HKEY key;
    DWORD type;
    out[0] = '\0';
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return;
    size--; // room for the terminator the registry may leave out
    if (RegQueryValueExA(key, name, NULL, &type, (BYTE*)out, &size) == ERROR_SUCCESS &&
        type == REG_SZ)
        out[size] = '\0';
    else
        out[0] = '\0';
    RegCloseKey(key);
}

// Program Files\Horavel, as the system names Program Files to a program of
// this one's kind (x86 programs have their own on 64-bit Windows), from the
// registry, which only administrators can change.
static int FindFolder(Places* places) {
    char programFiles[MAX_PATH];
    ReadMachineText("SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir", programFiles,
                    sizeof programFiles);
    if (programFiles[0] == '\0' || lstrlenA(programFiles) + 9 >= (int)sizeof places->folder)
        return 0;
    wsprintfA(places->folder, "%s\\Horavel", programFiles);
    wsprintfA(places->exe, "%s\\horavel.exe", places->folder);
    wsprintfA(places->ini, "%s\\horavel.ini", places->folder);
    return 1;
}

static int Exists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// 1 when the Windows Time service runs and takes its time from the network.
static int WindowsTimeSyncs(void) {
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    SC_HANDLE service =
        manager != NULL ? OpenServiceA(manager, "W32Time", SERVICE_QUERY_STATUS) : NULL;
    SERVICE_STATUS status;
    int running = service != NULL && QueryServiceStatus(service, &status) &&
                  status.dwCurrentState == SERVICE_RUNNING;
    if (service != NULL)
        CloseServiceHandle(service);
    if (manager != NULL)
        CloseServiceHandle(manager);
    char type[32];
    ReadMachineText("SYSTEM\\CurrentControlSet\\Services\\W32Time\\Parameters", "Type", type,
                    sizeof type);
    return running && TakesNetworkTime(type);
}

// The Application log's source "Horavel", its texts in the installed exe.
static LONG RegisterSource(const char* installedExe) {
    HKEY key;
    LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSourceKey, 0, NULL, 0, KEY_SET_VALUE, NULL,
                                  &key, NULL);
    if (result != ERROR_SUCCESS)
        return result;
    DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
    result = RegSetValueExA(key, "EventMessageFile", 0, REG_EXPAND_SZ, (const BYTE*)installedExe,
                            (DWORD)lstrlenA(installedExe) + 1);
    if (result == ERROR_SUCCESS)
        result =
            RegSetValueExA(key, "TypesSupported", 0, REG_DWORD, (const BYTE*)&types, sizeof types);
    RegCloseKey(key);
    return result;
}

// The task's XML: the installed exe, every RunEvery minutes from now.
static char* TaskXml(const char* installedExe, int runEvery) {
    SYSTEMTIME now;
    GetSystemTime(&now);
    char start[24];
    wsprintfA(start, "%04d-%02d-%02dT%02d:%02d:%02dZ", now.wYear, now.wMonth, now.wDay, now.wHour,
              now.wMinute, now.wSecond);
    TaskDefinition task = {installedExe, start, runEvery};
    size_t length = FormatTaskXml(NULL, 0, &task);
    char* xml = (char*)malloc(length + 1);
    if (xml != NULL)
        FormatTaskXml(xml, length + 1, &task);
    return xml;
}

// Notes what failed, and why, in facts; 0.
static int Failed(InstallFacts* facts, const char* what, unsigned long error) {
    facts->failed = what;
    facts->error = error;
    return 0;
}

// The installed files, the source and the task, in an order that changes
// nothing until the configuration is known to name a server. 1 when done.
static int Install(const char* exe, Places* places, InstallFacts* facts) {
    char* besideIni = ConfigFilePath(exe);
    if (besideIni == NULL)
        return Failed(facts, "memory ran out.", ERROR_NOT_ENOUGH_MEMORY);
    // An upgrade keeps the settings there; only a first install takes these.
    int iniThere = Exists(places->ini);
    const char* ini = iniThere ? places->ini : besideIni;
    if (!IniNamesAHost(ini)) {
        FormatText(places->noHost, sizeof places->noHost, "%s names no time server.", ini);
        free(besideIni);
        return Failed(facts, places->noHost, 0);
    }
    int done = 0;
    LONG error;
    facts->iniCopied = !iniThere;
    if (!CreateDirectoryA(places->folder, NULL) && GetLastError() != ERROR_ALREADY_EXISTS)
        Failed(facts, "its folder was not made.", GetLastError());
    else if (lstrcmpiA(exe, places->exe) != 0 && !CopyFileA(exe, places->exe, FALSE))
        Failed(facts, "horavel.exe was not copied.", GetLastError());
    else if (!iniThere && !CopyFileA(besideIni, places->ini, TRUE))
        Failed(facts, "horavel.ini was not copied.", GetLastError());
    else if ((error = RegisterSource(places->exe)) != ERROR_SUCCESS)
        Failed(facts, "the event source was not registered.", (unsigned long)error);
    else
        done = 1;
    free(besideIni);
    if (!done)
        return 0;
    int runEvery =
        ReadBounded(places->ini, "RunEvery", kRunEveryDefault, kRunEveryLeast, kRunEveryMost);
    facts->runEveryMinutes = runEvery;
    char* xml = TaskXml(places->exe, runEvery);
    unsigned long taskError = ERROR_NOT_ENOUGH_MEMORY;
    done = xml != NULL && RegisterHoravelTask(xml, &taskError);
    free(xml);
    if (!done)
        return Failed(facts, "the task was not registered.", taskError);
    facts->windowsTimeSyncs = WindowsTimeSyncs();
    return 1;
}

// The task and the source; the files stay. 1 when done.
static int Uninstall(InstallFacts* facts) {
    unsigned long error;
    if (!DeleteHoravelTask(&error))
        return Failed(facts, "the task was not removed.", error);
    LONG removed = RegDeleteKeyA(HKEY_LOCAL_MACHINE, kSourceKey);
    if (removed != ERROR_SUCCESS && removed != ERROR_FILE_NOT_FOUND)
        return Failed(facts, "the event source was not removed.", (unsigned long)removed);
    return 1;
}

// Shows what was done, or logs it unattended; returns `status`.
static int Tell(EventId id, InstallFacts* facts, int status) {
    char errorText[256] = "";
    if (facts->error != 0)
        SystemErrorText(facts->error, errorText, sizeof errorText);
    facts->errorText = errorText;
    char text[kEventTextSize];
    FormatInstallText(text, sizeof text, id, uninstalling, facts);
    if (hideMode)
        LogText(id, text);
    else
        MessageBoxA(NULL, text, kCaption,
                    (id == kEventInstallFailed ? MB_ICONERROR : MB_ICONINFORMATION) | MB_OK);
    return status;
}

// Without an administrator's rights: an interactive run offers to go on as
// one, as a refused correction does; the exit status.
static int Elevate(const char* exe, InstallFacts* facts) {
    Failed(facts, "it needs an administrator.", 0);
    if (hideMode)
        return Tell(kEventInstallFailed, facts, kExitNotSet);
    char offer[80];
    FormatText(offer, sizeof offer,
               "%sing Horavel needs an administrator.\n\nGo on as administrator ?",
               uninstalling ? "Uninstall" : "Install");
    if (MessageBoxA(NULL, offer, kCaption, MB_YESNO | MB_ICONINFORMATION) != IDYES)
        return kExitNotSet;
    unsigned long status = kExitClockRight; // started, but not told how: taken as done
    if (RunAsAdministrator(exe, uninstalling ? "/uninstall" : "/install", &status))
        return (int)status; // the elevated run said what it did
    if (status == ERROR_CANCELLED)
        return kExitNotSet;
    Failed(facts, "it did not start as administrator.", status);
    return Tell(kEventInstallFailed, facts, kExitFailed);
}

int RunInstall(const Switches* switches) {
    hideMode = switches->hide;
    uninstalling = !switches->install;
    Places places;
    InstallFacts facts = {};
    facts.folder = places.folder;
    char* exe = ExePath();
    if (exe == NULL || !FindFolder(&places)) {
        Failed(&facts, "Program Files was not found.", GetLastError());
        return Tell(kEventInstallFailed, &facts, kExitFailed);
    }
    if (!IsElevated())
        return Elevate(exe, &facts);
    if (uninstalling ? !Uninstall(&facts) : !Install(exe, &places, &facts))
        return Tell(kEventInstallFailed, &facts, kExitFailed);
    return Tell(uninstalling ? kEventUninstalled : kEventInstalled, &facts, kExitClockRight);
}
