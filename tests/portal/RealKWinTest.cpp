// KWinActiveWindow against a real KWin: its scripting interface, its way of
// running our script and the calls the script makes back. Needs the
// kwin-wayland package; without it these tests fail when the build requires
// them (TAMSEL_REQUIRE_KWIN) and are skipped otherwise.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QTest>

#include "platform/portal/KWinActiveWindow.h"
#include "tests/support/KWinSession.h"

namespace tamsel {
namespace {

using Reports = std::vector<std::optional<std::string>>;

std::string describe(const Reports& reports) {
    std::string text;
    for (const auto& report : reports) {
        text += (report ? "\"" + *report + "\"" : std::string("(none)")) + " ";
    }
    return text;
}

class RealKWin : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(testing::KWinSession::installedBinary)) {
#ifdef TAMSEL_REQUIRE_KWIN
            FAIL() << testing::KWinSession::installedBinary << " is missing: install the "
                   << testing::KWinSession::package << " package";
#else
            GTEST_SKIP() << "no " << testing::KWinSession::installedBinary << " (package "
                         << testing::KWinSession::package << ")";
#endif
        }
        ASSERT_FALSE(bus_.address().isEmpty());
        kwin_ = std::make_unique<testing::KWinSession>(bus_);
        control_ = bus_.connect(QStringLiteral("tamsel-kwin-control"));
    }
    void TearDown() override {
        windows_.clear();
        kwin_.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("tamsel-kwin-control"));
    }

    void openWindow(const std::string& appID) {
        windows_.push_back(std::make_unique<testing::ChildProcess>(
            std::vector<std::string>{TAMSEL_APP_WINDOW, appID}, kwin_->environment(),
            (kwin_->folder() / (appID + ".log")).string()));
    }
    bool activate(const std::string& appID) {
        return kwin_->activate(control_, appID);
    }
    std::optional<bool> ourScriptLoaded() {
        return testing::KWinSession::scriptLoaded(control_,
                                                  QLatin1String(KWinActiveWindow::pluginName));
    }
    std::string kwinLog() const {
        return testing::readFile(kwin_->log());
    }

    // Waits until a report has come since `before` reports and the last one
    // is `expected`. KWin 5 reports "none" on its way from one window to the
    // next, so only where each step settles is certain.
    static bool settlesOn(const Reports& heard, std::size_t before,
                          const std::optional<std::string>& expected) {
        return QTest::qWaitFor([&] { return heard.size() > before && heard.back() == expected; },
                               10000);
    }
    // The reports that named a window, in order.
    static Reports named(const Reports& heard) {
        Reports names;
        for (const auto& report : heard) {
            if (report) {
                names.push_back(report);
            }
        }
        return names;
    }

    testing::SessionBus bus_;
    std::unique_ptr<testing::KWinSession> kwin_;
    QDBusConnection control_{QString()};
    std::vector<std::unique_ptr<testing::ChildProcess>> windows_;
};

TEST_F(RealKWin, ReportsTheWindowInFrontAtLoadAndOnEveryActivationUntilUnloaded) {
    QDBusConnection client = bus_.connect(QStringLiteral("tamsel-kwin-client"));
    {
        KWinActiveWindow window(client);
        Reports heard;
        window.onChange = [&](const std::optional<std::string>& application) {
            heard.push_back(application);
        };
        ASSERT_EQ(window.load(kwin_->folder().string()), std::nullopt);
        EXPECT_EQ(ourScriptLoaded(), true);
        // Nothing is in front yet: the first report comes at once, and says so.
        ASSERT_TRUE(settlesOn(heard, 0, std::nullopt)) << describe(heard) << kwinLog();

        // Each step counts from the reports before it: they may come while it runs.
        auto step = [&](const std::function<bool()>& action, const std::string& expected) {
            const std::size_t before = heard.size();
            return action() && settlesOn(heard, before, expected);
        };
        // A new window takes the focus; its app id arrives as given, case and all.
        auto open = [&](const std::string& appID) {
            return [this, appID] { return openWindow(appID), true; };
        };
        auto click = [&](const std::string& appID) {
            return [this, appID] { return activate(appID); };
        };
        ASSERT_TRUE(step(open("org.tamsel.First"), "org.tamsel.First"))
            << describe(heard) << kwinLog();
        ASSERT_TRUE(step(open("second"), "second")) << describe(heard) << kwinLog();
        EXPECT_EQ(window.application(), "second");
        ASSERT_TRUE(step(click("org.tamsel.First"), "org.tamsel.First"))
            << describe(heard) << kwinLog();
        ASSERT_TRUE(step(click("second"), "second")) << describe(heard) << kwinLog();
        EXPECT_EQ(named(heard),
                  (Reports{"org.tamsel.First", "second", "org.tamsel.First", "second"}))
            << describe(heard);
        EXPECT_EQ(window.application(), "second");

        window.unload();
        EXPECT_EQ(ourScriptLoaded(), false);
        EXPECT_FALSE(std::filesystem::exists(kwin_->folder() / "tamsel-active-window.js"));
        const std::size_t before = heard.size();
        ASSERT_TRUE(activate("org.tamsel.First")) << kwinLog();
        QTest::qWait(500);
        EXPECT_EQ(heard.size(), before)
            << "KWin still calls back after the script was unloaded: " << describe(heard);
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("tamsel-kwin-client"));
}

TEST_F(RealKWin, ReplacesTheCopyARunThatCrashedLeftBehind) {
    openWindow("org.tamsel.Editor");
    // What a run that crashed leaves: our script, calling a bus name that is gone.
    ASSERT_TRUE(
        kwin_->startScript(control_, QLatin1String(KWinActiveWindow::pluginName),
                           KWinActiveWindow::scriptText(QStringLiteral(":1.9999")).toStdString()));
    ASSERT_EQ(ourScriptLoaded(), true);

    QDBusConnection client = bus_.connect(QStringLiteral("tamsel-kwin-next"));
    {
        KWinActiveWindow window(client);
        Reports heard;
        window.onChange = [&](const std::optional<std::string>& application) {
            heard.push_back(application);
        };
        // KWin refuses a second script of the same name: this works only
        // because the stale one is unloaded first.
        ASSERT_EQ(window.load(kwin_->folder().string()), std::nullopt);
        // The window in front when the script starts is the first report.
        ASSERT_TRUE(settlesOn(heard, 0, "org.tamsel.Editor")) << describe(heard) << kwinLog();
        const std::size_t before = heard.size();
        openWindow("org.tamsel.Viewer");
        ASSERT_TRUE(settlesOn(heard, before, "org.tamsel.Viewer")) << describe(heard) << kwinLog();
    }
    // Gone with the object that loaded it.
    EXPECT_EQ(ourScriptLoaded(), false);
    QDBusConnection::disconnectFromBus(QStringLiteral("tamsel-kwin-next"));
}

} // namespace
} // namespace tamsel
