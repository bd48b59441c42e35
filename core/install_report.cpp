#include "core/install_report.h"

#include "core/text_buffer.h"

const char* TaskModeText(int taskMode) {
    static const char* const kModes[] = {
        "The task corrects the clock.",
        "The task only checks the clock here: this PC is a domain controller (the policy "
        "CheckOnly = 0 lets it correct).",
        "The task only checks the clock here: Windows Time follows the domain hierarchy (the "
        "policy CheckOnly = 0 lets it correct).",
        "The task only checks the clock: the policy CheckOnly is 1.",
        "The task corrects the clock: the policy CheckOnly is 0.",
    };
    return kModes[taskMode >= kTaskCorrects && taskMode <= kTaskCorrectsByPolicy ? taskMode : 0];
}

const char* SchedulerErrorName(unsigned long error, char out[48]) {
    // From 0x80041309 on; "" where the code is a success code or none.
    static const char* const kNames[] = {
        "TRIGGER_NOT_FOUND",
        "TASK_NOT_READY",
        "TASK_NOT_RUNNING",
        "SERVICE_NOT_INSTALLED",
        "CANNOT_OPEN_TASK",
        "INVALID_TASK",
        "ACCOUNT_INFORMATION_NOT_SET",
        "ACCOUNT_NAME_NOT_FOUND",
        "ACCOUNT_DBASE_CORRUPT",
        "NO_SECURITY_SERVICES",
        "UNKNOWN_OBJECT_VERSION",
        "UNSUPPORTED_ACCOUNT_OPTION",
        "SERVICE_NOT_RUNNING",
        "UNEXPECTEDNODE",
        "NAMESPACE",
        "INVALIDVALUE",
        "MISSINGNODE",
        "MALFORMEDXML",
        "",
        "",
        "TOO_MANY_NODES",
        "PAST_END_BOUNDARY",
        "ALREADY_RUNNING",
        "USER_NOT_LOGGED_ON",
        "INVALID_TASK_HASH",
        "SERVICE_NOT_AVAILABLE",
        "SERVICE_TOO_BUSY",
        "TASK_ATTEMPTED",
        "",
        "TASK_DISABLED",
        "TASK_NOT_V1_COMPAT",
        "START_ON_DEMAND",
        "TASK_NOT_UBPM_COMPAT",
        "",
        "",
        "",
        "",
        "",
        "",
        "DEPRECATED_FEATURE_USED",
    };
    unsigned long index = error - 0x80041309u;
    if (error < 0x80041309u || index >= sizeof kNames / sizeof kNames[0] || !kNames[index][0])
        return NULL;
    FormatText(out, 48, "SCHED_E_%s", kNames[index]);
    return out;
}

// The failure's error on a line of its own, none when there is none. An
// HRESULT reads in hex, as Windows writes them: 0x80070005.
static void AppendError(ReportText* text, const InstallFacts* facts) {
    if (facts->error != 0)
        Appendf(text, facts->error >= 0x80000000u ? "\r\nError 0x%08lX: %s" : "\r\nError %lu: %s",
                facts->error, facts->errorText);
}

size_t FormatInstallText(char* out, size_t size, EventId id, int uninstall,
                         const InstallFacts* facts) {
    static const char* const kIni[] = {"copied there", "kept",
                                       "none: the servers come from Group Policy"};
    if (size == 0)
        return 0;
    ReportText text = {out, size, 0, 1};
    out[0] = '\0';
    if (id == kEventInstallFailed) {
        Appendf(&text, "Horavel was not %s: %s", uninstall ? "uninstalled" : "installed",
                facts->failed);
        AppendError(&text, facts);
        return text.length;
    }
    if (id == kEventUninstalled) {
        Appendf(&text, "Horavel is uninstalled from %s.", facts->folder);
        return text.length;
    }
    Appendf(&text,
            "Horavel is installed.\r\n\r\nFolder: %s (horavel.ini %s)\r\nTask: \\Horavel, as "
            "SYSTEM: every %d minutes, after start-up, waking and a network connecting\r\n%s",
            facts->folder, kIni[facts->ini], facts->runEveryMinutes, TaskModeText(facts->taskMode));
    if (facts->movedTo != NULL)
        Appendf(&text,
                "\r\n\r\nThe folder there before could be changed by others than administrators: "
                "it was moved to %s, and its horavel.ini was not used.",
                facts->movedTo);
    if (facts->correctors[0] != '\0') {
        Appendf(&text, "\r\n\r\n");
        Appendf(&text, kCorrectorsNote, facts->correctors);
    }
    return text.length;
}

size_t FormatTaskUpdate(char* out, size_t size, EventId id, int before, int now,
                        const InstallFacts* facts) {
    ReportText text = {out, size, 0, 1};
    if (size > 0)
        out[0] = '\0';
    if (id == kEventTaskUpdated)
        Appendf(&text, "The task \\Horavel now runs every %d minutes, not %d: RunEvery changed.",
                now, before);
    else
        Appendf(&text,
                "The task \\Horavel still runs every %d minutes, not the %d that RunEvery asks: "
                "it was not updated.",
                before, now);
    if (id != kEventTaskUpdated)
        AppendError(&text, facts);
    return text.length;
}

const char kCorrectorsNote[] = "%s: leave it to one (see horavel.txt).";

size_t FormatCorrectors(char* out, size_t size, int found) {
    static const char* const kNames[] = {"Windows Time", "Hyper-V time sync"};
    ReportText text = {out, size, 0, 0};
    if (size > 0)
        out[0] = '\0';
    for (int i = 0; i < 2; i++)
        if (found >> i & 1)
            Appendf(&text, "%s%s", text.length > 0 ? " and " : "", kNames[i]);
    if (found != 0)
        Appendf(&text, " also set%s this clock", found & (found - 1) ? "" : "s");
    return text.length;
}
