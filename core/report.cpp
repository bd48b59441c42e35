#include "core/report.h"

#include "core/command_line.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#ifdef _WIN32
// msvcrt's own, not the C99 emulation the mingw runtime would link in for
// it: a text that does not fit is cut all the same, and -1 says so.
#define vsnprintf _vsnprintf
#endif

struct ReportText {
    char* out;
    size_t size;
    size_t length;
    int marksCut; // 1: a text cut to fit ends in "..."
};

static const char kCutMark[] = "...";

static void AppendList(ReportText* text, const char* format, va_list args) {
    if (text->length + 1 >= text->size)
        return;
    int written = vsnprintf(text->out + text->length, text->size - text->length, format, args);
    if (written >= 0 && text->length + (size_t)written < text->size) {
        text->length += (size_t)written;
        return;
    }
    // Cut: an event says so at its end, so that no one takes it for whole.
    text->length = text->size - 1;
    text->out[text->length] = '\0';
    if (text->marksCut && text->size > sizeof kCutMark)
        memcpy(text->out + text->length - (sizeof kCutMark - 1), kCutMark, sizeof kCutMark);
}

static void Appendf(ReportText* text, const char* format, ...) {
    va_list args;
    va_start(args, format);
    AppendList(text, format, args);
    va_end(args);
}

size_t FormatText(char* out, size_t size, const char* format, ...) {
    if (size == 0)
        return 0;
    ReportText text = {out, size, 0, 0};
    out[0] = '\0';
    va_list args;
    va_start(args, format);
    AppendList(&text, format, args);
    va_end(args);
    return text.length;
}

static uint64_t Magnitude(int64_t value) {
    return value < 0 ? 0 - (uint64_t)value : (uint64_t)value;
}

static const char* Digits(uint64_t magnitude, int negative, char* out) {
    char* p = out + 21;
    *p = '\0';
    do {
        *--p = (char)('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (negative)
        *--p = '-';
    return p;
}

const char* DecimalText(int64_t value, char* out) {
    return Digits(Magnitude(value), value < 0, out);
}

// Seconds of a millisecond count: "90" when whole, "90.250" when fine. A
// sign, when asked for, also before a count under one second ("-0.120").
static void AppendSeconds(ReportText* text, int64_t ms, int fine, int withSign) {
    uint64_t magnitude = Magnitude(ms);
    char digits[22];
    Appendf(text, "%s", Digits(magnitude / 1000, withSign && ms < 0, digits));
    if (fine)
        Appendf(text, ".%03d", (int)(magnitude % 1000));
}

// An answer's offset, the server's clock minus the PC's: "+3600 s", "-0.120 s".
static void AppendOffset(ReportText* text, const TimeAnswer* answer) {
    Appendf(text, answer->driftMs > 0 ? "-" : "+");
    AppendSeconds(text, answer->driftMs, answer->fine, 0);
    Appendf(text, " s");
}

// "10.0.0.3 (+3600 s)": the host that answered, and its offset.
static void AppendHostOffset(ReportText* text, const AskedHost* host) {
    Appendf(text, "%s (", host->address);
    AppendOffset(text, &host->answer);
    Appendf(text, ")");
}

// `lead`, then each host that answered but was left out of the agreement,
// with its offset: "Disagreed: 10.0.0.3 (+3600 s), 10.0.0.4 (-20 s)". Nothing
// when none was; returns how many were.
static int AppendDisagreed(ReportText* text, const char* lead, const AskedHost* asked, int count) {
    int named = 0;
    for (int i = 0; asked != NULL && i < count; i++) {
        if (!asked[i].answered || asked[i].agreed)
            continue;
        Appendf(text, "%s", named++ == 0 ? lead : ", ");
        AppendHostOffset(text, &asked[i]);
    }
    return named;
}

static void AppendTimeLine(ReportText* text, const char* label, const TimeFields* f, int fine) {
    Appendf(text, "%s:  %02d/%02d/%04d     %02d:%02d:%02d", label, f->day, f->month, f->year,
            f->hour, f->minute, f->second);
    if (fine)
        Appendf(text, ".%03d", f->millisecond);
    Appendf(text, "\n");
}

size_t FormatReport(char* out, size_t size, const TimeFields* server, const TimeFields* pc,
                    const TimeAnswer* answer, const AskedHost* asked, int askedCount, int asking) {
    if (size == 0)
        return 0;
    ReportText text = {out, size, 0, 0};
    out[0] = '\0';
    AppendTimeLine(&text, "Horavel ", server, answer->fine);
    if (pc != NULL)
        AppendTimeLine(&text, "PC  Time ", pc, answer->fine);
    else
        Appendf(&text, "PC  Time :  --/--/----     --:--:--%s\n", answer->fine ? ".---" : "");
    if (AppendDisagreed(&text, "Disagreed: ", asked, askedCount) > 0)
        Appendf(&text, "\n");
    if (NeedsCorrection(answer)) {
        Appendf(&text, "\nYour PC's clock has  ");
        AppendSeconds(&text, answer->driftMs, answer->fine, 1);
        Appendf(&text, " seconds drift !\n%s", asking ? "Do you want to fix it ?\n" : "");
    } else {
        Appendf(&text, "\nYour PC's clock needs no correction...\n");
    }
    return text.length;
}

size_t FormatDisagreement(char* out, size_t size, const AskedHost* asked, int askedCount,
                          int answersWanted) {
    if (size == 0)
        return 0;
    ReportText text = {out, size, 0, 0};
    out[0] = '\0';
    int answers = AnswerCount(asked, askedCount), tooFew = answers < Majority(answersWanted);
    Appendf(&text,
            tooFew ? "Too few time servers answered...\n\n" : "The time servers disagree...\n\n");
    for (int i = 0; i < askedCount; i++) {
        if (!asked[i].answered)
            continue;
        AppendHostOffset(&text, &asked[i]);
        Appendf(&text, "\n");
    }
    if (tooFew)
        Appendf(&text,
                "\nThe clock is left alone: %d of %d servers answered, and at least %d must "
                "agree.\n",
                answers, answersWanted, Majority(answersWanted));
    else
        Appendf(&text, "\nThe clock is left alone: at least %d of %d servers must agree.\n",
                Majority(answersWanted), answersWanted);
    return text.length;
}

size_t FormatHostCaption(char* out, size_t size, const char* dottedAddress) {
    return FormatText(out, size, "Host Address : %s", dottedAddress);
}

static void AppendUtc(ReportText* text, const char* label, int64_t ms, int fine) {
    int millisecond;
    int64_t seconds = SecondsOfMs(ms, &millisecond);
    TimeFields f;
    if (ms == -1 || !TimeToFields(seconds, &kUtcRules, &f)) {
        Appendf(text, "\r\n%s: unknown", label);
        return;
    }
    Appendf(text, "\r\n%s: %04d-%02d-%02dT%02d:%02d:%02d", label, f.year, f.month, f.day, f.hour,
            f.minute, f.second);
    if (fine)
        Appendf(text, ".%03d", millisecond);
    Appendf(text, "Z");
}

static void AppendDrift(ReportText* text, const TimeAnswer* answer) {
    AppendSeconds(text, answer->driftMs, answer->fine, 0);
    int one = !answer->fine && Magnitude(answer->driftMs) == 1000;
    Appendf(text, " second%s %s the time server", one ? "" : "s",
            answer->driftMs > 0 ? "ahead of" : "behind");
}

static const char* NoTimeText(NoTime why) {
    switch (why) {
    case kNoTimeSilent:
        return "silent";
    case kNoTimeUnsynchronised:
        return "unsynchronised";
    case kNoTimeUnresolved:
        return "name not found";
    case kNoTimeNotSent:
        return "request not sent";
    case kNoTimeMalformed:
        return "not an address (a zone index or a port?)";
    case kNoTimeNoFamily:
        return "IPv6 is not available";
    default:
        return "unusable answer";
    }
}

// Each host asked: its offset, or why it gave no time. Names are cut short,
// so that the event has room for every host.
static void AppendAskedHosts(ReportText* text, const EventFacts* facts) {
    enum { kListedName = 64 };
    if (facts->stoppedAtDeadline)
        Appendf(text, " The run stopped asking at its deadline.");
    for (int i = 0; facts->asked != NULL && i < facts->hostsAsked; i++) {
        const AskedHost* host = &facts->asked[i];
        int cut = strlen(host->hostText) > kListedName;
        Appendf(text, "\r\n%.*s%s (%s): ", (int)kListedName, host->hostText, cut ? kCutMark : "",
                host->address);
        TimeFields built;
        if (host->answered)
            AppendOffset(text, &host->answer);
        else if (host->why == kNoTimeBeforeBuild &&
                 TimeToFields(facts->buildDate, &kUtcRules, &built))
            Appendf(text, "clock before %04d-%02d-%02d", built.year, built.month, built.day);
        else if (host->why == kNoTimeRefused)
            Appendf(text, "refused (%s)", host->kissCode);
        else if (host->why == kNoTimeTooFar) {
            Appendf(text, "root distance ");
            AppendSeconds(text, host->rootDistanceMs, 1, 0);
            Appendf(text, " s over MaxDistance ");
            AppendSeconds(text, facts->maxDistanceMs, 1, 0);
            Appendf(text, " s");
        } else
            Appendf(text, "%s", NoTimeText(host->why));
    }
}

size_t FormatNoResponse(char* out, size_t size, const EventFacts* facts) {
    if (size == 0)
        return 0;
    ReportText text = {out, size, 0, 1};
    out[0] = '\0';
    Appendf(&text, "No response from any server !%s", facts->hostsAsked > 0 ? "\r\n" : "");
    AppendAskedHosts(&text, facts);
    return text.length;
}

size_t FormatEventText(char* out, size_t size, EventId id, const EventFacts* facts) {
    if (size == 0)
        return 0;
    ReportText text = {out, size, 0, 1};
    out[0] = '\0';
    const TimeAnswer* answer = &facts->answer;
    if (id == kEventNoAnswer) {
        int answers = AnswerCount(facts->asked, facts->asked != NULL ? facts->hostsAsked : 0);
        if (answers > 0)
            Appendf(&text,
                    "The clock was not set: too few time servers answered; %d of %d answered, "
                    "at least %d must agree.",
                    answers, facts->answersWanted, Majority(facts->answersWanted));
        else
            Appendf(&text, "No time server answered: %d server%s asked, %d ms each.",
                    facts->hostsAsked, facts->hostsAsked == 1 ? "" : "s", facts->timeoutMs);
        AppendAskedHosts(&text, facts);
        return text.length;
    }
    if (id == kEventDisagree) {
        Appendf(&text,
                "The clock was not set: the time servers disagree; at least %d of %d must agree.",
                Majority(facts->answersWanted), facts->answersWanted);
        AppendAskedHosts(&text, facts);
        return text.length;
    }
    if (id == kEventNothingToAsk) {
        Appendf(&text, "No time server was asked: the configuration names none.");
        return text.length;
    }
    if (id == kEventNoNetwork) {
        Appendf(&text, "No time server was asked: the network could not be used.");
        Appendf(&text, "\r\nError %lu: %s", facts->error, facts->errorText);
        return text.length;
    }
    if (id == kEventNoCorrection && !answer->fine) {
        Appendf(&text, "Clock checked: the PC clock agrees with the time server to the second.");
    } else if (id == kEventNoCorrection) {
        Appendf(&text, "Clock checked: the PC clock agrees with the time server within the "
                       "measurement's uncertainty of ");
        AppendSeconds(&text, answer->uncertaintyMs, 1, 0);
        Appendf(&text, " seconds.");
    } else if (id == kEventCorrected) {
        Appendf(&text, "Clock corrected: the PC clock was ");
        AppendDrift(&text, answer);
        Appendf(&text, ".");
    } else if (id == kEventDriftLeft) {
        Appendf(&text, "Clock checked, not corrected: the PC clock is ");
        AppendDrift(&text, answer);
        Appendf(&text, ".");
    } else if (id == kEventStepTooLarge) {
        Appendf(&text, "The clock was not set: the PC clock is ");
        AppendDrift(&text, answer);
        Appendf(&text, ", more than MaxStep allows (%d seconds).", facts->maxStepSeconds);
    } else {
        Appendf(&text, "The clock could not be set: the PC clock is ");
        AppendDrift(&text, answer);
        Appendf(&text, ".\r\nError %lu: %s", facts->error, facts->errorText);
    }
    Appendf(&text, "\r\nTime server: %s (%s)", facts->hostText, facts->hostAddress);
    Appendf(&text, "\r\nProtocol: %s", facts->protocol);
    AppendUtc(&text, "Server time", answer->serverMs, answer->fine);
    AppendUtc(&text, "PC time", answer->pcMs, answer->fine);
    AppendDisagreed(&text, "\r\nDisagreed: ", facts->asked, facts->hostsAsked);
    return text.length;
}

int ExitCodeOf(EventId result) {
    switch (result) {
    case kEventCorrected:
    case kEventNoCorrection:
    case kEventInstalled:
    case kEventUninstalled:
        return kExitClockRight;
    case kEventNoAnswer:
        return kExitNoTime;
    case kEventDisagree:
        return kExitDisagree;
    case kEventDriftLeft:
    case kEventStepTooLarge:
        return kExitDriftLeft;
    case kEventNotSet:
        return kExitNotSet;
    default:
        return kExitFailed;
    }
}

size_t FormatInstallText(char* out, size_t size, EventId id, int uninstall,
                         const InstallFacts* facts) {
    if (size == 0)
        return 0;
    ReportText text = {out, size, 0, 1};
    out[0] = '\0';
    if (id == kEventInstallFailed) {
        Appendf(&text, "Horavel was not %s: %s", uninstall ? "uninstalled" : "installed",
                facts->failed);
        // An HRESULT reads in hex, as Windows writes them: 0x80070005.
        if (facts->error != 0)
            Appendf(&text,
                    facts->error >= 0x80000000u ? "\r\nError 0x%08lX: %s" : "\r\nError %lu: %s",
                    facts->error, facts->errorText);
        return text.length;
    }
    if (id == kEventUninstalled) {
        Appendf(&text,
                "Horavel is uninstalled: its task, its Apps entry, its event source and its "
                "files in %s are removed.",
                facts->folder);
        return text.length;
    }
    Appendf(&text,
            "Horavel is installed.\r\n\r\nFolder: %s (horavel.ini %s)\r\nTask: \\Horavel, as "
            "SYSTEM: a minute after start-up, on waking from sleep and when a network "
            "connects, and every %d minutes, each run up to 5 minutes late at random\r\nEvent "
            "source: Horavel, in the Application log",
            facts->folder, facts->iniCopied ? "copied there" : "kept", facts->runEveryMinutes);
    if (facts->windowsTimeSyncs)
        Appendf(&text, "\r\n\r\nThe Windows Time service sets this clock too: leave it to one. "
                       "To Horavel: w32tm /config /syncfromflags:NO /update. To the service: "
                       "horavel.exe /uninstall, then audit with /check.");
    return text.length;
}

size_t FormatRefusal(char* out, size_t size, const Switches* switches) {
    if (switches->clashesWith != NULL)
        return FormatText(out, size, "Horavel did nothing: \"%s\" cannot go with \"%s\".",
                          switches->refused, switches->clashesWith);
    return FormatText(out, size,
                      "Horavel did nothing: it knows no switch \"%s\".\r\n\r\nIts switches: "
                      "/hide, /check, /exitcode, /install, /uninstall.",
                      switches->refused);
}
