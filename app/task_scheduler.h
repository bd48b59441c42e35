// The task \Horavel in the Task Scheduler (2.0: Windows Vista on), through
// its COM interface. Win32.
#pragma once

// Asks the Task Scheduler whether it would register the task from its XML,
// changing nothing: every refusal of an install comes before any change.
// 1 when it would, else 0 and the error (a Windows error code, or the
// HRESULT) in *error.
int ValidateHoravelTask(const char* xml, unsigned long* error);

// Registers the task from its XML in place of any task of that name, whose
// definition is kept for RestoreHoravelTask; should the new one be refused,
// the old one is registered again. 1 when done, else 0 and the error.
int RegisterHoravelTask(const char* xml, unsigned long* error);

// Changes the task to the XML's definition in place, never deleting it
// first: one that cannot be updated stays as it was. 1 when done, else 0
// and the error.
int UpdateHoravelTask(const char* xml, unsigned long* error);

// Undoes RegisterHoravelTask: the task that was there before, or none. 1
// when done, else 0 and the error.
int RestoreHoravelTask(unsigned long* error);

// Deletes the task; one that is not there is deleted already. 1 when done,
// else 0 and the error in *error.
int DeleteHoravelTask(unsigned long* error);
