#include "app/system.h"

#include <string.h>

#include "core/report.h"
#include "core/task_definition.h"

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFunction)(DWORD);

void KeepLibrariesToSystem32(void) {
    SetDefaultDllDirectoriesFunction keep = (SetDefaultDllDirectoriesFunction)(void*)GetProcAddress(
        GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories");
    if (keep != NULL)
        keep(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

HMODULE LoadSystemLibrary(const char* name) {
    HMODULE library = LoadLibraryExA(name, NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (library != NULL || GetLastError() != ERROR_INVALID_PARAMETER)
        return library;
    // A system without the flag: its full path in System32.
    char path[MAX_PATH + 16];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return NULL;
    FormatText(path + length, sizeof path - length, "\\%s", name);
    return LoadLibraryA(path);
}

int SeenByAnyone(void) {
    DWORD session;
    USEROBJECTFLAGS flags;
    if (ProcessIdToSessionId(GetCurrentProcessId(), &session) && session == 0)
        return 0;
    return !GetUserObjectInformationA(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags,
                                      NULL) ||
           (flags.dwFlags & WSF_VISIBLE) != 0;
}

int WriteOutputLine(const char* text) {
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD type = output != NULL && output != INVALID_HANDLE_VALUE ? GetFileType(output) : 0;
    if (type != FILE_TYPE_DISK && type != FILE_TYPE_PIPE)
        return 0;
    if (text == NULL)
        return 1;
    DWORD written;
    WriteFile(output, text, (DWORD)strlen(text), &written, NULL);
    WriteFile(output, "\n", 1, &written, NULL);
    return 1;
}

LONG ReadMachineValue(const char* keyPath, const char* name, DWORD type, void* out, DWORD size) {
    HKEY key;
    DWORD found;
    char* text = (char*)out;
    if (type == REG_SZ) {
        text[0] = '\0';
        size--; // room for the terminator the registry may leave out
    }
    LONG result =
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key);
    if (result != ERROR_SUCCESS)
        return result;
    result = RegQueryValueExA(key, name, NULL, &found, (BYTE*)out, &size);
    RegCloseKey(key);
    if (result == ERROR_SUCCESS && found != type)
        result = ERROR_FILE_NOT_FOUND;
    if (type == REG_SZ)
        text[result == ERROR_SUCCESS ? size : 0] = '\0';
    return result;
}

static int Running(SC_HANDLE manager, const char* name) {
    SC_HANDLE service = manager != NULL ? OpenServiceA(manager, name, SERVICE_QUERY_STATUS) : NULL;
    SERVICE_STATUS status;
    int running = service != NULL && QueryServiceStatus(service, &status) &&
                  status.dwCurrentState == SERVICE_RUNNING;
    if (service != NULL)
        CloseServiceHandle(service);
    return running;
}

int FindCorrectors(void) {
    static const char kWindowsTimeKey[] = "SYSTEM\\CurrentControlSet\\Services\\W32Time";
    char parameters[64], type[32];
    DWORD start = SERVICE_DISABLED;
    FormatText(parameters, sizeof parameters, "%s\\Parameters", kWindowsTimeKey);
    ReadMachineValue(parameters, "Type", REG_SZ, type, sizeof type);
    ReadMachineValue(kWindowsTimeKey, "Start", REG_DWORD, &start, sizeof start);
    // A trigger-start service, stopped most of the time, still sets the clock.
    int found = TakesNetworkTime(type) && start != SERVICE_DISABLED ? kWindowsTime : 0;
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    found |= Running(manager, "vmictimesync") ? kHyperVTime : 0;
    found |= Running(manager, "VMTools") ? kVmwareTools : 0;
    if (manager != NULL)
        CloseServiceHandle(manager);
    return found;
}
