#include "app/install.h"

#include <stdlib.h>
#include <string.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include "app/elevation.h"
#include "app/event_log.h"
#include "app/settings.h"
#include "app/system.h"
#include "app/task_scheduler.h"
#include "core/apps_entry.h"
#include "core/folder_trust.h"
#include "core/install_report.h"
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
    char movedTo[MAX_PATH + 32];     // where a folder others could change went
    char previousExe[MAX_PATH + 16]; // the exe this install replaced, renamed aside; "" for none
};

// What this install changed, undone should a later step fail.
struct Changes {
    int madeFolder, placedExe, copiedIni, addedSource, changedTask;
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

// Opens a file or folder as itself, never what a link in its place points
// to; INVALID_HANDLE_VALUE when it cannot.
static HANDLE OpenItself(const char* path, DWORD access) {
    return CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                       NULL);
}

// The installing account's SID as text, for LocalFree; NULL when unknown.
static char* SelfSid(void) {
    HANDLE token;
    union {
        TOKEN_USER user;
        char bytes[128];
    } buffer;
    DWORD size;
    char* text = NULL;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        if (GetTokenInformation(token, TokenUser, &buffer, sizeof buffer, &size))
            ConvertSidToStringSidA(buffer.user.User.Sid, &text);
        CloseHandle(token);
    }
    return text;
}

enum Found { kAbsent, kKeep, kReject };

// Whether what is at `path` may be kept, by its owner, its DACL and its
// links: only what administrators alone could have made or changed. A
// folder must be a folder.
static Found Inspect(const char* path, int folder) {
    HANDLE handle = OpenItself(path, READ_CONTROL);
    if (handle == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND
                   ? kAbsent
                   : kReject;
    BY_HANDLE_FILE_INFORMATION info;
    PSID owner;
    PACL dacl = NULL;
    PSECURITY_DESCRIPTOR descriptor = NULL;
    int keep = 0;
    if (GetFileInformationByHandle(handle, &info) &&
        !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == !folder &&
        GetSecurityInfo(handle, SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, NULL, &dacl,
                        NULL, &descriptor) == ERROR_SUCCESS) {
        int count = dacl != NULL ? dacl->AceCount : 0;
        AccessEntry* entries = (AccessEntry*)calloc((size_t)count + 1, sizeof *entries);
        char* ownerSid = NULL;
        FoundObject found = {"",
                             SelfSid(),
                             dacl != NULL,
                             entries,
                             count,
                             (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0,
                             (int)info.nNumberOfLinks};
        if (ConvertSidToStringSidA(owner, &ownerSid))
            found.ownerSid = ownerSid;
        for (int i = 0; entries != NULL && i < count; i++) {
            ACCESS_ALLOWED_ACE* entry;
            entries[i].sid = "";
            if (!GetAce(dacl, (DWORD)i, (void**)&entry))
                continue;
            BYTE type = entry->Header.AceType;
            // The callback kind has the same layout; object kinds are not for files.
            entries[i].allows =
                type == ACCESS_ALLOWED_ACE_TYPE || type == ACCESS_ALLOWED_CALLBACK_ACE_TYPE;
            entries[i].inheritOnly = (entry->Header.AceFlags & INHERIT_ONLY_ACE) != 0;
            entries[i].mask = entry->Mask;
            char* sid;
            if (entries[i].allows && ConvertSidToStringSidA(&entry->SidStart, &sid))
                entries[i].sid = sid;
        }
        keep = entries != NULL && MayAdopt(&found);
        for (int i = 0; entries != NULL && i < count; i++)
            if (entries[i].sid[0] != '\0')
                LocalFree((HLOCAL)entries[i].sid);
        free(entries);
        LocalFree(ownerSid);
        LocalFree((HLOCAL)found.selfSid);
    }
    LocalFree(descriptor);
    CloseHandle(handle);
    return keep ? kKeep : kReject;
}

// Gives what `path` holds, never a link, Administrators as owner and the
// protected DACL, on the handle that was checked. The Windows error, 0 when done.
static DWORD Protect(const char* path) {
    PSECURITY_DESCRIPTOR descriptor;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kProtection, SDDL_REVISION_1,
                                                              &descriptor, NULL))
        return GetLastError();
    HANDLE handle = OpenItself(path, READ_CONTROL | WRITE_DAC | WRITE_OWNER);
    BY_HANDLE_FILE_INFORMATION info;
    DWORD error = 0;
    if (handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle, &info))
        error = GetLastError();
    else if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
             (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && info.nNumberOfLinks > 1))
        error = ERROR_CANT_ACCESS_FILE;
    else if (!SetKernelObjectSecurity(
                 handle, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, descriptor))
        error = GetLastError();
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    LocalFree(descriptor);
    return error;
}

// The folder made with its protection in the call that makes it, never
// protected afterwards: nobody can slip in between. 1 when made.
static int CreateProtectedFolder(const char* folder) {
    PSECURITY_DESCRIPTOR descriptor;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kProtection, SDDL_REVISION_1,
                                                              &descriptor, NULL))
        return 0;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    int made = CreateDirectoryA(folder, &attributes);
    DWORD error = GetLastError();
    LocalFree(descriptor);
    SetLastError(error);
    return made;
}

// Moves a folder others could change out of the way, under a name of its
// own beside it; the Windows error, 0 when done.
static DWORD MoveAside(const char* folder, char* movedTo, size_t size) {
    DWORD tick = GetTickCount();
    for (int attempt = 0; attempt < 100; attempt++) {
        FormatText(movedTo, size, "%s.untrusted-%lu", folder, (unsigned long)(tick + attempt));
        if (MoveFileExA(folder, movedTo, 0))
            return 0;
        if (GetLastError() != ERROR_ALREADY_EXISTS && GetLastError() != ERROR_FILE_EXISTS)
            return GetLastError();
    }
    return ERROR_ALREADY_EXISTS;
}

// Deletes the files that earlier upgrades renamed aside while they ran.
static void DeleteRenamedAside(const char* folder) {
    char pattern[MAX_PATH + 16], path[MAX_PATH + 32];
    WIN32_FIND_DATAA found;
    FormatText(pattern, sizeof pattern, "%s\\old*.tmp", folder);
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        FormatText(path, sizeof path, "%s\\%s", folder, found.cFileName);
        DeleteFileA(path);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

// Deletes a file renamed aside, or leaves it to the restart while it runs.
static void Discard(const char* aside) {
    if (aside[0] != '\0' && !DeleteFileA(aside))
        MoveFileExA(aside, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
}

// Frees a file's path: deletes it, or, while a run of it is in progress
// (this one, perhaps), renames it aside under a name of its own, to be
// deleted at the next install or restart; that name in `aside` when given.
// The Windows error, 0 when the path is free.
static DWORD RemoveFile(const char* path, const char* folder, char* aside) {
    char name[MAX_PATH + 16];
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    if (aside == NULL && (DeleteFileA(path) || GetLastError() == ERROR_FILE_NOT_FOUND ||
                          GetLastError() == ERROR_PATH_NOT_FOUND))
        return 0;
    if (aside == NULL)
        aside = name;
    if (!GetTempFileNameA(folder, "old", 0, aside) ||
        !MoveFileExA(path, aside, MOVEFILE_REPLACE_EXISTING)) {
        DWORD error = GetLastError();
        DeleteFileA(aside);
        aside[0] = '\0';
        return error;
    }
    if (aside == name)
        Discard(name);
    return 0;
}

// Removes an install's files and its folder, or leaves what is in use to
// the next restart. The Windows error, 0 when done.
static DWORD RemoveInstall(const char* folder) {
    char exe[MAX_PATH + 16], ini[MAX_PATH + 16];
    FormatText(exe, sizeof exe, "%s\\horavel.exe", folder);
    FormatText(ini, sizeof ini, "%s\\horavel.ini", folder);
    DeleteRenamedAside(folder);
    DWORD error = RemoveFile(exe, folder, NULL);
    if (error == 0)
        error = RemoveFile(ini, folder, NULL);
    if (error == 0 && !RemoveDirectoryA(folder) && Exists(folder)) {
        // What runs was renamed aside: it and the folder go at the restart.
        DeleteRenamedAside(folder);
        MoveFileExA(folder, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    return error;
}

// The installed exe: left as it is when this run is that copy, or when its
// bytes are these already in a file that may be kept; else written under a
// name of its own in the folder, protected, and renamed into place, the
// previous one renamed aside (it may be running) and put back should that
// fail. The Windows error, 0 when done.
static DWORD PlaceExe(const char* exe, Places* places, Changes* changes) {
    if (SameFile(exe, places->exe) ||
        (Inspect(places->exe, 0) == kKeep && SameBytes(exe, places->exe)))
        return 0;
    char fresh[MAX_PATH + 16];
    if (!GetTempFileNameA(places->folder, "new", 0, fresh))
        return GetLastError();
    DWORD error = CopyFileA(exe, fresh, FALSE) && SetFileAttributesA(fresh, FILE_ATTRIBUTE_NORMAL)
                      ? Protect(fresh)
                      : GetLastError();
    if (error == 0 && Exists(places->exe))
        error = RemoveFile(places->exe, places->folder, places->previousExe);
    if (error == 0 && !MoveFileExA(fresh, places->exe, 0)) {
        error = GetLastError();
        if (places->previousExe[0] != '\0' &&
            MoveFileExA(places->previousExe, places->exe, MOVEFILE_REPLACE_EXISTING))
            places->previousExe[0] = '\0';
    }
    if (error != 0)
        DeleteFileA(fresh);
    changes->placedExe = error == 0;
    return error;
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

static int MachineKeyExists(const char* path) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) !=
        ERROR_SUCCESS)
        return 0;
    RegCloseKey(key);
    return 1;
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
static LONG WriteAppsEntry(const Places* places, int runEvery) {
    AppsText texts[kAppsMostTexts];
    SYSTEMTIME today;
    GetLocalTime(&today);
    char date[16];
    FormatText(date, sizeof date, "%04u%02u%02u", today.wYear, today.wMonth, today.wDay);
    AppsFacts facts = {places->folder,    places->exe, HORAVEL_VERSION,
                       HORAVEL_PUBLISHER, HORAVEL_URL, date};
    int count = FormatAppsEntry(&facts, texts);
    BY_HANDLE_FILE_INFORMATION file;
    DWORD bytes = 0;
    const char* files[] = {places->exe, places->ini};
    for (const char* path : files)
        if (Identify(path, &file))
            bytes += file.nFileSizeLow;
    // RunEvery as registered, which a run of the task compares with the policy's.
    static const char* const kNumbers[] = {"NoModify",     "NoRepair",     "EstimatedSize",
                                           "VersionMajor", "VersionMinor", "RunEvery"};
    DWORD numbers[] = {
        1, 1, (bytes + 1023) / 1024, HORAVEL_VERSION_MAJOR, HORAVEL_VERSION_MINOR, (DWORD)runEvery};
    return WriteMachineKey(kAppsKey, REG_SZ, texts, count, kNumbers, numbers, 6);
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

// Notes what failed first, and why, in facts; 0.
static int Failed(InstallFacts* facts, const char* what, unsigned long error) {
    if (facts->failed == NULL) {
        facts->failed = what;
        facts->error = error;
    }
    return 0;
}

// Puts back what this install changed, the event source aside (the caller's,
// once it has logged): a first install leaves nothing, an upgrade its
// previous exe and task.
static void Undo(const Places* places, const Changes* changes) {
    unsigned long error;
    if (changes->changedTask)
        RestoreHoravelTask(&error);
    if (changes->placedExe && places->previousExe[0] != '\0')
        MoveFileExA(places->previousExe, places->exe, MOVEFILE_REPLACE_EXISTING);
    else if (changes->placedExe)
        DeleteFileA(places->exe);
    if (changes->copiedIni)
        DeleteFileA(places->ini);
    if (changes->madeFolder)
        RemoveDirectoryA(places->folder);
}

// The folder, made or kept, and the exe and the INI in it (copied from `ini`
// unless it is the one there, none when it is ""); 1 when done.
static int PlaceFiles(const char* exe, const char* ini, Found folder, Places* places,
                      Changes* changes, InstallFacts* facts) {
    DWORD error = 0;
    if (folder == kReject &&
        (error = MoveAside(places->folder, places->movedTo, sizeof places->movedTo)) != 0)
        return Failed(facts, "the folder others could change was not moved aside.", error);
    if (folder == kReject)
        facts->movedTo = places->movedTo;
    if (folder == kKeep)
        error = Protect(places->folder);
    else if (CreateProtectedFolder(places->folder))
        changes->madeFolder = 1;
    else
        error = GetLastError();
    if (error != 0)
        return Failed(facts, "its folder was not secured.", error);
    DeleteRenamedAside(places->folder);
    if ((error = PlaceExe(exe, places, changes)) != 0)
        return Failed(facts, "horavel.exe was not copied.", error);
    if (ini[0] != '\0' && strcmp(ini, places->ini) != 0) {
        // Never written through a link: a file others placed there goes first.
        SetFileAttributesA(places->ini, FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(places->ini);
        if (!CopyFileA(ini, places->ini, TRUE))
            return Failed(facts, "horavel.ini was not copied.", GetLastError());
        changes->copiedIni = 1;
    }
    // Never read-only, as files copied from a CD or a share may be.
    if (Exists(places->ini) && (!SetFileAttributesA(places->ini, FILE_ATTRIBUTE_NORMAL) ||
                                (error = Protect(places->ini)) != 0))
        return Failed(facts, "horavel.ini was not secured.", error ? error : GetLastError());
    return 1;
}

// The INI an install uses: the one installed, when it may be kept; else the
// x86 builds' old one, likewise; else the one beside this exe; "" for none.
static void ChooseIni(const Places* places, Found folder, const char* besideIni, char* out,
                      size_t size, InstallFacts* facts) {
    char oldIni[MAX_PATH + 16] = "";
    if (places->oldFolder[0] != '\0' && Inspect(places->oldFolder, 1) == kKeep)
        FormatText(oldIni, sizeof oldIni, "%s\\horavel.ini", places->oldFolder);
    const char* ini = folder == kKeep && Inspect(places->ini, 0) == kKeep ? places->ini
                      : oldIni[0] != '\0' && Inspect(oldIni, 0) == kKeep  ? oldIni
                      : Exists(besideIni)                                 ? besideIni
                                                                          : "";
    facts->ini = ini == places->ini ? kIniKept : ini[0] != '\0' ? kIniCopied : kIniNone;
    FormatText(out, size, "%s", ini);
}

// The installed files, the source, the task and last the Apps entry. Every
// refusal comes before the first change; a failure after it undoes this
// run. 1 when done.
static int Install(const char* exe, Places* places, Changes* changes, InstallFacts* facts) {
    char* besideIni = ConfigFilePath(exe);
    if (besideIni == NULL)
        return Failed(facts, "memory ran out.", ERROR_NOT_ENOUGH_MEMORY);
    Found folder = Inspect(places->folder, 1);
    char ini[MAX_PATH + 16];
    ChooseIni(places, folder, besideIni, ini, sizeof ini, facts);
    // Read as the installed copy will: the policy's, else this INI's.
    const char* settings = ini[0] != '\0' ? ini : besideIni;
    int named = NamesAServer(settings);
    int runEvery = ReadNumber(settings, &kRunEveryRule);
    free(besideIni);
    if (!named) {
        FormatText(places->noHost, sizeof places->noHost, "%s names no time server.",
                   ini[0] != '\0' ? ini : "neither horavel.ini nor Group Policy");
        return Failed(facts, places->noHost, 0);
    }
    facts->runEveryMinutes = runEvery;
    char* xml = TaskXml(places->exe, runEvery);
    unsigned long error = ERROR_NOT_ENOUGH_MEMORY;
    int valid = xml != NULL && ValidateHoravelTask(xml, &error);
    LONG result;
    int done = 0;
    if (!valid)
        Failed(facts, "the task would not be registered.", error);
    else if (PlaceFiles(exe, ini, folder, places, changes, facts)) {
        changes->addedSource = !MachineKeyExists(kSourceKey);
        if ((result = RegisterSource(places->exe)) != ERROR_SUCCESS)
            Failed(facts, "the event source was not added.", (unsigned long)result);
        else if (!(changes->changedTask = RegisterHoravelTask(xml, &error)))
            Failed(facts, "the task was not registered.", error);
        else if (places->oldFolder[0] != '\0' && Exists(places->oldFolder) &&
                 (error = RemoveInstall(places->oldFolder)) != 0)
            Failed(facts, "the x86 install was not moved.", error);
        // Last: a management tool that finds it takes the install for done.
        else if ((result = WriteAppsEntry(places, runEvery)) != ERROR_SUCCESS)
            Failed(facts, "its Apps entry was not written.", (unsigned long)result);
        else
            done = 1;
    }
    free(xml);
    if (!done) {
        Undo(places, changes);
        return 0;
    }
    Discard(places->previousExe);
    return 1;
}

// The task, the Apps entry and the files, each tried whatever the others
// did; 1 when all were removed, else the first failure in facts.
static int Uninstall(const Places* places, InstallFacts* facts) {
    unsigned long error;
    LONG result;
    if (!DeleteHoravelTask(&error))
        Failed(facts, "the task was not removed.", error);
    if ((result = DeleteMachineKey(kAppsKey)) != ERROR_SUCCESS)
        Failed(facts, "its Apps entry was not removed.", (unsigned long)result);
    const char* folders[] = {places->folder, places->oldFolder};
    for (const char* folder : folders)
        if (folder[0] != '\0' && Exists(folder) && (error = RemoveInstall(folder)) != 0)
            Failed(facts, "its files were not removed.", error);
    return facts->failed == NULL;
}

// The text of an error: Task Scheduler's by name, which the system has no
// text for, any other the system's; "" for none.
static const char* ErrorText(unsigned long error, char out[256]) {
    out[0] = '\0';
    if (error != 0 && !SchedulerErrorName(error, out))
        SystemErrorText(error, out, 256);
    return out;
}

// Shows what was done, or logs it unattended; returns `status`.
static int Tell(EventId id, InstallFacts* facts, int status) {
    char errorText[256];
    facts->errorText = ErrorText(facts->error, errorText);
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
    Changes changes = {};
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
    if (uninstalling) {
        // Logged while the source is there; kept should a step fail, so that
        // what comes next still reads.
        if (!Uninstall(&places, &facts))
            return Tell(kEventInstallFailed, &facts, kExitFailed);
        Tell(kEventUninstalled, &facts, kExitClockRight);
        LONG removed = DeleteMachineKey(kSourceKey);
        if (removed == ERROR_SUCCESS)
            return kExitClockRight;
        Failed(&facts, "the event source was not removed.", (unsigned long)removed);
        return Tell(kEventInstallFailed, &facts, kExitFailed);
    }
    int32_t checkOnly;
    int set = ReadPolicyNumber(kCheckOnlyPolicy, &checkOnly);
    facts.taskMode = TaskModeOf(set ? &checkOnly : NULL, (DomainHold)ReadDomainHold());
    if (!Install(exe, &places, &changes, &facts)) {
        Tell(kEventInstallFailed, &facts, kExitFailed);
        if (changes.addedSource)
            DeleteMachineKey(kSourceKey);
        return kExitFailed;
    }
    // A task that only checks fights no other corrector.
    if (!TaskOnlyChecks((TaskMode)facts.taskMode))
        FormatCorrectors(facts.correctors, sizeof facts.correctors, FindCorrectors());
    return Tell(kEventInstalled, &facts, kExitClockRight);
}

void KeepTaskInterval(const char* exe, const char* ini) {
    Places places = {};
    DWORD registered;
    int runEvery = ReadNumber(ini, &kRunEveryRule);
    // Only the installed copy, installed by a version that recorded it.
    if (FindFolder(&places) != ERROR_SUCCESS || !SameFile(exe, places.exe) ||
        ReadMachineValue(kAppsKey, kRunEveryRule.key, REG_DWORD, &registered, sizeof registered) !=
            ERROR_SUCCESS ||
        (int)registered == runEvery)
        return;
    char* xml = TaskXml(places.exe, runEvery);
    unsigned long error = ERROR_NOT_ENOUGH_MEMORY;
    DWORD now = (DWORD)runEvery;
    // Recorded once the task has it; should that fail, the next run tries again.
    if (xml != NULL && UpdateHoravelTask(xml, &error))
        error = (unsigned long)RegSetKeyValueA(HKEY_LOCAL_MACHINE, kAppsKey, kRunEveryRule.key,
                                               REG_DWORD, &now, sizeof now);
    free(xml);
    char errorText[256], text[512];
    InstallFacts facts = {};
    facts.error = error;
    facts.errorText = ErrorText(error, errorText);
    EventId id = error == 0 ? kEventTaskUpdated : kEventInstallFailed;
    FormatTaskUpdate(text, sizeof text, id, (int)registered, runEvery, &facts);
    LogText(id, text);
}
