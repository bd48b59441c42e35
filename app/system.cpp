#include "app/system.h"

#include <string.h>

#include "core/clock_keepers.h"
#include "core/install_report.h"

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
    // A number of any other size is no number: read as absent.
    if (result == ERROR_SUCCESS && (found != type || (type == REG_DWORD && size != 4)))
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

// A REG_DWORD as a number, -1 when absent.
static int ReadMachineNumber(const char* keyPath, const char* name) {
    DWORD value;
    return ReadMachineValue(keyPath, name, REG_DWORD, &value, sizeof value) == ERROR_SUCCESS
               ? (int)value
               : -1;
}

// Windows Time's configuration, the policy's and the service's, as it reads them.
static void ReadWindowsTime(WindowsTimeSettings* settings, char (*types)[32]) {
    static const char kPolicy[] = "SOFTWARE\\Policies\\Microsoft\\W32Time";
    static const char kService[] = "SYSTEM\\CurrentControlSet\\Services\\W32Time";
    const char* roots[] = {kPolicy, kService};
    int enabled[2];
    for (int i = 0; i < 2; i++) {
        char path[96];
        FormatText(path, sizeof path, "%s\\Parameters", roots[i]);
        ReadMachineValue(path, "Type", REG_SZ, types[i], sizeof types[i]);
        FormatText(path, sizeof path, "%s\\TimeProviders\\NtpClient", roots[i]);
        enabled[i] = ReadMachineNumber(path, "Enabled");
    }
    settings->policyType = types[0];
    settings->serviceType = types[1];
    settings->policyClientEnabled = enabled[0];
    settings->serviceClientEnabled = enabled[1];
    settings->start = ReadMachineNumber(kService, "Start");
}

int ReadDomainHold(void) {
    WindowsTimeSettings settings;
    char types[2][32], product[32];
    ReadWindowsTime(&settings, types);
    ReadMachineValue("SYSTEM\\CurrentControlSet\\Control\\ProductOptions", "ProductType", REG_SZ,
                     product, sizeof product);
    return DomainHoldOf(product, &settings);
}

int FindCorrectors(void) {
    WindowsTimeSettings settings;
    char types[2][32];
    ReadWindowsTime(&settings, types);
    // A trigger-start service, stopped most of the time, still sets the clock.
    int found = WindowsTimeTakesNetworkTime(&settings) ? kWindowsTime : 0;
    // Hyper-V's runs only where the host has it set the clock; VMware Tools
    // runs whether or not its periodic sync is on, which it is not by default.
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    found |= Running(manager, "vmictimesync") ? kHyperVTime : 0;
    if (manager != NULL)
        CloseServiceHandle(manager);
    return found;
}
