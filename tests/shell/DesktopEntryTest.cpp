// The menu entry the package installs and the autostart entry that "Launch
// at login" writes describe the same program the same way, and both pass the
// desktop's own validator.

#include <map>
#include <sstream>

#include "platform/qt/DesktopServices.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/XServer.h"

#include <gtest/gtest.h>

using namespace tamsel;
using namespace tamsel::testing;
using namespace std::chrono_literals;

namespace {

std::map<std::string, std::string> keys(const std::string& entry) {
    std::map<std::string, std::string> result;
    std::istringstream lines(entry);
    for (std::string line; std::getline(lines, line);) {
        if (const auto equals = line.find('='); equals != std::string::npos) {
            result[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    return result;
}

std::optional<int> validate(const std::filesystem::path& file) {
    ChildProcess validator({"desktop-file-validate", file.string()}, {}, "/dev/null");
    return validator.waitForExit(10s);
}

} // namespace

TEST(DesktopEntryTest, AutostartEntryMatchesTheMenuEntryAndValidates) {
    const std::string menuEntry = readFile(TAMSEL_SOURCE_DIR "/data/io.tamsel.Tamsel.desktop");
    ASSERT_FALSE(menuEntry.empty());
    auto menu = keys(menuEntry);
    auto autostart = keys(Autostart::entry("/usr/bin/tamsel"));
    for (const char* key : {"Type", "Name", "Comment", "Icon", "Terminal"}) {
        EXPECT_EQ(autostart[key], menu[key]) << key;
    }
    EXPECT_EQ(menu["Exec"], "tamsel");
    EXPECT_EQ(autostart["Exec"], "\"/usr/bin/tamsel\"");

    TemporaryFolder folder;
    writeFile(folder / "tamsel.desktop", Autostart::entry("/opt/my apps/tamsel"));
    EXPECT_EQ(validate(folder / "tamsel.desktop"), 0);
    EXPECT_EQ(validate(TAMSEL_SOURCE_DIR "/data/io.tamsel.Tamsel.desktop"), 0);
}
