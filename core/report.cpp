#include "core/report.h"

#include "core/command_line.h"
#include "core/install_report.h"
#include "core/text_buffer.h"

#include <string.h>

static const char kFromPolicy[] = "servers from Group Policy";

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

// Seconds of a threshold, as short as they write: "0.5", "5"; "" when none.
static const char* ThresholdText(int ms, char out[16]) {
    out[0] = '\0';
    if (ms < 0)
        return out;
    int length = (int)FormatText(out, 16, "%d.%03d", ms / 1000, ms % 1000);
    while (out[length - 1] == '0') // 0.500: 0.5
        out[--length] = '\0';
    if (out[length - 1] == '.') // 5.: 5
        out[--length] = '\0';
    return out;
}

// An offset, server minus PC, signed: "+3600", "-0.734", "+0.000".
static void AppendSignedSeconds(ReportText* text, int64_t offsetMs, int fine) {
    Appendf(text, offsetMs < 0 ? "-" : "+");
    AppendSeconds(text, offsetMs, fine, 0);
}

// An answer's offset, the server's clock minus the PC's: "+3600 s", "-0.120 s".
static void AppendOffset(ReportText* text, const TimeAnswer* answer) {
    AppendSignedSeconds(text, -answer->driftMs, answer->fine);
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
                    const TimeAnswer* answer, const AskedHost* asked, int askedCount, int asking,
                    int fromPolicy) {
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
    if (fromPolicy)
        Appendf(&text, "The %s\n", kFromPolicy);
    if (NeedsCorrection(answer)) {
        Appendf(&text, "\nYour PC's clock has  ");
        AppendSeconds(&text, answer->driftMs, answer->fine, 1);
        Appendf(&text, " seconds drift !\n%s", asking ? "Do you want to fix it ?\n" : "");
    } else {
        Appendf(&text, "\nYour PC's clock needs no correction...\n");
    }
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
        return "no address: a zone or a port?";
    case kNoTimeNoFamily:
        return "IPv6 is not available";
    case kNoTimeLinkLocal:
        return "link-local: name the server";
    default:
        return "unusable answer";
    }
}

// Each host asked: its offset, or why it gave no time. Names are cut short,
// so that the event has room for every host.
// Each host asked, each after `lead` (`first` before the first one): its
// name cut short, so that an event has room for every host, its address,
// `between`, and its offset or why it gave no time.
static void AppendHostList(ReportText* text, const EventFacts* facts, const char* first,
                           const char* lead, const char* between) {
    enum { kListedName = 64 };
    for (int i = 0; facts->asked != NULL && i < facts->hostsAsked; i++) {
        const AskedHost* host = &facts->asked[i];
        int cut = strlen(host->hostText) > kListedName;
        Appendf(text, "%s%.*s%s (%s)%s", i == 0 ? first : lead, (int)kListedName, host->hostText,
                cut ? kCutMark : "", host->address, between);
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

// The notes of the run, then each host asked on a line of its own.
static void AppendAskedHosts(ReportText* text, const EventFacts* facts) {
    if (facts->stoppedAtDeadline)
        Appendf(text, " It stopped at its deadline.");
    if (facts->fromPolicy)
        Appendf(text, " The %s.", kFromPolicy);
    AppendHostList(text, facts, "\r\n", "\r\n", ": ");
}

size_t FormatNoTimeBox(char* out, size_t size, EventId id, const EventFacts* facts) {
    if (size == 0)
        return 0;
    ReportText text = {out, size, 0, 1};
    out[0] = '\0';
    int answers = AnswerCount(facts->asked, facts->hostsAsked), wanted = facts->answersWanted;
    Appendf(&text, "%s%s",
            id == kEventDisagree ? "The time servers disagree..."
            : answers > 0        ? "Too few time servers answered..."
                                 : "No response from any server !",
            facts->hostsAsked > 0 ? "\r\n" : "");
    AppendAskedHosts(&text, facts);
    if (answers > 0)
        Appendf(&text, "\r\n\r\nThe clock is left alone: %d of %d answered, %d must agree.",
                answers, wanted, Majority(wanted));
    return text.length;
}

static size_t EventText(char* out, size_t size, EventId id, const EventFacts* facts) {
    if (size == 0)
        return 0;
    ReportText text = {out, size, 0, 1};
    out[0] = '\0';
    const TimeAnswer* answer = &facts->answer;
    if (id == kEventNoAnswer) {
        int answers = AnswerCount(facts->asked, facts->asked != NULL ? facts->hostsAsked : 0);
        if (answers > 0)
            Appendf(&text,
                    "The clock was not set: too few time servers answered (%d of %d, %d must "
                    "agree).",
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
        Appendf(&text, "No time server was asked: none is configured.");
        return text.length;
    }
    if (id == kEventNoNetwork) {
        Appendf(&text, "No time server was asked: the network could not be used.");
        Appendf(&text, "\r\nError %lu: %s", facts->error, facts->errorText);
        return text.length;
    }
    if (id == kEventNoCorrection) {
        Appendf(&text, "Clock checked: the PC clock agrees with the time server %s",
                answer->fine ? "within the uncertainty of " : "to the second.");
        if (answer->fine) {
            AppendSeconds(&text, answer->uncertaintyMs, 1, 0);
            Appendf(&text, " seconds.");
        }
    } else {
        Appendf(&text, "%s the PC clock %s ",
                id == kEventCorrected      ? "Clock corrected:"
                : id == kEventStepTooLarge ? "The clock was not set:"
                : id == kEventNotSet       ? "The clock could not be set:"
                                           : "Clock checked, not corrected:",
                id == kEventCorrected ? "was" : "is");
        AppendDrift(&text, answer);
        char threshold[16];
        int warning = id == kEventDriftWarning;
        if (facts->thresholdFromPolicy && (warning || id == kEventDriftCritical))
            Appendf(&text, ", beyond %s %d ms", warning ? "CheckWarn" : "CheckCrit",
                    facts->thresholdMs);
        else if (warning || id == kEventDriftCritical)
            Appendf(&text, ", beyond %s%s s",
                    warning ? "/warn:" : "/crit:", ThresholdText(facts->thresholdMs, threshold));
        if (id == kEventStepTooLarge)
            Appendf(&text, ", more than MaxStep allows (%d seconds)", facts->maxStepSeconds);
        Appendf(&text, ".");
        if (id == kEventNotSet)
            Appendf(&text, "\r\nError %lu: %s", facts->error, facts->errorText);
    }
    Appendf(&text, "\r\nTime server: %s (%s)", facts->hostText, facts->hostAddress);
    if (facts->fromPolicy)
        Appendf(&text, "; %s", kFromPolicy);
    Appendf(&text, "\r\nProtocol: %s", facts->protocol);
    AppendUtc(&text, "Server time", answer->serverMs, answer->fine);
    AppendUtc(&text, "PC time", answer->pcMs, answer->fine);
    AppendDisagreed(&text, "\r\nDisagreed: ", facts->asked, facts->hostsAsked);
    return text.length;
}

size_t FormatEventText(char* out, size_t size, EventId id, const EventFacts* facts) {
    // A run of the task that left the clock to the domain says why, and how
    // to change it, right after what happened: the list that may follow is long.
    char note[200];
    size_t noteLength =
        facts->taskMode == kTaskChecksAsController || facts->taskMode == kTaskChecksUnderHierarchy
            ? FormatText(note, sizeof note, "\r\n%s", TaskModeText(facts->taskMode))
            : 0;
    if (noteLength == 0 || size <= noteLength + 1)
        return EventText(out, size, id, facts);
    size_t length = EventText(out, size - noteLength, id, facts);
    const char* lineEnd = strstr(out, "\r\n");
    size_t at = lineEnd != NULL ? (size_t)(lineEnd - out) : length;
    memmove(out + at + noteLength, out + at, length - at + 1);
    memcpy(out + at, note, noteLength);
    return length + noteLength;
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
    case kEventDriftWarning:
    case kEventDriftCritical:
    case kEventStepTooLarge:
        return kExitDriftLeft;
    case kEventNotSet:
        return kExitNotSet;
    default:
        return kExitFailed;
    }
}

static void AppendRefusal(ReportText* text, const Switches* switches) {
    static const char* const kWhy[] = {
        "it knows no switch \"%s\"",
        "\"%s\" cannot go with \"%s\"",
        "\"%s\" goes with /check only",
        "\"%s\" is above /crit:",
    };
    Appendf(text, kWhy[switches->refusal - 1], switches->refused, switches->clashesWith);
}

size_t FormatRefusal(char* out, size_t size, const Switches* switches) {
    ReportText text = {out, size, 0, 1};
    if (size > 0)
        out[0] = '\0';
    Appendf(&text, "Horavel did nothing: ");
    AppendRefusal(&text, switches);
    Appendf(&text, ".");
    return text.length;
}

CheckStatus CheckStatusOf(int64_t offsetMs, int warnMs, int critMs) {
    uint64_t drift = Magnitude(offsetMs);
    return critMs >= 0 && drift > (uint64_t)critMs   ? kCheckCritical
           : warnMs >= 0 && drift > (uint64_t)warnMs ? kCheckWarning
                                                     : kCheckOk;
}

// A threshold as the guidelines' range around zero: "-0.5:0.5", "0:0" for
// none allowed; "" when not given.
static const char* RangeText(int ms, char out[40]) {
    char seconds[16];
    ThresholdText(ms, seconds);
    if (ms < 0)
        out[0] = '\0';
    else
        FormatText(out, 40, ms == 0 ? "0:0" : "-%s:%s", seconds, seconds);
    return out;
}

size_t FormatCheckLine(char* out, size_t size, EventId result, const EventFacts* facts,
                       const Switches* switches, const char* correctors, CheckStatus* status) {
    static const char* const kStatus[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};
    ReportText text = {out, size, 0, 0};
    if (size > 0)
        out[0] = '\0';
    int64_t offsetMs = -facts->answer.driftMs;
    int answers = AnswerCount(facts->asked, facts->asked != NULL ? facts->hostsAsked : 0);
    // UNKNOWN is for what is wrong with the check or its machine; a time
    // service that gave no usable time is CRITICAL, or monitoring goes dark.
    *status = switches->refusal != kRefusedNone || result == kEventNothingToAsk ||
                      result == kEventNoNetwork
                  ? kCheckUnknown
              : facts->protocol[0] == '\0'
                  ? kCheckCritical
                  : CheckStatusOf(offsetMs, switches->warnMs, switches->critMs);
    Appendf(&text, "HORAVEL %s - ", kStatus[*status]);
    if (switches->refusal != kRefusedNone) {
        AppendRefusal(&text, switches);
        return text.length;
    }
    if (*status == kCheckUnknown) {
        Appendf(&text, result == kEventNoNetwork ? "the network could not be used"
                                                 : "no time server is configured");
        return text.length;
    }
    if (facts->protocol[0] == '\0') {
        Appendf(&text,
                result == kEventDisagree ? "the servers disagree (%d of %d answered)"
                : answers > 0            ? "too few answered (%d of %d)"
                                         : "no time server answered",
                answers, facts->answersWanted);
        AppendHostList(&text, facts, ": ", ", ", " ");
        return text.length;
    }
    // The text keeps the sign; the performance data, a number, has none when positive.
    char offset[32], warn[40], crit[40];
    ReportText signedOffset = {offset, sizeof offset, 0, 0};
    AppendSignedSeconds(&signedOffset, offsetMs, 1);
    Appendf(&text, "drift %s s from %s (%s)", offset, facts->hostText, facts->hostAddress);
    if (facts->samples > 1)
        Appendf(&text, ", least delayed of %d samples: round trip %d ms", facts->samples,
                (int)facts->answer.roundTripMs);
    if (correctors[0] != '\0')
        Appendf(&text, "; %s", correctors);
    if (facts->fromPolicy)
        Appendf(&text, "; %s", kFromPolicy);
    Appendf(&text, " | drift=%ss;%s;%s", offset + (offset[0] == '+'),
            RangeText(switches->warnMs, warn), RangeText(switches->critMs, crit));
    return text.length;
}

size_t FormatTimeoutLine(char* out, size_t size, int seconds) {
    return FormatText(out, size, "HORAVEL CRITICAL - no time within /timeout:%d s", seconds);
}
