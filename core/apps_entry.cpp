#include "core/apps_entry.h"

#include "core/text_buffer.h"

static void Put(AppsText* text, const char* name, const char* format, const char* value) {
    text->name = name;
    FormatText(text->text, sizeof text->text, format, value);
}

int FormatAppsEntry(const AppsFacts* facts, AppsText texts[kAppsMostTexts]) {
    Put(&texts[0], "DisplayName", "%s", "Horavel");
    Put(&texts[1], "DisplayVersion", "%s", facts->version);
    Put(&texts[2], "Publisher", "%s", facts->publisher);
    Put(&texts[3], "InstallLocation", "%s", facts->folder);
    Put(&texts[4], "DisplayIcon", "%s,0", facts->exe);
    Put(&texts[5], "UninstallString", "\"%s\" /uninstall", facts->exe);
    // What a management tool runs, as SYSTEM, with nobody to answer a box.
    Put(&texts[6], "QuietUninstallString", "\"%s\" /hide /uninstall", facts->exe);
    Put(&texts[7], "InstallDate", "%s", facts->installDate);
    if (facts->url[0] == '\0') // no invented address
        return 8;
    Put(&texts[8], "URLInfoAbout", "%s", facts->url);
    Put(&texts[9], "HelpLink", "%s", facts->url);
    return 10;
}
