#include "app/task_scheduler.h"

#include <windows.h>
#include <initguid.h>
#include <taskschd.h>

#include "app/system.h"

// What the calls need of ole32 and oleaut32, loaded only here: a time run
// has no use for them, nor for the libraries they bring.
struct Com {
    HRESULT(WINAPI* initialize)(LPVOID, DWORD);
    void(WINAPI* uninitialize)(void);
    HRESULT(WINAPI* createInstance)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*);
    BSTR(WINAPI* allocString)(const OLECHAR*, UINT);
    void(WINAPI* freeString)(BSTR);
};

// Fills Com's pointers in their order: the first three from ole32.
static int LoadCom(Com* com) {
    static const char* const kNames[] = {"CoInitializeEx", "CoUninitialize", "CoCreateInstance",
                                         "SysAllocStringLen", "SysFreeString"};
    HMODULE libraries[] = {LoadSystemLibrary("ole32.dll"), LoadSystemLibrary("oleaut32.dll")};
    FARPROC* slots = (FARPROC*)com;
    for (int i = 0; i < 5; i++)
        if (libraries[i / 3] == NULL ||
            (slots[i] = GetProcAddress(libraries[i / 3], kNames[i])) == NULL)
            return 0;
    return 1;
}

// Text in the ANSI code page as a BSTR; NULL when memory runs out.
static BSTR WideString(const Com* com, const char* text) {
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, NULL, 0);
    BSTR string = length > 0 ? com->allocString(NULL, (UINT)length - 1) : NULL;
    if (string != NULL)
        MultiByteToWideChar(CP_ACP, 0, text, -1, string, length);
    return string;
}

// A BSTR of a constant text, laid out as SysAllocString lays one out: its
// length in bytes, then the characters. Never freed, only read.
struct ConstantBstr {
    UINT bytes;
    OLECHAR text[9];
};
static const ConstantBstr kRootPath = {2, L"\\"}, kName = {14, L"Horavel"},
                          kSystem = {16, L"S-1-5-18"};

enum Change { kValidate, kRegister, kUpdate, kRestore, kDelete };

// The task's definition before this run registered its own, or NULL.
static BSTR previousTask;

// Registers `text` as the task, as SYSTEM, with `flags`.
static HRESULT Register(ITaskFolder* root, BSTR text, LONG flags) {
    VARIANT none = {}, system = {};
    none.vt = VT_EMPTY;
    system.vt = VT_BSTR;
    system.bstrVal = (BSTR)kSystem.text;
    IRegisteredTask* task = NULL;
    HRESULT result = root->RegisterTask((BSTR)kName.text, text, flags, system, none,
                                        TASK_LOGON_SERVICE_ACCOUNT, none, &task);
    if (task != NULL)
        task->Release();
    return result;
}

// Deletes the task; one that is not there is as good as deleted.
static HRESULT Delete(ITaskFolder* root) {
    HRESULT result = root->DeleteTask((BSTR)kName.text, 0);
    return result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ? S_OK : result;
}

// The task's present definition into previousTask, NULL when there is none.
static void KeepPrevious(ITaskFolder* root) {
    IRegisteredTask* task = NULL;
    if (SUCCEEDED(root->GetTask((BSTR)kName.text, &task)) && task != NULL) {
        task->get_Xml(&previousTask);
        task->Release();
    }
}

// Deletes the task, and registers it anew from xml unless that is NULL: a
// task of that name made by anyone else is never taken over with its
// security descriptor.
static int ChangeTask(Change change, const char* xml, unsigned long* error) {
    Com com;
    if (!LoadCom(&com)) {
        *error = GetLastError();
        return 0;
    }
    HRESULT initialized = com.initialize(NULL, COINIT_APARTMENTTHREADED);
    ITaskService* service = NULL;
    ITaskFolder* root = NULL;
    VARIANT none = {};
    none.vt = VT_EMPTY;
    BSTR text = xml != NULL ? WideString(&com, xml) : NULL;
    HRESULT result = xml != NULL && text == NULL
                         ? E_OUTOFMEMORY
                         : com.createInstance(CLSID_TaskScheduler, NULL, CLSCTX_INPROC_SERVER,
                                              IID_ITaskService, (void**)&service);
    if (SUCCEEDED(result))
        result = service->Connect(none, none, none, none);
    if (SUCCEEDED(result))
        result = service->GetFolder((BSTR)kRootPath.text, &root);
    if (SUCCEEDED(result)) {
        if (change == kValidate || change == kUpdate) {
            // In place: a task that cannot be updated stays as it was.
            result = Register(root, text,
                              change == kValidate ? TASK_VALIDATE_ONLY : TASK_CREATE_OR_UPDATE);
        } else if (change == kRegister) {
            KeepPrevious(root);
            result = Delete(root);
            if (SUCCEEDED(result))
                result = Register(root, text, TASK_CREATE);
            if (FAILED(result) && previousTask != NULL)
                Register(root, previousTask, TASK_CREATE); // the old one, as it was
        } else {
            result = Delete(root);
            if (SUCCEEDED(result) && change == kRestore && previousTask != NULL)
                result = Register(root, previousTask, TASK_CREATE);
        }
    }
    if (root != NULL)
        root->Release();
    if (service != NULL)
        service->Release();
    com.freeString(text);
    if (SUCCEEDED(initialized))
        com.uninitialize();
    *error = SUCCEEDED(result) ? 0 : (unsigned long)result;
    return SUCCEEDED(result);
}

int ValidateHoravelTask(const char* xml, unsigned long* error) {
    return ChangeTask(kValidate, xml, error);
}

int RegisterHoravelTask(const char* xml, unsigned long* error) {
    return ChangeTask(kRegister, xml, error);
}

int UpdateHoravelTask(const char* xml, unsigned long* error) {
    return ChangeTask(kUpdate, xml, error);
}

int RestoreHoravelTask(unsigned long* error) {
    return ChangeTask(kRestore, NULL, error);
}

int DeleteHoravelTask(unsigned long* error) {
    return ChangeTask(kDelete, NULL, error);
}
