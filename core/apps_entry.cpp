#include "core/apps_entry.h"

#include "core/report.h"

static void Put(AppsText* text, const char* name, const char* format, const char* value) {
    text->name = name;
    FormatText(text->text, sizeof text->text, format, value);
}

void FormatAppsEntry(const char* folder, const char* exe, const char* version,
                     AppsText texts[kAppsTextCount]) {
    Put(&texts[0], "DisplayName", "%s", "Horavel");
    Put(&texts[1], "DisplayVersion", "%s", version);
    Put(&texts[2], "Publisher", "%s", "Horavel"); // as the version information's CompanyName
    Put(&texts[3], "InstallLocation", "%s", folder);
    Put(&texts[4], "DisplayIcon", "%s,0", exe);
    Put(&texts[5], "UninstallString", "\"%s\" /uninstall", exe);
    // What a management tool runs, as SYSTEM, with nobody to answer a box.
    Put(&texts[6], "QuietUninstallString", "\"%s\" /hide /uninstall", exe);
}
