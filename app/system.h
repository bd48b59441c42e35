// What the program asks of Windows itself: its libraries, only from
// System32, whether anyone can see its windows or reads its output, the
// machine's registry, and what else sets its clock. Win32.
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

// Writes a line to the standard output this process inherited, when that
// is a file or a pipe (a monitoring agent's); 1 when it is one. NULL only asks.
int WriteOutputLine(const char* text);

// A value of HKEY_LOCAL_MACHINE in the 64-bit view, where both builds look,
// of type `type` (a REG_SZ terminated, "" when absent); the registry's
// error, ERROR_FILE_NOT_FOUND for a value of another type.
LONG ReadMachineValue(const char* keyPath, const char* name, DWORD type, void* out, DWORD size);

// The other correctors of this clock (core/install_report.h's bits):
// Windows Time when its effective configuration takes time from the
// network, running or not; Hyper-V's time synchronisation when it runs.
int FindCorrectors(void);

// Where the domain governs this clock (a DomainHold of core/clock_keepers.h):
// a domain controller, or Windows Time following the domain hierarchy.
int ReadDomainHold(void);
