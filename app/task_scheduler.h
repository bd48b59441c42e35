// The task \Horavel in the Task Scheduler (2.0: Windows Vista on), through
// its COM interface. Win32.
#pragma once

// Registers the task from its XML, in place of any task of that name. 1 when
// done, else 0 and the error (a Windows error code, or the HRESULT) in *error.
int RegisterHoravelTask(const char* xml, unsigned long* error);

// Deletes the task; one that is not there is deleted already. 1 when done,
// else 0 and the error in *error.
int DeleteHoravelTask(unsigned long* error);
