#include "engine/SecureInput.h"

#include <gtest/gtest.h>

#include "platform/fake/FakeSecureInput.h"

using namespace tamsel;

namespace {

constexpr const char* holderKey = "kCGSSessionSecureInputPID";

class SecureInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        applications.names[501] = "Terminal";
        applications.names[777] = std::nullopt; // an application without a name
        processes.names[640] = std::string("loginwindow\0\0\0", 14);
        processes.names[777] = "helperd";
    }

    void holdBy(SessionValue value) {
        session.enabled = true;
        session.dictionary =
            SessionDictionary{{"kCGSSessionOnConsoleKey", true}, {holderKey, std::move(value)}};
    }

    std::optional<SecureInputStatus> status() {
        return SecureInputProbe::currentStatus({session, applications, processes});
    }

    FakeSecureInputSession session;
    FakeRunningApplications applications;
    FakeProcessNames processes;
};

TEST_F(SecureInputTest, OffIsNoStatusWhateverTheSessionSays) {
    holdBy(std::int64_t{501});
    session.enabled = false;
    EXPECT_EQ(status(), std::nullopt);
    EXPECT_TRUE(applications.lookups.empty());
}

TEST_F(SecureInputTest, NamesTheApplicationOrElseTheProcess) {
    holdBy(std::int64_t{501});
    EXPECT_EQ(status(), SecureInputStatus{"Terminal"});
    EXPECT_TRUE(processes.lookups.empty());

    holdBy(std::int64_t{640}); // a background process: the kernel's name, cut at its zero
    EXPECT_EQ(status(), SecureInputStatus{"loginwindow"});

    holdBy(std::int64_t{777}); // an application without a name
    EXPECT_EQ(status(), SecureInputStatus{"helperd"});
}

TEST_F(SecureInputTest, ProcessNameCutInsideACharacterIsStillText) {
    // The kernel keeps a few bytes of the name, which may end mid-character.
    processes.names[650] = "caf\xC3";
    processes.names[651] = std::string("\xE6\x97\xA5\xFFx\0", 6);
    holdBy(std::int64_t{650});
    EXPECT_EQ(status(), SecureInputStatus{"caf\uFFFD"});
    holdBy(std::int64_t{651});
    EXPECT_EQ(status(), SecureInputStatus{"\u65E5\uFFFDx"});
}

TEST_F(SecureInputTest, OnWithoutAHolderIsAStatusWithoutAName) {
    const SecureInputStatus unnamed{std::nullopt};

    session.enabled = true;
    session.dictionary = std::nullopt;
    EXPECT_EQ(status(), unnamed);

    session.dictionary = SessionDictionary{{"kCGSSessionOnConsoleKey", true}};
    EXPECT_EQ(status(), unnamed);

    for (SessionValue wrong : {SessionValue{std::string("501")}, SessionValue{501.0},
                               SessionValue{true}, SessionValue{SessionValueOther{}}}) {
        holdBy(wrong);
        EXPECT_EQ(status(), unnamed);
    }

    holdBy(std::int64_t{999}); // gone by now
    EXPECT_EQ(status(), unnamed);
    processes.names[999] = std::string("\0\0\0", 3); // length reported, no text
    EXPECT_EQ(status(), unnamed);
    EXPECT_TRUE(applications.lookups.count(501) == 0);
}

TEST_F(SecureInputTest, IdentifierBeyondThirtyTwoBitsNamesNobody) {
    // Truncated, this would be 501 and name Terminal wrongly.
    holdBy(std::int64_t{(std::int64_t{1} << 32) + 501});
    EXPECT_EQ(status(), SecureInputStatus{std::nullopt});
    holdBy(std::int64_t{-(std::int64_t{1} << 32) + 501});
    EXPECT_EQ(status(), SecureInputStatus{std::nullopt});
    EXPECT_TRUE(applications.lookups.empty());
    EXPECT_TRUE(processes.lookups.empty());

    holdBy(std::int64_t{2147483647});
    EXPECT_EQ(status(), SecureInputStatus{std::nullopt});
    EXPECT_EQ(applications.lookups.count(2147483647), 1u);
}

TEST_F(SecureInputTest, StatusesCompareByHolderName) {
    EXPECT_EQ(SecureInputStatus{}, SecureInputStatus{std::nullopt});
    EXPECT_EQ(SecureInputStatus{"Terminal"}, SecureInputStatus{"Terminal"});
    EXPECT_NE(SecureInputStatus{"Terminal"}, SecureInputStatus{});
    EXPECT_NE(SecureInputStatus{"Terminal"}, SecureInputStatus{"iTerm2"});
}

} // namespace
