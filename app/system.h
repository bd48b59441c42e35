// What the program asks of Windows itself: its libraries, only from
// System32, and whether anyone can see its windows. Win32.
#pragma once

#include <windows.h>

// Keeps every library the process loads from now on, and those they load,
// to System32, where the system has the means (Windows 8 on, Windows 7
// updated): a DLL planted beside the exe, in a downloads folder, must never
// run, least of all as administrator.
void KeepLibrariesToSystem32(void);

// A library of Windows by its file name, loaded from System32 alone; NULL
// and the error in GetLastError when it cannot be.
HMODULE LoadSystemLibrary(const char* name);

// 1 when someone can see the process's windows: its window station is the
// interactive one and it runs outside session 0, which on Vista and later
// holds services and SYSTEM's tasks alone. A box nobody sees would wait
// for ever.
int SeenByAnyone(void);
