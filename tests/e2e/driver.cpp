// Runs horavel.exe under Wine and reports, as JSON lines on stdout, what a
// person would see: the strip's title, place and visibility, each message
// box with its caption, owner, buttons and text, and the exit status. It
// answers the boxes and closes the strip as its options say. Other processes
// of the same program (a restart it makes) are followed too: their windows,
// and their end, which the driver waits for.
//
//   driver.exe [--answers yes,no,ok,dismiss,key-n] [--answer-delay MS] [--close-on-title TEXT]
//              [--close-delay MS] [--timer-on-title TEXT] [--hold-port-37] [--timeout MS]
//              [--no-blank] [--elevated] [--station] [--output] -- program.exe [arguments]
//
// The program starts with the limited token of an administrator's desktop,
// as a double-click starts it; --elevated starts it with the driver's own.
// --no-blank starts the program as "program.exe"first-argument, with no blank
// after the quote, as a shortcut or a script may. key-n presses N on the
// keyboard, through the input queue, instead of posting a click. --station
// starts it on a window station of its own, which nobody sees, as a service
// or a task run as SYSTEM is. --output hands it a file as its standard
// output, as a monitoring agent does, and reports what it wrote.
#include <winsock.h>
#include <windows.h>
#include <tlhelp32.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static DWORD startTick;
static DWORD childId;

// The program's processes: the one started here first, then any other that
// runs the same executable.
enum { kMaxPrograms = 8 };
static const char* programName;
static DWORD programIds[kMaxPrograms];
static HANDLE programs[kMaxPrograms];
static int programEnded[kMaxPrograms];
static int programCount;

static void PrintJsonString(const char* text) {
    putchar('"');
    for (const unsigned char* p = (const unsigned char*)text; *p; p++) {
        if (*p == '"' || *p == '\\')
            printf("\\%c", *p);
        else if (*p == '\n')
            printf("\\n");
        else if (*p < 0x20)
            printf("\\u%04x", *p);
        else
            putchar(*p);
    }
    putchar('"');
}

static void BeginEvent(const char* event) {
    printf("{\"t\": %lu, \"event\": \"%s\"", (unsigned long)(GetTickCount() - startTick), event);
}

static void EndEvent(void) {
    printf("}\n");
    fflush(stdout);
}

// Reads a window's text without sending it a message, so that a program that
// is busy or exiting never holds the driver up.
static void ReadWindowText(HWND window, char* text, int size) {
    wchar_t wide[1024];
    int length = InternalGetWindowText(window, wide, 1024);
    int written = WideCharToMultiByte(CP_ACP, 0, wide, length, text, size - 1, NULL, NULL);
    text[written > 0 ? written : 0] = '\0';
}

struct Windows {
    HWND strip;
    HWND boxes[16];
    int boxCount;
    HWND visible[32];
    int visibleCount;
};

static int IsProgram(DWORD processId) {
    for (int i = 0; i < programCount; i++)
        if (programIds[i] == processId)
            return 1;
    return 0;
}

static void FindPrograms(void) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more;
         more = Process32Next(snapshot, &entry)) {
        if (_stricmp(entry.szExeFile, programName) != 0 || IsProgram(entry.th32ProcessID) ||
            programCount == kMaxPrograms)
            continue;
        programIds[programCount] = entry.th32ProcessID;
        programs[programCount++] =
            OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, entry.th32ProcessID);
        BeginEvent("process");
        printf(", \"pid\": %lu", (unsigned long)entry.th32ProcessID);
        EndEvent();
    }
    CloseHandle(snapshot);
}

static BOOL CALLBACK CollectWindow(HWND window, LPARAM context) {
    Windows* found = (Windows*)context;
    DWORD processId;
    GetWindowThreadProcessId(window, &processId);
    if (!IsProgram(processId))
        return TRUE;
    char className[64];
    GetClassNameA(window, className, sizeof className);
    if (strcmp(className, "Q-UDP") == 0 && processId == childId)
        found->strip = window;
    // Wine builds a box hidden and fills it in before showing it.
    if (strcmp(className, "#32770") == 0 && IsWindowVisible(window) && found->boxCount < 16 &&
        processId == childId)
        found->boxes[found->boxCount++] = window;
    if (IsWindowVisible(window) && found->visibleCount < 32)
        found->visible[found->visibleCount++] = window;
    return TRUE;
}

struct StripState {
    int visible;
    char title[300];
    RECT rect;
};

static int SameStrip(const StripState* a, const StripState* b) {
    return a->visible == b->visible && strcmp(a->title, b->title) == 0 &&
           EqualRect(&a->rect, &b->rect);
}

static void ReportBox(HWND box, HWND strip) {
    char caption[300], text[1024] = "";
    ReadWindowText(box, caption, sizeof caption);
    HWND textControl = GetDlgItem(box, 0xFFFF);
    if (textControl != NULL)
        ReadWindowText(textControl, text, sizeof text);
    HWND owner = GetWindow(box, GW_OWNER);
    BeginEvent("box");
    printf(", \"caption\": ");
    PrintJsonString(caption);
    printf(", \"owner\": \"%s\"", owner == NULL ? "none" : owner == strip ? "strip" : "other");
    RECT rect;
    GetWindowRect(box, &rect);
    printf(", \"left\": %ld, \"top\": %ld, \"width\": %ld, \"height\": %ld", rect.left, rect.top,
           rect.right - rect.left, rect.bottom - rect.top);
    static const struct {
        int id;
        const char* name;
    } buttons[] = {{IDOK, "ok"}, {IDCANCEL, "cancel"}, {IDYES, "yes"}, {IDNO, "no"}};
    printf(", \"buttons\": [");
    const char* separator = "";
    for (const auto& button : buttons) {
        HWND control = GetDlgItem(box, button.id);
        if (control != NULL && IsWindowVisible(control)) {
            printf("%s\"%s\"", separator, button.name);
            separator = ", ";
        }
    }
    printf("], \"text\": ");
    PrintJsonString(text);
    EndEvent();
}

// Presses and releases a key as the keyboard would, on the box brought to the front.
static void PressKey(HWND box, WORD key) {
    SetForegroundWindow(box);
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = key;
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof input[0]);
}

// The limited token of the driver's own, where the system has one (an
// elevated administrator's), else NULL.
static HANDLE LimitedToken(void) {
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return NULL;
    TOKEN_LINKED_TOKEN linked = {};
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    DWORD size;
    if (!GetTokenInformation(token, TokenElevationType, &type, sizeof type, &size) ||
        type != TokenElevationTypeFull ||
        !GetTokenInformation(token, TokenLinkedToken, &linked, sizeof linked, &size))
        linked.LinkedToken = NULL;
    CloseHandle(token);
    return linked.LinkedToken;
}

static int AnswerId(HWND box, const char* answer) {
    if (strcmp(answer, "dismiss") == 0) // OK where there is one, else No
        return GetDlgItem(box, IDOK) != NULL ? IDOK : IDNO;
    if (strcmp(answer, "yes") == 0)
        return IDYES;
    if (strcmp(answer, "no") == 0)
        return IDNO;
    if (strcmp(answer, "ok") == 0)
        return IDOK;
    return 0; // "none": leave the box open
}

// Sets a service's start type, and stops it when that is 4 (disabled): what
// Wine's sc cannot do. 0 when done.
static int SetService(const char* name, DWORD startType) {
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = manager != NULL ? OpenServiceA(manager, name, SERVICE_ALL_ACCESS) : NULL;
    if (service == NULL ||
        !ChangeServiceConfigA(service, SERVICE_NO_CHANGE, startType, SERVICE_NO_CHANGE, NULL, NULL,
                              NULL, NULL, NULL, NULL, NULL)) {
        fprintf(stderr, "service %s: error %lu\n", name, GetLastError());
        return 1;
    }
    SERVICE_STATUS status;
    // Wine's Task Scheduler takes no stop once it runs: then this fails.
    if (startType == SERVICE_DISABLED)
        ControlService(service, SERVICE_CONTROL_STOP, &status);
    for (int i = 0; startType == SERVICE_DISABLED && i < 100; i++, Sleep(100))
        if (QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_STOPPED)
            return 0;
    fprintf(stderr, "service %s: not stopped, state %lu, error %lu\n", name, status.dwCurrentState,
            GetLastError());
    return startType == SERVICE_DISABLED;
}

int main(int argc, char** argv) {
    if (argc == 4 && strcmp(argv[1], "--service") == 0)
        return SetService(argv[2], (DWORD)atol(argv[3]));
    const char* answers = "";
    DWORD answerDelay = 300, closeDelay = 300, timeout = 60000;
    const char* closeOnTitle = NULL;
    const char* timerOnTitle = NULL; // posts a foreign WM_TIMER, as any process may
    int holdPort37 = 0, noBlank = 0, elevated = 0, station = 0, output = 0, first = 1;
    for (; first < argc && strcmp(argv[first], "--") != 0; first++) {
        if (strcmp(argv[first], "--answers") == 0 && first + 1 < argc)
            answers = argv[++first];
        else if (strcmp(argv[first], "--answer-delay") == 0 && first + 1 < argc)
            answerDelay = (DWORD)atol(argv[++first]);
        else if (strcmp(argv[first], "--close-on-title") == 0 && first + 1 < argc)
            closeOnTitle = argv[++first];
        else if (strcmp(argv[first], "--close-delay") == 0 && first + 1 < argc)
            closeDelay = (DWORD)atol(argv[++first]);
        else if (strcmp(argv[first], "--timer-on-title") == 0 && first + 1 < argc)
            timerOnTitle = argv[++first];
        else if (strcmp(argv[first], "--no-blank") == 0)
            noBlank = 1;
        else if (strcmp(argv[first], "--elevated") == 0)
            elevated = 1;
        else if (strcmp(argv[first], "--station") == 0)
            station = 1;
        else if (strcmp(argv[first], "--output") == 0)
            output = 1;
        else if (strcmp(argv[first], "--hold-port-37") == 0)
            holdPort37 = 1;
        else if (strcmp(argv[first], "--timeout") == 0 && first + 1 < argc)
            timeout = (DWORD)atol(argv[++first]);
    }
    if (first + 1 >= argc) {
        fprintf(stderr, "usage: driver.exe [options] -- program.exe [arguments]\n");
        return 2;
    }
    char commandLine[4096] = "";
    for (int i = first + 1; i < argc; i++) {
        strncat(commandLine,
                i == first + 1              ? "\""
                : i == first + 2 && noBlank ? ""
                                            : " ",
                sizeof commandLine - strlen(commandLine) - 1);
        strncat(commandLine, argv[i], sizeof commandLine - strlen(commandLine) - 1);
        if (i == first + 1)
            strncat(commandLine, "\"", sizeof commandLine - strlen(commandLine) - 1);
    }

    startTick = GetTickCount();
    if (holdPort37) {
        WSADATA data;
        WSAStartup(MAKEWORD(1, 1), &data);
        SOCKET holder = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_port = htons(37);
        int held = bind(holder, (sockaddr*)&address, sizeof address) == 0;
        BeginEvent(held ? "port-37-held" : "port-37-not-held");
        EndEvent();
    }
    RECT desktop;
    GetWindowRect(GetDesktopWindow(), &desktop);
    BeginEvent("desktop");
    printf(", \"width\": %ld, \"height\": %ld", desktop.right, desktop.bottom);
    EndEvent();

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (station) {
        HWINSTA own = GetProcessWindowStation();
        HWINSTA hidden = CreateWindowStationA("HoravelUnseen", 0, WINSTA_ALL_ACCESS, NULL);
        SetProcessWindowStation(hidden);
        CreateDesktopA("Default", NULL, NULL, 0, GENERIC_ALL, NULL);
        SetProcessWindowStation(own);
        startup.lpDesktop = (char*)"HoravelUnseen\\Default";
    }
    char outputPath[MAX_PATH] = "";
    if (output) {
        char folder[MAX_PATH];
        GetTempPathA(sizeof folder, folder);
        GetTempFileNameA(folder, "hvo", 0, outputPath);
        SECURITY_ATTRIBUTES inherited = {sizeof inherited, NULL, TRUE};
        startup.dwFlags |= STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        startup.hStdOutput = CreateFileA(outputPath, GENERIC_WRITE, FILE_SHARE_READ, &inherited,
                                         CREATE_ALWAYS, 0, NULL);
    } else {
        // As the desktop starts a program: no output of the driver's to inherit.
        startup.dwFlags |= STARTF_USESTDHANDLES;
    }
    PROCESS_INFORMATION process;
    HANDLE limited = elevated ? NULL : LimitedToken();
    if (!(limited != NULL ? CreateProcessAsUserA(limited, NULL, commandLine, NULL, NULL, TRUE, 0,
                                                 NULL, NULL, &startup, &process)
                          : CreateProcessA(NULL, commandLine, NULL, NULL, TRUE, 0, NULL, NULL,
                                           &startup, &process))) {
        fprintf(stderr, "driver: cannot start %s (error %lu)\n", commandLine, GetLastError());
        return 2;
    }
    childId = process.dwProcessId;
    programName = argv[first + 1];
    for (const char* p = programName; *p; p++)
        if (*p == '\\' || *p == '/')
            programName = p + 1;
    programIds[0] = childId;
    programs[0] = process.hProcess;
    programCount = 1;

    StripState shown = {};
    HWND seenBoxes[64];
    int seenCount = 0, answered = 0;
    DWORD boxSeenAt = 0, titleSeenAt = 0;
    HWND pendingBox = NULL;
    int closed = 0, timerPosted = 0;
    HWND seenVisible[64];
    int seenVisibleCount = 0;
    for (int poll = 0;; poll++) {
        if (poll % 8 == 0)
            FindPrograms();
        int running = 0;
        for (int i = 0; i < programCount; i++) {
            if (programEnded[i] ||
                WaitForSingleObject(programs[i], i == 0 ? 5 : 0) != WAIT_OBJECT_0) {
                running += !programEnded[i];
                continue;
            }
            if (i == 0)
                FindPrograms(); // a restart it made runs by now
            if (i == 0 && output) {
                CloseHandle(startup.hStdOutput);
                char written[2048] = "";
                FILE* file = fopen(outputPath, "rb");
                size_t length = file != NULL ? fread(written, 1, sizeof written - 1, file) : 0;
                written[length] = '\0';
                if (file != NULL)
                    fclose(file);
                DeleteFileA(outputPath);
                BeginEvent("output");
                printf(", \"text\": ");
                PrintJsonString(written);
                EndEvent();
            }
            programEnded[i] = 1;
            DWORD exitCode = 0;
            GetExitCodeProcess(programs[i], &exitCode);
            BeginEvent(i == 0 ? "exit" : "process-exit");
            printf(", \"pid\": %lu, \"code\": %lu", (unsigned long)programIds[i],
                   (unsigned long)exitCode);
            EndEvent();
        }
        if (running == 0) {
            int known = programCount;
            FindPrograms();
            if (programCount == known)
                break;
        }
        if (GetTickCount() - startTick > timeout) {
            BeginEvent("timeout");
            EndEvent();
            for (int i = 0; i < programCount; i++)
                TerminateProcess(programs[i], 99);
            timeout = ~0u; // report their ends
            continue;
        }
        Windows found = {};
        EnumWindows(CollectWindow, (LPARAM)&found);

        for (int i = 0; i < found.visibleCount; i++) {
            int seen = 0;
            for (int j = 0; j < seenVisibleCount; j++)
                seen |= seenVisible[j] == found.visible[i];
            if (!seen && seenVisibleCount < 64) {
                seenVisible[seenVisibleCount++] = found.visible[i];
                char className[64];
                GetClassNameA(found.visible[i], className, sizeof className);
                DWORD processId;
                GetWindowThreadProcessId(found.visible[i], &processId);
                BeginEvent("visible");
                printf(", \"pid\": %lu, \"class\": ", (unsigned long)processId);
                PrintJsonString(className);
                EndEvent();
            }
        }

        if (found.strip != NULL) {
            StripState now = {};
            now.visible = IsWindowVisible(found.strip) != 0;
            ReadWindowText(found.strip, now.title, sizeof now.title);
            GetWindowRect(found.strip, &now.rect);
            if (!SameStrip(&now, &shown)) {
                shown = now;
                BeginEvent("strip");
                printf(", \"visible\": %d, \"title\": ", now.visible);
                PrintJsonString(now.title);
                printf(", \"left\": %ld, \"top\": %ld, \"width\": %ld, \"height\": %ld",
                       now.rect.left, now.rect.top, now.rect.right - now.rect.left,
                       now.rect.bottom - now.rect.top);
                EndEvent();
                titleSeenAt = GetTickCount();
            }
            if (timerOnTitle != NULL && !timerPosted && strcmp(now.title, timerOnTitle) == 0) {
                timerPosted = 1;
                BeginEvent("timer-posted");
                EndEvent();
                // Slot 1 as it is, and slot 1 in the low 32 bits with more above
                // them (on x64): neither may end the wait before its deadline.
                PostMessageA(found.strip, WM_TIMER, 1, 0);
                PostMessageA(found.strip, WM_TIMER, (WPARAM)0x100000001ull, 0);
            }
            if (closeOnTitle != NULL && !closed && strcmp(now.title, closeOnTitle) == 0 &&
                GetTickCount() - titleSeenAt >= closeDelay) {
                closed = 1;
                BeginEvent("close");
                EndEvent();
                // Sent, not posted: the program handles it inside its wait for messages.
                DWORD_PTR result;
                SendMessageTimeoutA(found.strip, WM_CLOSE, 0, 0, SMTO_NORMAL, 5000, &result);
            }
        }

        for (int i = 0; i < found.boxCount; i++) {
            HWND box = found.boxes[i];
            int seen = 0;
            for (int j = 0; j < seenCount; j++)
                seen |= seenBoxes[j] == box;
            if (seen || seenCount == 64)
                continue;
            seenBoxes[seenCount++] = box;
            ReportBox(box, found.strip);
            pendingBox = box;
            boxSeenAt = GetTickCount();
        }
        if (pendingBox != NULL && GetTickCount() - boxSeenAt >= answerDelay) {
            // The n-th answer of the list answers the n-th box; past the list, leave boxes open.
            char answer[16] = "";
            const char* p = answers;
            for (int n = 0; n < answered && p != NULL; n++) {
                p = strchr(p, ',');
                if (p != NULL)
                    p++;
            }
            if (p != NULL && *p) {
                size_t length = strcspn(p, ",");
                if (length < sizeof answer)
                    memcpy(answer, p, length);
            }
            int id = AnswerId(pendingBox, answer);
            if (strcmp(answer, "key-n") == 0) {
                BeginEvent("key");
                EndEvent();
                PressKey(pendingBox, 'N');
            } else if (id != 0) {
                BeginEvent("click");
                printf(", \"button\": \"%s\"", answer);
                EndEvent();
                PostMessageA(pendingBox, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                             (LPARAM)GetDlgItem(pendingBox, id));
            }
            answered++;
            pendingBox = NULL;
        }
    }
    return 0;
}
