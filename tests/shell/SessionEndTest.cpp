// The X server going away under a running tamsel, as at logout: every time a
// clean exit with status 0, and an edit made just before is on disk.

#include <regex>

#include "tests/shell/TamselUnderX.h"

using namespace tamsel;
using namespace tamsel::testing;

namespace {

constexpr int rounds = 20;
constexpr unsigned superKey = 133; // Super_L

enum class Moment { idle, afterEdit, duringInjection };

const char* name(Moment moment) {
    switch (moment) {
    case Moment::idle:
        return "idle";
    case Moment::afterEdit:
        return "just after an edit";
    case Moment::duringInjection:
        return "during an injection";
    }
    return "";
}

// The master switch as the configuration file has it, written or not.
std::optional<bool> savedMasterSwitch(const std::filesystem::path& file) {
    static const std::regex topLevel("\n  \"enabled\" : (true|false),");
    std::smatch match;
    const std::string text = readFile(file);
    if (!std::regex_search(text, match, topLevel)) {
        return std::nullopt;
    }
    return match[1] == "true";
}

// Turns the master switch off in the popover, as a user would: a second start
// opens it by the pointer, a click on the switch at its top right. The save
// that follows waits 0.4 s; the server dies well inside that.
void editInPopover(TamselUnderX& session, pid_t tamsel) {
    auto second = session.start("second");
    ASSERT_EQ(second->waitForExit(20s), 0) << readFile(session.log("second"));
    std::optional<XWindowAttributes> popover;
    std::optional<std::pair<int, int>> switchAt;
    ASSERT_TRUE(waitUntil([&] {
        popover = session.windowOf(tamsel);
        return popover && (switchAt = session.findSwitch(*popover)).has_value();
    })) << "the popover did not open, or shows no switch";
    // Where it rests once the popover has its final size.
    std::this_thread::sleep_for(300ms);
    popover = session.windowOf(tamsel);
    ASSERT_TRUE(popover && (switchAt = session.findSwitch(*popover)));
    session.click(switchAt->first, switchAt->second);
    // Drawn off: the model has the change, its save is 0.4 s away.
    ASSERT_TRUE(waitUntil([&] { return !session.findSwitch(*popover); }, 300ms))
        << "the switch did not turn off in time";
}

void startTypingIntoTerminal(TamselUnderX& session, std::optional<ChildProcess>& openbox,
                             std::optional<ChildProcess>& terminal) {
    openbox.emplace(std::vector<std::string>{"openbox"}, session.environment(), "/dev/null");
    const Atom check = internAtom(session.d(), "_NET_SUPPORTING_WM_CHECK");
    ASSERT_TRUE(waitUntil(
        [&] {
            Atom type = None;
            int format = 0;
            unsigned long count = 0, remaining = 0;
            unsigned char* data = nullptr;
            XGetWindowProperty(session.d(), DefaultRootWindow(session.d()), check, 0, 1, False,
                               AnyPropertyType, &type, &format, &count, &remaining, &data);
            XFree(data);
            return count == 1;
        },
        20s))
        << "openbox did not start";
    const Atom active = internAtom(session.d(), "_NET_ACTIVE_WINDOW");
    terminal.emplace(std::vector<std::string>{"xterm", "-e", "sh", "-c", "exec cat > /dev/null"},
                     session.environment(), "/dev/null");
    // openbox activates the terminal once it maps it.
    ASSERT_TRUE(waitUntil(
        [&] {
            Atom type = None;
            int format = 0;
            unsigned long count = 0, remaining = 0;
            unsigned char* data = nullptr;
            bool set = false;
            if (XGetWindowProperty(session.d(), DefaultRootWindow(session.d()), active, 0, 1, False,
                                   AnyPropertyType, &type, &format, &count, &remaining,
                                   &data) == Success &&
                data != nullptr) {
                set = count == 1 && *reinterpret_cast<unsigned long*>(data) != 0;
                XFree(data);
            }
            return set;
        },
        20s));
    session.pressKey(returnKey, superKey);
    // Long enough for the typing to have begun (0.04 s before the first key).
    std::this_thread::sleep_for(150ms);
}

} // namespace

TEST(SessionEndTest, ServerKilledTwentyTimesEndsCleanlyWithTheEditSaved) {
    for (int round = 0; round < rounds; ++round) {
        const Moment moment = static_cast<Moment>(round % 3);
        SCOPED_TRACE(std::string("round ") + std::to_string(round) + ", " + name(moment));
        TamselUnderX session;
        // Typed, so that the injection lasts: 3000 characters one by one.
        session.writeConfig(oneRuleConfig(moment == Moment::duringInjection ? "type" : "paste",
                                          std::string(3000, 'x')));
        std::optional<ChildProcess> openbox, terminal;
        auto tamsel = session.start();
        ASSERT_TRUE(session.waitForShortcuts()) << readFile(session.log());

        if (moment == Moment::afterEdit) {
            ASSERT_NO_FATAL_FAILURE(editInPopover(session, tamsel->pid()));
        } else if (moment == Moment::duringInjection) {
            ASSERT_NO_FATAL_FAILURE(startTypingIntoTerminal(session, openbox, terminal));
        }
        // Both ways a server ends: killed outright, or asked to stop.
        session.killServer(round % 2 == 0 ? SIGKILL : SIGTERM);

        EXPECT_EQ(tamsel->waitForExit(15s), 0) << readFile(session.log());
        if (moment == Moment::afterEdit) {
            EXPECT_EQ(savedMasterSwitch(session.configFile()), false)
                << readFile(session.configFile());
        }
        // The socket is given back; the lock is free for the next start.
        EXPECT_FALSE(std::filesystem::exists(
            session.runtime() / ("tamsel-_" + session.server().display().substr(1) + ".socket")));
    }
}

TEST(SessionEndTest, HangUpWritesThePendingEditAndEndsWithZero) {
    TamselUnderX session;
    session.writeConfig(oneRuleConfig("paste", "Plan only."));
    auto tamsel = session.start();
    ASSERT_TRUE(session.waitForShortcuts()) << readFile(session.log());
    ASSERT_NO_FATAL_FAILURE(editInPopover(session, tamsel->pid()));
    tamsel->signal(SIGHUP);
    EXPECT_EQ(tamsel->waitForExit(15s), 0) << readFile(session.log());
    EXPECT_EQ(savedMasterSwitch(session.configFile()), false) << readFile(session.configFile());
    // Its grabs went with it, the server still running.
    EXPECT_TRUE(waitUntil([&] { return !session.grabbedElsewhere(oneKey, superMask); }));
}
