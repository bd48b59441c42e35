#include "core/config_path.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string ConfigPath(const std::string& exePath) {
    size_t length = ConfigPathFor(exePath.c_str(), nullptr, 0);
    std::string path(length + 1, '#');
    EXPECT_EQ(ConfigPathFor(exePath.c_str(), &path[0], path.size()), length);
    EXPECT_EQ(path[length], '\0');
    path.resize(length);
    return path;
}

TEST(ConfigPathFor, ReplacesTheExtensionOnly) {
    const struct {
        const char* exe;
        const char* ini;
    } cases[] = {
        {"D:\\TOOLS\\HORAVEL.EXE", "D:\\TOOLS\\HORAVEL.ini"},
        {"C:\\Program Files\\Horavel\\horavel.exe", "C:\\Program Files\\Horavel\\horavel.ini"},
        {"C:\\dir.d\\prog", "C:\\dir.d\\prog.ini"}, // a dot in the directory is not an extension
        {"C:\\a.b/c.d.exe", "C:\\a.b/c.d.ini"},     // only the last dot starts the extension
        {"C:/my.tools/horavel", "C:/my.tools/horavel.ini"}, // "/" ends a directory too
        {"Z:\\tmp\\x\\file.", "Z:\\tmp\\x\\file.ini"},      // an empty extension
        {"C:horavel.exe", "C:horavel.ini"},                 // drive without directory
        {"horavel.exe", "horavel.ini"},
        {"\\\\server\\share\\t.exe", "\\\\server\\share\\t.ini"},
        {"C:\\renamed\\clock-check.exe", "C:\\renamed\\clock-check.ini"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ConfigPath(c.exe), c.ini) << c.exe;
}

TEST(ConfigPathFor, KeepsLongNamesWhole) {
    std::string directory = "C:\\" + std::string(200, 'd') + "\\";
    std::string name(250, 'n');
    EXPECT_EQ(ConfigPath(directory + name + ".executable"), directory + name + ".ini");
    EXPECT_EQ(ConfigPath(directory + name), directory + name + ".ini");
    std::string deep = "\\\\?\\C:";
    while (deep.size() < 32000)
        deep += "\\" + std::string(200, 'x');
    EXPECT_EQ(ConfigPath(deep + "\\h.exe"), deep + "\\h.ini");
}

TEST(ConfigPathFor, CutsToTheBufferItIsGiven) {
    char small[8];
    memset(small, '#', sizeof small);
    EXPECT_EQ(ConfigPathFor("C:\\tools\\horavel.exe", small, sizeof small), 20u);
    EXPECT_STREQ(small, "C:\\tool");
    std::vector<char> exact(20); // as long as the path, with no room for its terminator
    EXPECT_EQ(ConfigPathFor("C:\\tools\\horavel.exe", exact.data(), exact.size()), 20u);
    EXPECT_STREQ(exact.data(), "C:\\tools\\horavel.in");
    char untouched = '#';
    EXPECT_EQ(ConfigPathFor("a.exe", &untouched, 0), 5u);
    EXPECT_EQ(untouched, '#');
}

} // namespace
