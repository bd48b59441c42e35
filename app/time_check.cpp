#include <stdlib.h>

#include <windows.h>
#include <shellapi.h>

#include "app/config_path.h"
#include "app/event_log.h"
#include "app/host_list.h"
#include "app/report.h"
#include "app/time_check.h"
#include "net/udp_channel.h"
#include "protocol/time_protocol.h"

static const char kCaption[] = "Horavel";
static const char kSection[] = "Time Servers";
enum {
    kSlot = 1,
    kDefaultMaxHost = 99,
    kDefaultHostTimeout = 2000,
    kMaxHostTimeout = 32767, // the channel keeps a signed 16-bit count
    kHostTextSize = 255,     // values are cut to 254 characters
    kReplySize = 255,
    kStripWidth = 300,
};

// The executable's path, however long; NULL when the platform cannot tell.
static char* ExePath(void) {
    for (DWORD size = MAX_PATH; size <= 65536; size *= 2) {
        char* path = (char*)malloc(size);
        if (path == NULL)
            return NULL;
        DWORD length = GetModuleFileNameA(programInstance, path, size);
        if (length > 0 && length < size)
            return path;
        free(path); // failed, or cut: then try a larger buffer
        if (length == 0)
            return NULL;
    }
    return NULL;
}

// The executable's path with its extension replaced by "ini".
static char* ConfigFilePath(void) {
    char* exePath = ExePath();
    if (exePath == NULL)
        return NULL;
    size_t iniLength = ConfigPathFor(exePath, NULL, 0);
    char* iniPath = (char*)malloc(iniLength + 1);
    if (iniPath != NULL)
        ConfigPathFor(exePath, iniPath, iniLength + 1);
    free(exePath);
    return iniPath;
}

// Starts this program again with "/hide" and an administrator's right, once
// the person consents: it asks the servers again and sets the clock. 0, or
// the Windows error code.
static unsigned long RunElevated(void) {
    char* exePath = ExePath();
    if (exePath == NULL)
        return ERROR_NOT_ENOUGH_MEMORY;
    SHELLEXECUTEINFOA run = {};
    run.cbSize = sizeof run;
    run.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI; // this process ends right after
    run.hwnd = UdpWindow();
    run.lpVerb = "runas";
    run.lpFile = exePath;
    run.lpParameters = "/hide";
    run.nShow = SW_SHOWNORMAL;
    unsigned long error = ShellExecuteExA(&run) ? 0 : GetLastError();
    free(exePath);
    return error;
}

// An ordinary desktop runs programs without the right to set the clock:
// offer to set it as administrator rather than only report.
static void OfferElevation(void) {
    if (MessageBoxA(UdpWindow(),
                    "Unable to set the clock !\nChanging the system time needs an administrator."
                    "\n\nSet the clock as administrator ?",
                    kCaption, MB_YESNO | MB_ICONERROR) != IDYES)
        return;
    unsigned long error = RunElevated();
    if (error == 0 || error == ERROR_CANCELLED) // a refused prompt needs no word
        return;
    char text[256];
    SystemErrorText(error, text, sizeof text);
    MessageBoxA(UdpWindow(), text, kCaption, MB_ICONERROR | MB_OK);
}

// The profile call hands back an unsigned count, in which "3000000000" and
// "-1294967296" look alike: the sign that was written tells them apart.
static int ReadHostTimeout(const char* iniPath) {
    UINT timeout = GetPrivateProfileIntA(kSection, "HostTimeout", kDefaultHostTimeout, iniPath);
    char written[2];
    GetPrivateProfileStringA(kSection, "HostTimeout", "", written, sizeof written, iniPath);
    if (written[0] == '-')
        return 0; // no wait: one immediate read
    return timeout > kMaxHostTimeout ? kMaxHostTimeout : (int)timeout;
}

// The caption-only strip: 300 wide, centred, its top edge at the middle of the screen.
static void ShowStrip(HWND strip) {
    SetWindowTextA(strip, kCaption);
    RECT desktop;
    GetWindowRect(GetDesktopWindow(), &desktop);
    SetWindowPos(strip, NULL, (desktop.right - kStripWidth) / 2, desktop.bottom / 2, kStripWidth, 0,
                 SWP_SHOWWINDOW);
}

// Moves the clock by the drift and records the attempt; 1 when the clock was set.
static int Correct(EventFacts* facts) {
    int set = ApplyDrift(facts->drift, &facts->error);
    LogEvent(set ? kEventCorrected : kEventNotSet, facts);
    return set;
}

// Shows the report of an answer and corrects the clock when due. An
// unattended run records its outcome; an interactive one, only a correction.
static void HandleAnswer(int hideMode, const char* hostText, int64_t serverTime,
                         const TimeFields* serverFields) {
    int64_t pcTime = ReadPcTime();
    TimeFields pcFields;
    int pcShown = pcTime != -1 && ShownFields(pcTime, &pcFields);
    int64_t drift = pcTime - serverTime;
    in_addr host;
    host.s_addr = UdpRepliedFrom(kSlot);
    char address[16];
    lstrcpynA(address, inet_ntoa(host), sizeof address);
    EventFacts facts = {hostText, address, serverTime, pcTime, drift, 0, "", 0, 0};
    if (hideMode) {
        if (drift == 0)
            LogEvent(kEventNoCorrection, &facts);
        else
            Correct(&facts);
        return;
    }
    char report[kReportSize];
    FormatReport(report, sizeof report, serverFields, pcShown ? &pcFields : NULL, drift);
    char caption[kCaptionSize];
    FormatHostCaption(caption, sizeof caption, address);
    if (drift == 0) {
        MessageBoxA(UdpWindow(), report, caption, MB_ICONINFORMATION | MB_OK);
        return;
    }
    if (MessageBoxA(UdpWindow(), report, caption, MB_YESNO | MB_ICONINFORMATION) != IDYES ||
        Correct(&facts))
        return;
    if (facts.error == ERROR_PRIVILEGE_NOT_HELD)
        OfferElevation();
    else
        MessageBoxA(
            UdpWindow(),
            "Unable to set the clock !\nRun Horavel with the right to change the system time.",
            kCaption, MB_ICONERROR | MB_OK);
}

// Asks one host, counting the requests sent; 1 when it answered and the
// answer was handled.
static int AskHost(int hideMode, const char* hostText, int* asked) {
    UdpSetHost(kSlot, hostText);
    SetWindowTextA(UdpWindow(), hostText);
    const unsigned char request = kTimeRequestByte;
    if (!UdpSend(kSlot, &request, 1))
        return 0;
    (*asked)++;
    unsigned char reply[kReplySize];
    int length = UdpReceive(kSlot, reply, sizeof reply);
    // A reply that carries no time, or one that cannot be shown, is no answer.
    int64_t pivot = DecodePivot(ReadPcTime(), HORAVEL_BUILD_TIME);
    int64_t serverTime;
    TimeFields serverFields;
    if (length == 0 || !ReadServerTime(reply, length, pivot, &serverTime) ||
        !ShownFields(serverTime, &serverFields))
        return 0;
    HandleAnswer(hideMode, hostText, serverTime, &serverFields);
    return 1;
}

// The whole section in one read, however large; NULL when memory runs out.
static char* ReadSection(const char* iniPath, size_t* length) {
    for (DWORD size = 4096; size != 0; size *= 2) {
        char* section = (char*)malloc(size);
        if (section == NULL)
            return NULL;
        DWORD read = GetPrivateProfileSectionA(kSection, section, size, iniPath);
        if (read < size - 2) { // size - 2 means the section did not fit
            *length = read;
            return section;
        }
        free(section);
    }
    return NULL;
}

// The hosts present in the section with an index below maxHost, in index order.
static HostEntry* ReadHosts(const char* iniPath, int maxHost, size_t* count) {
    size_t sectionLength;
    char* section = ReadSection(iniPath, &sectionLength);
    *count = 0;
    return section != NULL ? ListHosts(section, sectionLength, maxHost, count) : NULL;
}

void RunTimeCheck(int hideMode) {
    FixShownZone();
    udpWindowClass.hInstance = programInstance;
    char* iniPath = ConfigFilePath();
    if (iniPath == NULL)
        return; // the platform could not name the executable: nothing to read
    int maxHost = GetPrivateProfileIntA(kSection, "MaxHost", kDefaultMaxHost, iniPath);
    int hostTimeout = ReadHostTimeout(iniPath);
    udpWindowClass.hIcon = LoadIconA(programInstance, "_icon_");

    // Unattended, a failed open is not final: with only the bind failing, the
    // first send picks another local port and the run works as usual.
    int opened = UdpOpen(kSlot, kTimeServerPort, kTimeServerPort, hostTimeout);
    unsigned long openError = opened ? 0 : (unsigned long)WSAGetLastError();
    if (!opened && !hideMode) {
        MessageBoxA(GetActiveWindow(), "WINSOCK Error", kCaption, MB_ICONERROR | MB_OK);
        return;
    }
    if (!hideMode)
        ShowStrip(UdpWindow());

    // Only the indices present are visited; absent ones would be skipped anyway.
    size_t hostCount;
    HostEntry* hosts = ReadHosts(iniPath, maxHost, &hostCount);
    int lastAsked = -1, answered = 0, windowGone = 0, asked = 0;
    for (size_t k = 0; k < hostCount && !answered; k++) {
        if (UdpWindow() == NULL) {
            windowGone = 1;
            break;
        }
        lastAsked = hosts[k].index;
        char hostText[kHostTextSize];
        CopyHostValue(&hosts[k], hostText, sizeof hostText);
        if (hostText[0] != '\0')
            answered = AskHost(hideMode, hostText, &asked);
    }
    // "No response" when every index up to MaxHost - 1 was tried: not after an
    // answer, nor when the window was found gone before an index below MaxHost
    // (absent indices are tested too, so a window closed during the wait for
    // any but the last index stops the run without a word).
    int triedAll = !answered && !windowGone && (UdpWindow() != NULL || lastAsked + 1 >= maxHost);
    if (triedAll && !hideMode)
        MessageBoxA(UdpWindow(), "No response from any server !", kCaption, MB_ICONERROR);
    if (!answered && hideMode) {
        EventFacts facts = {"", "", -1, -1, 0, openError, "", asked, hostTimeout};
        LogEvent(!opened && asked == 0 ? kEventNoNetwork : kEventNoAnswer, &facts);
    }
    if (UdpWindow() != NULL)
        ShowWindow(UdpWindow(), SW_HIDE);
}
