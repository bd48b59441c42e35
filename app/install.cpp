#include "app/install.h"

#include <stdlib.h>
#include <string.h>

#include <windows.h>
#include <sddl.h>

#include "app/elevation.h"
#include "app/event_log.h"
#include "app/settings.h"
#include "app/system.h"
#include "app/task_scheduler.h"
#include "core/apps_entry.h"
#include "core/report.h"
#include "core/task_definition.h"

static const char kCaption[] = "Horavel";
static const char kSourceKey[] =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Horavel";
static const char kAppsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Horavel";
static const char kWindowsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
// Administrators own it; SYSTEM and Administrators may change it, Users only
// read and run it: what SYSTEM runs, and the servers it asks, are the
// administrators' alone to choose. Protected: nothing inherited widens it.
static const char kProtection[] = "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)";

// The run's switches.
static int hideMode;
static int uninstalling;

// Where the program is installed, and what the texts need to say; on the
// stack, as buffers in static storage would take room in the exe.
struct Places {
    char folder[MAX_PATH];
    char exe[MAX_PATH + 16];
    char ini[MAX_PATH + 16];
    char oldFolder[MAX_PATH + 16]; // where x86 builds installed before, or ""
    char noHost[MAX_PATH + 96];
};

// A text of the machine's Windows key; the registry's error, and one for an empty text.
static LONG ReadWindowsText(const char* name, char* out) {
    LONG result = ReadMachineValue(kWindowsKey, name, REG_SZ, out, MAX_PATH);
    return result == ERROR_SUCCESS && out[0] == '\0' ? ERROR_FILE_NOT_FOUND : result;
}

// The native Program Files\Horavel, for both builds, so that a PC has one
// install, one task and one INI; read from the registry, which only
// administrators can change. Also where x86 builds installed before.
static LONG FindFolder(Places* places) {
    char programFiles[MAX_PATH], x86[MAX_PATH];
    LONG result = ReadWindowsText("ProgramW6432Dir", programFiles);
    if (result != ERROR_SUCCESS)
        result = ReadWindowsText("ProgramFilesDir", programFiles);
    if (result != ERROR_SUCCESS)
        return result;
    if (strlen(programFiles) + 9 >= sizeof places->folder)
        return ERROR_FILENAME_EXCED_RANGE;
    FormatText(places->folder, sizeof places->folder, "%s\\Horavel", programFiles);
    FormatText(places->exe, sizeof places->exe, "%s\\horavel.exe", places->folder);
    FormatText(places->ini, sizeof places->ini, "%s\\horavel.ini", places->folder);
    if (ReadWindowsText("ProgramFilesDir (x86)", x86) == ERROR_SUCCESS &&
        strstr(x86, "(x86)") != NULL) // never the native folder itself
        FormatText(places->oldFolder, sizeof places->oldFolder, "%s\\Horavel", x86);
    return ERROR_SUCCESS;
}

static int Exists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// Volume and file index: what no spelling of a path changes (a short name,
// a subst drive, another case).
static int Identify(const char* path, BY_HANDLE_FILE_INFORMATION* info) {
    HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, 0, NULL);
    int known = file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, info);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return known;
}

static int SameFile(const char* a, const char* b) {
    BY_HANDLE_FILE_INFORMATION x, y;
    return Identify(a, &x) && Identify(b, &y) && x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
           x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

// A file's bytes, for free(); NULL when it cannot be read, or is larger
// than any exe of ours.
static char* ReadBytes(const char* path, DWORD* size) {
    enum { kLargest = 1 << 20 };
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, 0, NULL);
    char* bytes = file != INVALID_HANDLE_VALUE ? (char*)malloc(kLargest + 1) : NULL;
    if (bytes != NULL && (!ReadFile(file, bytes, kLargest + 1, size, NULL) || *size > kLargest)) {
        free(bytes);
        bytes = NULL;
    }
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return bytes;
}

static int SameBytes(const char* a, const char* b) {
    DWORD aSize = 0, bSize = 1;
    char* x = ReadBytes(a, &aSize);
    char* y = x != NULL ? ReadBytes(b, &bSize) : NULL;
    int same = y != NULL && aSize == bSize && memcmp(x, y, aSize) == 0;
    free(x);
    free(y);
    return same;
}

// Gives a file or folder its owner and DACL, protected as the descriptor
// says; the Windows error, 0 when done.
static DWORD Protect(const char* path) {
    PSECURITY_DESCRIPTOR descriptor;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kProtection, SDDL_REVISION_1,
                                                              &descriptor, NULL))
        return GetLastError();
    DWORD error =
        SetFileSecurityA(path, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, descriptor)
            ? 0
            : GetLastError();
    LocalFree(descriptor);
    return error;
}

// Frees a file's path: deletes it, or, while a run of it is in progress
// (this one, perhaps), renames it aside to the same name and ".old", to be
// deleted at the next install or restart. The Windows error, 0 when the
// path is free.
static DWORD RemoveFile(const char* path) {
    char aside[MAX_PATH + 24];
    FormatText(aside, sizeof aside, "%s.old", path);
    DeleteFileA(aside); // left by an earlier run, and free by now
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileA(path) || GetLastError() == ERROR_FILE_NOT_FOUND ||
        GetLastError() == ERROR_PATH_NOT_FOUND)
        return 0;
    if (!MoveFileExA(path, aside, MOVEFILE_REPLACE_EXISTING))
        return GetLastError();
    MoveFileExA(aside, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
    return 0;
}

// Removes an install's files and its folder, or leaves what is in use to
// the next restart. The Windows error, 0 when done.
static DWORD RemoveInstall(const char* folder) {
    char exe[MAX_PATH + 16], ini[MAX_PATH + 16];
    FormatText(exe, sizeof exe, "%s\\horavel.exe", folder);
    FormatText(ini, sizeof ini, "%s\\horavel.ini", folder);
    DWORD error = RemoveFile(exe);
    if (error == 0)
        error = RemoveFile(ini);
    if (error == 0 && !RemoveDirectoryA(folder) && Exists(folder))
        MoveFileExA(folder, NULL, MOVEFILE_DELAY_UNTIL_REBOOT); // once what is in use is gone
    return error;
}

// The installed exe: left as it is when this run is that copy, or when its
// bytes are these already; else replaced, even while a run of it is in
// progress. The Windows error, 0 when done.
static DWORD PlaceExe(const char* exe, const Places* places) {
    if (SameFile(exe, places->exe) || SameBytes(exe, places->exe))
        return 0;
    DWORD error = RemoveFile(places->exe);
    if (error != 0)
        return error;
    return CopyFileA(exe, places->exe, TRUE) ? 0 : GetLastError();
}

// A key of the 64-bit view and its values; the registry's error.
static LONG DeleteMachineKey(const char* path) {
    typedef LONG(WINAPI * DeleteKeyEx)(HKEY, LPCSTR, REGSAM, DWORD);
    // Windows Vista on; before it, x86 Windows has one view only.
    DeleteKeyEx deleteKeyEx =
        (DeleteKeyEx)(void*)GetProcAddress(GetModuleHandleA("advapi32.dll"), "RegDeleteKeyExA");
    LONG result = deleteKeyEx != NULL ? deleteKeyEx(HKEY_LOCAL_MACHINE, path, KEY_WOW64_64KEY, 0)
                                      : RegDeleteKeyA(HKEY_LOCAL_MACHINE, path);
    return result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result;
}

// Creates a key of the 64-bit view, sets its text values, of `textType`,
// and then its numbers; the registry's error.
static LONG WriteMachineKey(const char* path, DWORD textType, const AppsText* texts, int textCount,
                            const char* const* numberNames, const DWORD* numbers, int numberCount) {
    HKEY key = NULL;
    LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, NULL, 0,
                                  KEY_SET_VALUE | KEY_WOW64_64KEY, NULL, &key, NULL);
    for (int i = 0; result == ERROR_SUCCESS && i < textCount; i++)
        result = RegSetValueExA(key, texts[i].name, 0, textType, (const BYTE*)texts[i].text,
                                (DWORD)strlen(texts[i].text) + 1);
    for (int i = 0; result == ERROR_SUCCESS && i < numberCount; i++)
        result = RegSetValueExA(key, numberNames[i], 0, REG_DWORD, (const BYTE*)&numbers[i],
                                sizeof numbers[i]);
    if (key != NULL)
        RegCloseKey(key);
    return result;
}

// The Application log's source "Horavel", its texts in the installed exe.
static LONG RegisterSource(const char* installedExe) {
    AppsText file;
    file.name = "EventMessageFile";
    FormatText(file.text, sizeof file.text, "%s", installedExe);
    static const char* const kTypes[] = {"TypesSupported"};
    DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
    return WriteMachineKey(kSourceKey, REG_EXPAND_SZ, &file, 1, kTypes, &types, 1);
}

// Apps & features: its name, version and publisher, and how to remove it.
static LONG WriteAppsEntry(const Places* places) {
    AppsText texts[kAppsTextCount];
    FormatAppsEntry(places->folder, places->exe, HORAVEL_VERSION, texts);
    BY_HANDLE_FILE_INFORMATION exe, ini;
    DWORD bytes = 0;
    if (Identify(places->exe, &exe) && Identify(places->ini, &ini))
        bytes = exe.nFileSizeLow + ini.nFileSizeLow;
    static const char* const kNumbers[] = {"NoModify", "NoRepair", "EstimatedSize"};
    DWORD numbers[] = {1, 1, (bytes + 1023) / 1024}; // in KiB
    return WriteMachineKey(kAppsKey, REG_SZ, texts, kAppsTextCount, kNumbers, numbers, 3);
}

// The task's XML: the installed exe, every RunEvery minutes from the build date.
static char* TaskXml(const char* installedExe, int runEvery) {
    TaskDefinition task = {installedExe, HORAVEL_BUILD_TIME, runEvery, HORAVEL_VERSION};
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

// The folder, made or taken over: never a link to elsewhere, and only
// administrators may change what is in it. The Windows error, 0 when done.
static DWORD MakeFolder(const char* folder) {
    if (!CreateDirectoryA(folder, NULL) && GetLastError() != ERROR_ALREADY_EXISTS)
        return GetLastError();
    DWORD attributes = GetFileAttributesA(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError();
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) !=
        FILE_ATTRIBUTE_DIRECTORY)
        return ERROR_CANT_ACCESS_FILE;
    return Protect(folder);
}

// The folder, the exe and the INI (copied from `ini` unless `iniThere`), and
// the x86 builds' old place emptied; 1 when done.
static int PlaceFiles(const char* exe, const char* ini, int iniThere, const Places* places,
                      InstallFacts* facts) {
    DWORD error;
    if ((error = MakeFolder(places->folder)) != 0)
        return Failed(facts, "its folder was not secured.", error);
    if ((error = PlaceExe(exe, places)) != 0)
        return Failed(facts, "horavel.exe was not copied.", error);
    if (!iniThere && !CopyFileA(ini, places->ini, TRUE))
        return Failed(facts, "horavel.ini was not copied.", GetLastError());
    // Never read-only, as files copied from a CD or a share may be.
    if (!SetFileAttributesA(places->exe, FILE_ATTRIBUTE_NORMAL) ||
        !SetFileAttributesA(places->ini, FILE_ATTRIBUTE_NORMAL))
        return Failed(facts, "its files stay read-only.", GetLastError());
    if ((error = Protect(places->exe)) != 0 || (error = Protect(places->ini)) != 0)
        return Failed(facts, "its files were not secured.", error);
    if (places->oldFolder[0] != '\0' && Exists(places->oldFolder) &&
        (error = RemoveInstall(places->oldFolder)) != 0)
        return Failed(facts, "the x86 install was not moved.", error);
    return 1;
}

// The installed files, the source, the Apps entry and the task, in an order
// that changes nothing until the configuration is known to name a server.
// 1 when done.
static int Install(const char* exe, Places* places, InstallFacts* facts) {
    char* besideIni = ConfigFilePath(exe);
    if (besideIni == NULL)
        return Failed(facts, "memory ran out.", ERROR_NOT_ENOUGH_MEMORY);
    // An upgrade keeps the settings there, or those of the x86 builds' old
    // place; only a first install takes these.
    char oldIni[MAX_PATH + 16] = "";
    if (places->oldFolder[0] != '\0')
        FormatText(oldIni, sizeof oldIni, "%s\\horavel.ini", places->oldFolder);
    int iniThere = Exists(places->ini);
    const char* ini = iniThere                              ? places->ini
                      : oldIni[0] != '\0' && Exists(oldIni) ? oldIni
                                                            : besideIni;
    facts->iniCopied = ini == besideIni;
    int placed = 0;
    if (!NamesAServer(ini)) {
        FormatText(places->noHost, sizeof places->noHost, "%s names no time server.", ini);
        Failed(facts, places->noHost, 0);
    } else {
        placed = PlaceFiles(exe, ini, iniThere, places, facts);
    }
    free(besideIni);
    LONG result;
    if (!placed)
        return 0;
    if ((result = RegisterSource(places->exe)) != ERROR_SUCCESS)
        return Failed(facts, "the event source was not added.", (unsigned long)result);
    if ((result = WriteAppsEntry(places)) != ERROR_SUCCESS)
        return Failed(facts, "its Apps entry was not added.", (unsigned long)result);
    int runEvery = ReadNumber(places->ini, &kRunEveryRule);
    facts->runEveryMinutes = runEvery;
    char* xml = TaskXml(places->exe, runEvery);
    unsigned long taskError = ERROR_NOT_ENOUGH_MEMORY;
    int done = xml != NULL && RegisterHoravelTask(xml, &taskError);
    free(xml);
    if (!done)
        return Failed(facts, "the task was not registered.", taskError);
    FormatCorrectors(facts->correctors, sizeof facts->correctors, FindCorrectors());
    return 1;
}

// The task, the Apps entry and the files; 1 when done. The event source
// goes last, once the run has logged its event.
static int Uninstall(const Places* places, InstallFacts* facts) {
    unsigned long error;
    LONG result;
    if (!DeleteHoravelTask(&error))
        return Failed(facts, "the task was not removed.", error);
    if ((result = DeleteMachineKey(kAppsKey)) != ERROR_SUCCESS)
        return Failed(facts, "its Apps entry was not removed.", (unsigned long)result);
    const char* folders[] = {places->folder, places->oldFolder};
    for (const char* folder : folders)
        if (folder[0] != '\0' && Exists(folder) && (error = RemoveInstall(folder)) != 0)
            return Failed(facts, "its files were not removed.", error);
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
    const char* strings[] = {text, facts->folder, HORAVEL_VERSION};
    if (hideMode)
        LogStrings(id, strings, 3);
    else
        MessageBoxA(NULL, text, kCaption,
                    (id == kEventInstallFailed ? MB_ICONERROR : MB_ICONINFORMATION) | MB_OK);
    // Another corrector undoes what Horavel does, and back: an administrator
    // must hear of it however the install ran.
    if (id == kEventInstalled && facts->correctors[0] != '\0') {
        FormatText(text, sizeof text, kCorrectorsNote, facts->correctors);
        LogStrings(kEventCorrectors, strings, 3);
    }
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
    Places places = {};
    InstallFacts facts = {};
    facts.folder = places.folder;
    char* exe = ExePath();
    LONG found = exe != NULL ? FindFolder(&places) : (LONG)GetLastError();
    if (found != ERROR_SUCCESS) {
        Failed(&facts, "Program Files was not found.", (unsigned long)found);
        return Tell(kEventInstallFailed, &facts, kExitFailed);
    }
    if (!IsElevated())
        return Elevate(exe, &facts);
    if (uninstalling ? !Uninstall(&places, &facts) : !Install(exe, &places, &facts))
        return Tell(kEventInstallFailed, &facts, kExitFailed);
    if (!uninstalling)
        return Tell(kEventInstalled, &facts, kExitClockRight);
    // Logged while the source is there; its past events keep their text.
    Tell(kEventUninstalled, &facts, kExitClockRight);
    LONG removed = DeleteMachineKey(kSourceKey);
    if (removed == ERROR_SUCCESS)
        return kExitClockRight;
    Failed(&facts, "the event source was not removed.", (unsigned long)removed);
    return Tell(kEventInstallFailed, &facts, kExitFailed);
}
