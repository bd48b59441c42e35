#include <stdlib.h>

#include <windows.h>
#include <ntsecapi.h>

#include "app/clock.h"
#include "app/elevation.h"
#include "app/event_log.h"
#include "app/install.h"
#include "app/settings.h"
#include "app/system.h"
#include "app/time_check.h"
#include "core/agreement.h"
#include "core/clock_keepers.h"
#include "core/install_report.h"
#include "core/host_list.h"
#include "core/report.h"
#include "core/task_definition.h"
#include "net/udp_channel.h"
#include "protocol/era.h"
#include "protocol/sntp.h"
#include "protocol/time_protocol.h"

static const char kCaption[] = "Horavel";
enum {
    kHostTextSize = 255, // values are cut to 254 characters
    kRequestSize = 64,
    kStripWidth = 300, // at 96 dots per inch
};

// Each protocol asks through a slot of its own: its ports are its own.
static const TimeProtocol* const kSlotProtocols[kUdpSlotCount + 1] = {NULL, &kTimeProtocol,
                                                                      &kSntpProtocol};

// The run's configuration and what it learns, for its length.
static int hideMode;
static int checkOnly; // /check: report, never correct
static char* exePath;
static char* iniPath;
static int hostTimeout;
static int maxStepSeconds; // 0: no bound on an unattended step
static int answersWanted;  // of which a majority must agree before a step
static int64_t buildDate;  // no server's clock may read earlier
static AskedHost* askedHosts;
static int askedCount;
static int requestsSent;
static int maxDistanceMs;     // the largest root distance an SNTP answer may have
static int samplesWanted;     // SNTP requests per server
static DWORD deadline;        // /scheduled: the run stops asking at this tick count,
static int stoppedAtDeadline; // and it did
static const Switches* runSwitches;
static int fromPolicy;     // the servers came from Group Policy
static int quietLog;       // /check for a monitoring system that reads its line: no event
static int monitored;      // /check whose output is a file or a pipe: no window, the line
static int warnMs, critMs; // of /warn: and /crit:, or of the policy for the task; -1: none
static int thresholdFromPolicy;
static volatile LONG lineTaken; // the plugin line is written once: by the run or its watchdog
static EventFacts settled;      // of the answer that settled the run, if one did
static int taskMode;            // a TaskMode, for a run of the task

static int SlotOf(const TimeProtocol* protocol) {
    for (int slot = 1; slot <= kUdpSlotCount; slot++)
        if (kSlotProtocols[slot] == protocol)
            return slot;
    return 1;
}

// The executable's path and the configuration's beside it; 0 when the
// platform cannot name them.
static int FindPaths(void) {
    exePath = ExePath();
    iniPath = exePath != NULL ? ConfigFilePath(exePath) : NULL;
    return iniPath != NULL;
}

// The caption-only strip: 300 wide at 100 %, centred, its top edge at the
// middle of the screen. The program declares itself aware of the display's
// scale, so the width is scaled here rather than the whole window stretched.
static void ShowStrip(HWND strip) {
    SetWindowTextA(strip, kCaption);
    HDC screen = GetDC(NULL);
    int dpi = screen != NULL ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
    if (screen != NULL)
        ReleaseDC(NULL, screen);
    int width = kStripWidth * (dpi > 0 ? dpi : 96) / 96;
    RECT desktop;
    GetWindowRect(GetDesktopWindow(), &desktop);
    SetWindowPos(strip, NULL, (desktop.right - width) / 2, desktop.bottom / 2, width, 0,
                 SWP_SHOWWINDOW);
}

static void ShowFailure(unsigned long error) {
    char text[300] = "Unable to set the clock !\n";
    SystemErrorText(error, text + strlen(text), (int)(sizeof text - strlen(text)));
    MessageBoxA(UdpWindow(), text, kCaption, MB_ICONERROR | MB_OK);
}

// An ordinary desktop runs programs without the right to set the clock:
// offer to set it as administrator rather than only report. 1 when the
// elevated run went ahead, which logs its own outcome, and whether it set
// the clock in *set.
static int OfferElevation(const ApprovedCorrection* approved, int* set) {
    if (MessageBoxA(UdpWindow(),
                    "Unable to set the clock !\nChanging the system time needs an administrator."
                    "\n\nSet the clock as administrator ?",
                    kCaption, MB_YESNO | MB_ICONERROR) != IDYES)
        return 0;
    char arguments[96];
    FormatApprovedArguments(arguments, sizeof arguments, approved);
    unsigned long status = 1; // started, but not told how: taken as done
    if (!RunAsAdministrator(exePath, arguments, &status)) {
        if (status != ERROR_CANCELLED) // a declined prompt needs no word
            ShowFailure(status);
        return 0;
    }
    *set = status == 1; // the elevated run's exit status: 1 when the clock was set
    if (!*set)
        ShowFailure(status == 0 ? ERROR_GEN_FAILURE : status);
    return 1;
}

// What any event of the run may tell: the hosts asked and the settings.
static EventFacts RunFacts(void) {
    EventFacts facts = {};
    facts.hostText = facts.hostAddress = facts.protocol = facts.errorText = "";
    facts.hostsAsked = askedCount;
    facts.asked = askedHosts;
    facts.timeoutMs = hostTimeout;
    facts.maxStepSeconds = maxStepSeconds;
    facts.buildDate = buildDate;
    facts.answersWanted = answersWanted;
    facts.stoppedAtDeadline = stoppedAtDeadline;
    facts.maxDistanceMs = maxDistanceMs;
    facts.fromPolicy = fromPolicy;
    facts.taskMode = taskMode;
    return facts;
}

static void Log(EventId id, const EventFacts* facts) {
    if (!quietLog)
        LogEvent(id, facts);
}

// Moves the clock by the drift; 1 when it was set, else 0 and the error in facts.
static int SetClock(EventFacts* facts) {
    return ApplyDrift(facts->answer.driftMs, !facts->answer.fine, &facts->error);
}

// Moves the clock by the drift and records the attempt; 1 when the clock was set.
static int Correct(EventFacts* facts) {
    int set = SetClock(facts);
    Log(set ? kEventCorrected : kEventNotSet, facts);
    return set;
}

// What an unattended /check found: with thresholds, a drift beyond one is an
// event of its own; the thresholds judge the offset itself, not what the
// measurement can tell apart from none.
static EventId Checked(EventFacts* facts) {
    CheckStatus status = CheckStatusOf(-facts->answer.driftMs, warnMs, critMs);
    facts->thresholdMs = status == kCheckCritical ? critMs : warnMs;
    facts->thresholdFromPolicy = thresholdFromPolicy;
    return status == kCheckCritical          ? kEventDriftCritical
           : status == kCheckWarning         ? kEventDriftWarning
           : NeedsCorrection(&facts->answer) ? kEventDriftLeft
                                             : kEventNoCorrection;
}

// Shows the report of the answer that settles the run and corrects the
// clock when due; what the run ended with. An unattended run records its
// outcome; an interactive one, only a correction.
static EventId HandleAnswer(const AskedHost* chosen) {
    const TimeAnswer* answer = &chosen->answer;
    EventFacts facts = RunFacts();
    facts.hostText = chosen->hostText;
    facts.hostAddress = chosen->address;
    facts.protocol = chosen->protocol;
    facts.answer = *answer;
    facts.samples = chosen->samples;
    settled = facts;
    if (hideMode) {
        EventId result = checkOnly                  ? Checked(&facts)
                         : !NeedsCorrection(answer) ? kEventNoCorrection
                         // a forged answer could move it by decades
                         : !StepWithinBound(answer, maxStepSeconds) ? kEventStepTooLarge
                         : SetClock(&facts)                         ? kEventCorrected
                                                                    : kEventNotSet;
        Log(result, &facts);
        return result;
    }
    TimeFields serverFields, pcFields;
    ShownFields(answer->serverMs, &serverFields); // shown before it was taken
    int pcShown = answer->pcMs != -1 && ShownFields(answer->pcMs, &pcFields);
    char report[kReportSize];
    FormatReport(report, sizeof report, &serverFields, pcShown ? &pcFields : NULL, answer,
                 askedHosts, askedCount, !checkOnly, fromPolicy);
    char caption[kCaptionSize];
    FormatHostCaption(caption, sizeof caption, chosen->address);
    if (!NeedsCorrection(answer) || checkOnly) {
        MessageBoxA(UdpWindow(), report, caption, MB_ICONINFORMATION | MB_OK);
        return NeedsCorrection(answer) ? kEventDriftLeft : kEventNoCorrection;
    }
    if (MessageBoxA(UdpWindow(), report, caption, MB_YESNO | MB_ICONINFORMATION) != IDYES)
        return kEventDriftLeft;
    if (SetClock(&facts)) {
        Log(kEventCorrected, &facts);
        return kEventCorrected;
    }
    ApprovedCorrection approved = {answer->driftMs, answer->fine, chosen->hostIndex, ""};
    FormatText(approved.address, sizeof approved.address, "%s", chosen->address);
    // An elevated process that still lacks the right has a policy against it.
    int set = 0;
    if (facts.error != ERROR_PRIVILEGE_NOT_HELD || IsElevated())
        ShowFailure(facts.error);
    else if (OfferElevation(&approved, &set))
        return set ? kEventCorrected : kEventNotSet; // the elevated run logged its outcome
    Log(kEventNotSet, &facts);
    return kEventNotSet;
}

// The answers gathered settle the run: the most precise of a majority that
// agrees, or no step at all.
static EventId Settle(void) {
    int chosen = AgreedAnswer(askedHosts, askedCount, answersWanted);
    if (chosen >= 0)
        return HandleAnswer(&askedHosts[chosen]);
    int tooFew = AnswerCount(askedHosts, askedCount) < Majority(answersWanted);
    EventId result = tooFew ? kEventNoAnswer : kEventDisagree;
    EventFacts facts = RunFacts();
    if (hideMode) {
        Log(result, &facts);
        return result;
    }
    char text[kEventTextSize];
    FormatNoTimeBox(text, sizeof text, result, &facts);
    MessageBoxA(UdpWindow(), text, kCaption, MB_ICONWARNING | MB_OK);
    return result;
}

// 64 bits from the system's cryptographic generator (advapi32's RtlGenRandom).
static int RandomNonce(uint64_t* nonce) {
    return RtlGenRandom(nonce, sizeof *nonce) != 0;
}

// The wait's judge: the protocol's, with the PC clock read as it judges.
static int JudgeDatagram(const unsigned char* datagram, int length, int sourcePort, void* context) {
    TimeExchange* exchange = (TimeExchange*)context;
    exchange->judgedAt = ExchangeClockNow();
    if (exchange->protocol->judge(exchange, datagram, length, sourcePort))
        return 1;
    exchange->judgedAt = 0;
    return 0;
}

// The next entry of askedHosts, for a host as it is written; NULL when
// memory runs out.
static AskedHost* NextAsked(int hostIndex, const char* hostText, const TimeProtocol* protocol) {
    AskedHost* grown = (AskedHost*)realloc(askedHosts, (askedCount + 1) * sizeof *askedHosts);
    if (grown == NULL)
        return NULL;
    askedHosts = grown;
    AskedHost* asked = &askedHosts[askedCount++];
    *asked = AskedHost();
    asked->hostIndex = hostIndex;
    asked->hostText = hostText;
    asked->protocol = protocol->name;
    memcpy(asked->address, "0.0.0.0", 8);
    return asked;
}

// Waits until `until` (a tick count) with the windows responsive; 0 when the
// strip was closed meanwhile.
static int Pause(DWORD until) {
    for (LONG left; UdpWindow() != NULL && (left = (LONG)(until - GetTickCount())) > 0;) {
        MsgWaitForMultipleObjects(0, NULL, FALSE, (DWORD)left, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return UdpWindow() != NULL;
}

// 1 when a request sent at `sendAt` would have its whole wait before the
// deadline of a run of the task, or of /timeout:
static int FitsBeforeDeadline(DWORD sendAt) {
    return deadline == 0 || (LONG)(deadline - sendAt - (DWORD)hostTimeout) > 0;
}

// Sends one request and waits for its reply; 1 and *answer when it gave a
// usable time. exchange->why says why not.
static int AskOnce(int slot, const TimeProtocol* protocol, TimeExchange* exchange,
                   TimeAnswer* answer) {
    unsigned char request[kRequestSize], reply[kSntpReplySize];
    exchange->judgedAt = 0;
    exchange->why = kNoTimeSilent;
    if (!RandomNonce(&exchange->nonce))
        return 0;
    int requestLength = protocol->request(exchange, request);
    StartExchangeClock();
    exchange->sentAt = ExchangeClockNow();
    int sent = UdpSend(slot, request, requestLength);
    requestsSent += sent;
    if (!sent) {
        exchange->why = kNoTimeNotSent;
        return 0;
    }
    int length = UdpReceive(slot, reply, protocol->replySize, JudgeDatagram, exchange);
    return exchange->judgedAt != 0 && protocol->read(exchange, reply, length, answer);
}

// Asks one address of a host and notes what it gave in askedHosts; 1 when
// it gave a usable time. An SNTP server is asked `samplesWanted` times, 4 s
// apart, and its least delayed reply kept; a reply refused (a Kiss-o'-Death
// above all) or none ends the burst with what it has.
static int AskAddress(int hostIndex, const char* hostText, const TimeProtocol* protocol,
                      const NetAddress* address) {
    AskedHost* asked = NextAsked(hostIndex, hostText, protocol);
    if (asked == NULL)
        return 0;
    FormatAddress(address, asked->address);
    int slot = SlotOf(protocol);
    asked->why = kNoTimeNoFamily;
    // ::ffff:10.0.0.5 goes out over IPv4: the IPv6 socket takes IPv6 alone.
    NetAddress destination = Unmapped(address);
    if (!UdpSetDestination(slot, &destination))
        return 0;
    TimeExchange exchange = {};
    exchange.protocol = protocol;
    exchange.broadcast = UdpIsBroadcast(slot);
    exchange.buildDate = buildDate;
    exchange.maxDistanceMs = maxDistanceMs;
    // RFC 868 and broadcasts are asked once: only a server of its own can say more.
    int wanted = protocol == &kSntpProtocol && !exchange.broadcast ? samplesWanted : 1;
    TimeAnswer samples[kMaxSamples];
    int usable[kMaxSamples] = {}, count = 0;
    DWORD sentAt = 0;
    for (; count < wanted; count++) {
        DWORD next = sentAt + kSampleSpacingMs;
        if (count > 0 && (!FitsBeforeDeadline(next) || !Pause(next)))
            break;
        if (wanted > 1) {
            char title[kHostTextSize + 16];
            FormatText(title, sizeof title, "%s (%d/%d)", hostText, count + 1, wanted);
            SetWindowTextA(UdpWindow(), title);
        }
        sentAt = GetTickCount();
        if ((usable[count] = AskOnce(slot, protocol, &exchange, &samples[count])) != 0)
            continue;
        // What came, if anything, says more than that the host was asked.
        if (count == 0 || exchange.why != kNoTimeSilent) {
            asked->why = exchange.why;
            memcpy(asked->kissCode, exchange.kissCode, sizeof asked->kissCode);
            asked->rootDistanceMs = exchange.rootDistanceMs;
        }
        // Silence, a refusal, a server that asks us to stop: no more of its time.
        count++;
        break;
    }
    int kept = LeastDelayed(samples, usable, count);
    if (kept < 0)
        return 0;
    asked->answer = samples[kept];
    for (int i = 0; i < count; i++)
        asked->samples += usable[i];
    // Unattended, nothing is shown: a time decides by itself.
    TimeFields serverFields;
    if (!hideMode && !ShownFields(asked->answer.serverMs, &serverFields))
        return 0;
    NetAddress repliedFrom = UdpRepliedFrom(slot);
    FormatAddress(&repliedFrom, asked->address);
    asked->answered = 1;
    return 1;
}

static int PastDeadline(void) {
    if (runSwitches->scheduledSeconds <= 0 || (LONG)(GetTickCount() - deadline) < 0)
        return 0;
    stoppedAtDeadline = 1;
    return 1;
}

// Asks one host, each of its addresses in the resolver's order until one
// gives a usable time, and notes what each gave in askedHosts; 1 when one did.
static int AskHost(int hostIndex, const char* hostText) {
    const char* serverName;
    const TimeProtocol* protocol = ProtocolOfHost(hostText, &serverName);
    if (serverName[0] == '\0')
        return 0; // "ntp:" alone names no server
    char name[kHostTextSize];
    int count = 0;
    ServerName kind = ReadServerName(serverName, name, sizeof name);
    NetAddress* addresses = kind == kServerToResolve ? UdpResolve(name, &count) : NULL;
    SetWindowTextA(UdpWindow(), hostText);
    // A host whose name gave no address is listed too: the event must show
    // a misspelt name or a dead resolver, not just fewer hosts.
    AskedHost* unasked = count == 0 ? NextAsked(hostIndex, hostText, protocol) : NULL;
    if (unasked != NULL)
        unasked->why = kind == kServerMalformed   ? kNoTimeMalformed
                       : kind == kServerLinkLocal ? kNoTimeLinkLocal
                                                  : kNoTimeUnresolved;
    int usable = 0;
    for (int i = 0; i < count && !usable && UdpWindow() != NULL && !PastDeadline(); i++)
        usable = AskAddress(hostIndex, hostText, protocol, &addresses[i]);
    free(addresses);
    return usable;
}

struct ConfiguredHost {
    int index; // N of the key "HostN"
    char text[kHostTextSize];
};

// The hosts present in the section with an index below maxHost, in index order.
static ConfiguredHost* ReadHosts(int* maxHost, size_t* count) {
    size_t sectionLength;
    char* section = ReadHostSection(iniPath, maxHost, &sectionLength, &fromPolicy);
    *count = 0;
    HostEntry* entries =
        section != NULL ? ListHosts(section, sectionLength, *maxHost, count) : NULL;
    ConfiguredHost* hosts = (ConfiguredHost*)malloc(*count * sizeof *hosts + 1);
    if (hosts == NULL)
        *count = 0;
    for (size_t k = 0; k < *count; k++) {
        hosts[k].index = entries[k].index;
        CopyHostValue(&entries[k], hosts[k].text, sizeof hosts[k].text);
    }
    free(entries);
    free(section);
    return hosts;
}

// Opens the slot of each protocol the hosts ask with (the Time Protocol's
// when none is named); 1 when all opened, else 0 and the error in *error.
static int OpenSlots(const ConfiguredHost* hosts, size_t hostCount, unsigned long* error) {
    int needed[kUdpSlotCount + 1] = {0, hostCount == 0};
    for (size_t k = 0; k < hostCount; k++) {
        const char* name;
        if (hosts[k].text[0] != '\0')
            needed[SlotOf(ProtocolOfHost(hosts[k].text, &name))] = 1;
    }
    int opened = 1;
    *error = 0;
    for (int slot = 1; slot <= kUdpSlotCount; slot++) {
        const TimeProtocol* protocol = kSlotProtocols[slot];
        if (needed[slot] &&
            !UdpOpen(slot, protocol->localPort, protocol->serverPort, hostTimeout) && opened) {
            opened = 0;
            *error = (unsigned long)WSAGetLastError();
        }
    }
    return opened;
}

// Started by the task: a random wait first spreads a fleet over the hour,
// and the run stops asking at its deadline, well before the task's time
// limit would end it without its event. The deadline's tick count.
static DWORD WaitAsScheduled(int deadlineSeconds) {
    DWORD started = GetTickCount();
    uint32_t random = 0;
    RtlGenRandom(&random, sizeof random);
    Sleep(random % ((DWORD)ScheduledWaitMostSeconds(deadlineSeconds) * 1000 + 1));
    return started + (DWORD)deadlineSeconds * 1000;
}

// Ends a /check that ran out of its /timeout: with its line, even while a
// name lookup blocks the run, before an agent's own timeout kills it mute.
static DWORD WINAPI Watchdog(LPVOID seconds) {
    Sleep((DWORD)(UINT_PTR)seconds * 1000);
    if (InterlockedExchange(&lineTaken, 1) == 0) {
        char line[80];
        FormatTimeoutLine(line, sizeof line, (int)(UINT_PTR)seconds);
        WriteOutputLine(line);
        ExitProcess(kCheckCritical);
    }
    return 0;
}

// A policy's threshold in ms, -1 for none.
static int PolicyThreshold(const NumberRule* rule) {
    int32_t value;
    int ms = ReadPolicyNumber(rule->key, &value) ? ChosenNumber(rule, &value, NULL) : 0;
    return ms > 0 ? ms : -1;
}

// A run of the task: the domain's rule and the policies. The task never
// fights the domain's time keeping unless a policy says so; a fleet audited
// from the centre has its runs made /check, judged by CheckWarn and CheckCrit.
static void ReadTaskMode(void) {
    int32_t checkPolicy;
    int set = ReadPolicyNumber(kCheckOnlyPolicy, &checkPolicy);
    taskMode = TaskModeOf(set ? &checkPolicy : NULL, (DomainHold)ReadDomainHold());
    if (!TaskOnlyChecks((TaskMode)taskMode))
        return;
    checkOnly = 1;
    if (warnMs >= 0 || critMs >= 0)
        return;
    critMs = PolicyThreshold(&kCheckCritRule);
    warnMs = PolicyThreshold(&kCheckWarnRule);
    if (critMs >= 0 && warnMs > critMs)
        warnMs = -1; // a warning above the critical one means nothing
    thresholdFromPolicy = 1;
}

static EventId Run(const Switches* switches) {
    // A monitoring agent waits for the line: a box would hold it up.
    monitored = switches->check && WriteOutputLine(NULL);
    hideMode = switches->hide || monitored;
    checkOnly = switches->check;
    runSwitches = switches;
    quietLog = monitored;
    warnMs = switches->warnMs;
    critMs = switches->critMs;
    if (switches->timeoutSeconds > 0) {
        CloseHandle(
            CreateThread(NULL, 0, Watchdog, (LPVOID)(UINT_PTR)switches->timeoutSeconds, 0, NULL));
        // A burst ends in time for the run's own line, a second ahead of the watchdog.
        deadline = GetTickCount() + (DWORD)switches->timeoutSeconds * 1000 - 1000;
    }
    if (switches->scheduledSeconds > 0) {
        ReadTaskMode();
        deadline = WaitAsScheduled(switches->scheduledSeconds);
    }
    FixShownZone();
    udpWindowClass.hInstance = programInstance;
    if (!FindPaths())
        return kEventNothingToAsk; // the platform could not name the executable: nothing to read
    // Management tools never install again what they find installed: a
    // policy's new RunEvery reaches the task through the task's own run.
    if (switches->scheduledSeconds > 0)
        KeepTaskInterval(exePath, iniPath);
    int maxHost = ReadNumber(iniPath, &kMaxHostRule);
    hostTimeout = ReadNumber(iniPath, &kHostTimeoutRule);
    maxStepSeconds = ReadNumber(iniPath, &kMaxStepRule);
    answersWanted = ReadNumber(iniPath, &kAgreeRule);
    samplesWanted =
        SamplesWanted(ReadNumber(iniPath, &kSamplesRule), switches->scheduledSeconds > 0);
    maxDistanceMs = ReadNumber(iniPath, &kMaxDistanceRule);
    buildDate = BuildDate(HORAVEL_BUILD_TIME);
    udpWindowClass.hIcon = LoadIconA(programInstance, "_icon_");

    // Only the indices present are visited; absent ones would be skipped anyway.
    size_t hostCount;
    ConfiguredHost* hosts = ReadHosts(&maxHost, &hostCount);

    // Unattended, a failed open is not final: with only the bind failing, the
    // first send picks another local port and the run works as usual.
    unsigned long openError;
    int opened = OpenSlots(hosts, hostCount, &openError);
    if (!opened && !hideMode) {
        MessageBoxA(GetActiveWindow(), "WINSOCK Error", kCaption, MB_ICONERROR | MB_OK);
        return kEventNoNetwork;
    }
    if (!hideMode && UdpWindow() != NULL)
        ShowStrip(UdpWindow());

    int lastAsked = -1, answers = 0, windowGone = 0;
    for (size_t k = 0; k < hostCount && answers < answersWanted; k++) {
        if (UdpWindow() == NULL) {
            windowGone = 1;
            break;
        }
        if (PastDeadline())
            break;
        lastAsked = hosts[k].index;
        if (hosts[k].text[0] != '\0')
            answers += AskHost(hosts[k].index, hosts[k].text);
    }
    // Closing the strip stops the run, also after some answers came.
    EventId result = kEventNoAnswer;
    if (answers > 0 && UdpWindow() != NULL)
        result = Settle();
    else if (askedCount == 0 && !windowGone)
        result = kEventNothingToAsk;
    else if (!opened && requestsSent == 0)
        result = kEventNoNetwork;
    // "No response" when every index up to MaxHost - 1 was tried: not after an
    // answer, nor when the window was found gone before an index below MaxHost
    // (absent indices are tested too, so a window closed during the wait for
    // any but the last index stops the run without a word).
    int triedAll = !answers && !windowGone && (UdpWindow() != NULL || lastAsked + 1 >= maxHost);
    if (triedAll && !hideMode) {
        EventFacts facts = RunFacts();
        char text[kEventTextSize];
        FormatNoTimeBox(text, sizeof text, kEventNoAnswer, &facts);
        MessageBoxA(UdpWindow(), text, kCaption, MB_ICONERROR);
    }
    if (!answers && hideMode) {
        EventFacts facts = RunFacts();
        facts.error = openError;
        Log(result, &facts);
    }
    if (UdpWindow() != NULL)
        ShowWindow(UdpWindow(), SW_HIDE);
    return result;
}

int RunTimeCheck(const Switches* switches) {
    EventId result = Run(switches);
    if (!switches->thresholds && !monitored) // without /exitcode the status stays 1, as ever
        return switches->exitCode ? ExitCodeOf(result) : 1;
    // A monitoring system's line, and its status whatever /exitcode says.
    EventFacts facts = settled.protocol != NULL ? settled : RunFacts();
    char correctors[96], line[512];
    FormatCorrectors(correctors, sizeof correctors, FindCorrectors());
    CheckStatus status;
    FormatCheckLine(line, sizeof line, result, &facts, switches, correctors, &status);
    if (InterlockedExchange(&lineTaken, 1) != 0)
        Sleep(INFINITE); // the watchdog writes its line and ends the process
    WriteOutputLine(line);
    return status;
}

int RunApprovedCorrection(const ApprovedCorrection* approved) {
    // The host as written where the run that asked read it: policy or INI.
    char hostText[kHostTextSize] = "";
    size_t count = 0;
    int maxHost = FindPaths() ? ReadNumber(iniPath, &kMaxHostRule) : 0;
    ConfiguredHost* hosts = iniPath != NULL ? ReadHosts(&maxHost, &count) : NULL;
    for (size_t k = 0; k < count; k++)
        if (hosts[k].index == approved->hostIndex)
            memcpy(hostText, hosts[k].text, sizeof hostText);
    // The times the event gives: the PC clock now, and the server's by the drift.
    TimeAnswer answer = {};
    answer.fine = approved->fine;
    answer.driftMs = approved->driftMs;
    int millisecond;
    int64_t pcMs = ReadPcTimeMs();
    answer.pcMs = answer.fine ? pcMs : SecondsOfMs(pcMs, &millisecond) * 1000;
    answer.serverMs = answer.pcMs - answer.driftMs;
    EventFacts facts = RunFacts();
    facts.hostText = hostText[0] != '\0' ? hostText : approved->address;
    facts.hostAddress = approved->address;
    facts.protocol = answer.fine ? kSntpProtocol.name : kTimeProtocol.name;
    facts.answer = answer;
    int set = Correct(&facts);
    return ExitStatusOfCorrection(set, facts.error);
}
