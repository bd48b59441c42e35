#include "app/system.h"

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
    wsprintfA(path + length, "\\%s", name);
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
