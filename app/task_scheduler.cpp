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

// Deletes the task, and registers it anew from xml unless that is NULL: a
// task of that name made by anyone else is never taken over with its
// security descriptor.
static int ChangeTask(const char* xml, unsigned long* error) {
    Com com;
    if (!LoadCom(&com)) {
        *error = GetLastError();
        return 0;
    }
    HRESULT initialized = com.initialize(NULL, COINIT_APARTMENTTHREADED);
    ITaskService* service = NULL;
    ITaskFolder* root = NULL;
    IRegisteredTask* task = NULL;
    VARIANT none = {}, system = {};
    none.vt = VT_EMPTY;
    BSTR name = (BSTR)kName.text, text = xml != NULL ? WideString(&com, xml) : NULL;
    system.vt = VT_BSTR;
    system.bstrVal = (BSTR)kSystem.text;
    HRESULT result = xml != NULL && text == NULL
                         ? E_OUTOFMEMORY
                         : com.createInstance(CLSID_TaskScheduler, NULL, CLSCTX_INPROC_SERVER,
                                              IID_ITaskService, (void**)&service);
    if (SUCCEEDED(result))
        result = service->Connect(none, none, none, none);
    if (SUCCEEDED(result))
        result = service->GetFolder((BSTR)kRootPath.text, &root);
    if (SUCCEEDED(result)) {
        result = root->DeleteTask(name, 0);
        if (result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND))
            result = S_OK; // not there: as good as deleted
    }
    if (SUCCEEDED(result) && xml != NULL)
        result = root->RegisterTask(name, text, TASK_CREATE, system, none,
                                    TASK_LOGON_SERVICE_ACCOUNT, none, &task);
    if (task != NULL)
        task->Release();
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

int RegisterHoravelTask(const char* xml, unsigned long* error) {
    return ChangeTask(xml, error);
}

int DeleteHoravelTask(unsigned long* error) {
    return ChangeTask(NULL, error);
}
