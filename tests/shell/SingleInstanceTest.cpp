// One tamsel per user and display: the private folder, the lock that decides
// the first start, the socket only this user reaches, and real starts racing.

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <QCoreApplication>
#include <QSignalSpy>

#include "platform/qt/SingleInstance.h"
#include "tests/shell/PeerProbe.h"
#include "tests/shell/TamselUnderX.h"

using namespace tamsel;
using namespace tamsel::testing;
namespace fs = std::filesystem;

namespace {

constexpr uid_t nobody = 65534;

mode_t modeOf(const fs::path& path) {
    struct stat status {};
    ::lstat(path.c_str(), &status);
    return status.st_mode & 07777;
}

// Sets an environment variable for the scope; an empty value unsets it.
class EnvironmentScope {
public:
    EnvironmentScope(std::string name, const std::string& value) : name_(std::move(name)) {
        if (const char* old = std::getenv(name_.c_str())) {
            old_ = old;
        }
        value.empty() ? ::unsetenv(name_.c_str()) : ::setenv(name_.c_str(), value.c_str(), 1);
    }
    ~EnvironmentScope() {
        old_ ? ::setenv(name_.c_str(), old_->c_str(), 1) : ::unsetenv(name_.c_str());
    }

private:
    std::string name_;
    std::optional<std::string> old_;
};

// This test program again, as the unprivileged user, trying our socket.
int peerOfAnotherUser(const fs::path& socket) {
    ChildProcess peer({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                       fs::read_symlink("/proc/self/exe").string(), connectAsPeerOption,
                       socket.string()},
                      {}, "/dev/null");
    return peer.waitForExit(10s).value_or(-1);
}

bool runningAsRoot() {
    return ::geteuid() == 0;
}

} // namespace

TEST(SingleInstanceTest, OnlyAPrivateFolderOfOursIsUsed) {
    TemporaryFolder base;
    const fs::path made = base / "made";
    EXPECT_EQ(SingleInstance::ensurePrivate(made), "");
    EXPECT_EQ(modeOf(made), 0700u);

    const fs::path open = base / "open";
    fs::create_directory(open);
    fs::permissions(open, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
    EXPECT_NE(SingleInstance::ensurePrivate(open).find("chmod 700"), std::string::npos);

    const fs::path link = base / "link";
    fs::create_directory_symlink(made, link);
    EXPECT_NE(SingleInstance::ensurePrivate(link), "");
    EXPECT_NE(SingleInstance::ensurePrivate(base / "made" / "missing" / "deeper"), "");

    // The session's folder when it is private, ours below TMPDIR when it is not.
    EnvironmentScope tmp("TMPDIR", base.path().string());
    {
        EnvironmentScope runtime("XDG_RUNTIME_DIR", made.string());
        EXPECT_EQ(SingleInstance::privateFolder().path, made);
    }
    const fs::path ours = base / ("tamsel-" + std::to_string(::getuid()));
    for (const std::string& runtimeDir :
         {open.string(), std::string("relative/run"), std::string()}) {
        EnvironmentScope runtime("XDG_RUNTIME_DIR", runtimeDir);
        EXPECT_EQ(SingleInstance::privateFolder().path, ours) << runtimeDir;
        EXPECT_EQ(modeOf(ours), 0700u);
    }
}

TEST(SingleInstanceTest, TheLockDecidesTheFirstAndALaterStartHandsOver) {
    TemporaryFolder base;
    const fs::path folder = base / "run";
    ASSERT_EQ(SingleInstance::ensurePrivate(folder), "");
    std::string error;

    // A socket file a crashed instance left behind, which nobody listens on.
    {
        SingleInstance crashed(folder, ":5");
        FileDescriptor stale(::socket(AF_UNIX, SOCK_STREAM, 0));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, crashed.socketPath().c_str(), sizeof address.sun_path - 1);
        ASSERT_EQ(::bind(stale.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }

    auto first = std::make_unique<SingleInstance>(folder, ":5");
    ASSERT_EQ(first->claim(error), SingleInstance::Role::first) << error;
    QSignalSpy shown(first.get(), &SingleInstance::showRequested);
    EXPECT_EQ(modeOf(folder), 0700u);

    SingleInstance later(folder, ":5");
    EXPECT_EQ(later.claim(error), SingleInstance::Role::later);
    EXPECT_TRUE(later.notifyRunning());
    EXPECT_TRUE(shown.wait(5000));
    EXPECT_EQ(shown.count(), 1);

    // Another display is another instance.
    SingleInstance elsewhere(folder, ":6");
    EXPECT_EQ(elsewhere.claim(error), SingleInstance::Role::first) << error;

    // The first one gone, the lock is free and its socket with it.
    const fs::path socket = first->socketPath();
    first.reset();
    EXPECT_FALSE(fs::exists(socket));
    SingleInstance next(folder, ":5");
    EXPECT_EQ(next.claim(error), SingleInstance::Role::first) << error;
}

TEST(SingleInstanceTest, ASocketPathTooLongStillLeavesOneInstance) {
    TemporaryFolder base;
    // Local socket addresses hold 108 bytes; lock files have no such limit.
    const fs::path folder = base / std::string(120, 'r');
    ASSERT_EQ(SingleInstance::ensurePrivate(folder), "");
    SingleInstance first(folder, ":8");
    std::string error;
    EXPECT_EQ(first.claim(error), SingleInstance::Role::first);
    EXPECT_NE(error.find("Cannot listen"), std::string::npos) << error;
    SingleInstance later(folder, ":8");
    std::string laterError;
    EXPECT_EQ(later.claim(laterError), SingleInstance::Role::later);
    EXPECT_FALSE(later.notifyRunning(200));
}

TEST(SingleInstanceTest, AnotherUserCannotReachTheSocketNorBlockTheFolder) {
    if (!runningAsRoot()) {
        GTEST_SKIP() << "setpriv needs root to run a peer as another user";
    }
    TemporaryFolder base;
    const fs::path folder = base / "run";
    ASSERT_EQ(SingleInstance::ensurePrivate(folder), "");
    SingleInstance instance(folder, ":7");
    std::string error;
    ASSERT_EQ(instance.claim(error), SingleInstance::Role::first) << error;
    QSignalSpy shown(&instance, &SingleInstance::showRequested);

    EXPECT_EQ(peerOfAnotherUser(instance.socketPath()), peerUnreachable);

    // Should the folder be opened (by root, by mistake), the socket still
    // answers nobody but its own user. The peer runs while we serve.
    fs::permissions(folder, fs::perms::all);
    fs::permissions(instance.socketPath(), fs::perms::all);
    ChildProcess peer({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                       fs::read_symlink("/proc/self/exe").string(), connectAsPeerOption,
                       instance.socketPath().string()},
                      {}, "/dev/null");
    std::optional<int> outcome;
    waitUntil([&] {
        QCoreApplication::processEvents();
        outcome = peer.waitForExit(0ms);
        return outcome.has_value();
    });
    EXPECT_EQ(outcome, peerCutOff);
    QCoreApplication::processEvents();
    EXPECT_EQ(shown.count(), 0);

    // A folder another user made where ours would go is refused, not used.
    EnvironmentScope tmp("TMPDIR", base.path().string());
    EnvironmentScope runtime("XDG_RUNTIME_DIR", "");
    const fs::path squatted = base / ("tamsel-" + std::to_string(::getuid()));
    fs::create_directory(squatted);
    ASSERT_EQ(::chown(squatted.c_str(), nobody, nobody), 0);
    fs::permissions(squatted, fs::perms::owner_all);
    const SingleInstance::Folder refused = SingleInstance::privateFolder();
    EXPECT_FALSE(refused.path);
    EXPECT_NE(refused.error.find("another user"), std::string::npos) << refused.error;
}

TEST(SingleInstanceTest, TwoStartsTogetherLeaveExactlyOneRunning) {
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        TamselUnderX session;
        session.writeConfig(oneRuleConfig("paste", "Plan only."));
        auto a = session.start("a");
        auto b = session.start("b");
        std::optional<int> aExit, bExit;
        ASSERT_TRUE(waitUntil(
            [&] {
                aExit = a->waitForExit(0ms);
                bExit = b->waitForExit(0ms);
                return aExit || bExit;
            },
            20s));
        // The one that left handed over; the other keeps running and works.
        EXPECT_EQ(aExit ? *aExit : *bExit, 0) << readFile(session.log(aExit ? "a" : "b"));
        EXPECT_TRUE(session.waitForShortcuts());
        std::this_thread::sleep_for(500ms);
        EXPECT_FALSE(aExit ? b->waitForExit(0ms) : a->waitForExit(0ms))
            << readFile(session.log(aExit ? "b" : "a"));
    }
}
