// How long after the user lets go of a desktop shortcut its prompt's keys
// reach the desktop, on KDE Plasma and GNOME's path: the desktop's
// Activated and Deactivated pass through the real xdg-desktop-portal to our
// shortcut tap, and every key we send passes back through it (one blocking
// call each) to a stand-in desktop that notes when it arrived. The user's
// default delays apply. Reports the median and the worst of 30 firings, for
// a paste and for a prompt typed by keysym.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QTest>

#include "engine/EventTapController.h"
#include "engine/Injector.h"
#include "platform/Clock.h"
#include "platform/fake/FakeAccessibility.h"
#include "platform/fake/FakePasteboard.h"
#include "platform/fake/VirtualClock.h"
#include "platform/portal/PortalKeyboard.h"
#include "platform/portal/PortalShortcutTap.h"
#include "platform/qt/QtMainQueue.h"
#include "tests/portal/FakeDesktop.h"
#include "tests/portal/PortalBus.h"

using namespace tamsel;
using namespace std::chrono_literals;
using Instant = std::chrono::steady_clock::time_point;

namespace {

constexpr int firings = 30;
constexpr int returnCode = 28; // evdev

double milliseconds(std::chrono::steady_clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

void report(const char* what, std::vector<double> samples) {
    if (samples.empty()) {
        std::printf("%-44s no sample\n", what);
        return;
    }
    std::sort(samples.begin(), samples.end());
    std::printf("%-44s median %7.1f ms   worst %7.1f ms   (%zu firings)\n", what,
                samples[samples.size() / 2], samples.back(), samples.size());
}

struct Firing {
    Instant firstKey{};
    Instant returnDown{};
};

// The first key the desktop heard after `from`, and its Return.
std::optional<Firing> keysAfter(const std::vector<testing::RecordedCall>& calls, std::size_t from) {
    Firing firing;
    bool first = true;
    for (std::size_t i = from; i < calls.size(); ++i) {
        const auto& call = calls[i];
        const bool keycode = call.member == QLatin1String("NotifyKeyboardKeycode");
        if (!keycode && call.member != QLatin1String("NotifyKeyboardKeysym")) {
            continue;
        }
        if (first) {
            firing.firstKey = call.at;
            first = false;
        }
        // (o session, a{sv} options, i value, u state) at the back end.
        if (keycode && call.arguments.value(2).toInt() == returnCode &&
            call.arguments.value(3).toUInt() == 1) {
            firing.returnDown = call.at;
            return firing;
        }
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    testing::PortalBus bus;
    if (bus.address().isEmpty()) {
        std::fprintf(stderr, "no private dbus-daemon\n");
        return 1;
    }
    testing::FakeDesktop desktop(bus.address());
    if (!bus.startPortal(QLatin1String(testing::FakeDesktop::busName),
                         QLatin1String(testing::FakeDesktop::interfaces))) {
        std::fprintf(stderr, "xdg-desktop-portal did not come up\n");
        return 1;
    }
    QDBusConnection client = bus.connect(QStringLiteral("tamsel-bench"));

    auto held = std::make_shared<PortalHeldShortcut>();
    auto keyboard = std::make_shared<PortalKeyboard>(client, held, bus.folder() / "token");
    keyboard->start();
    auto clipboard = std::make_shared<FakePasteboard>(
        "clipboard", std::make_shared<Timeline>(std::make_shared<VirtualClock>()));
    auto injector = std::make_shared<Injector>(
        keyboard, std::vector<std::shared_ptr<Pasteboard>>{clipboard},
        std::make_shared<SystemClock>(),
        Injector::Keystroke{9, Modifiers::controlFlag | Modifiers::shiftFlag});

    QObject context;
    PortalShortcutHooks hooks;
    hooks.describe = [](const Hotkey& hotkey) { return hotkey.stringValue(); };
    auto controller = std::make_shared<EventTapController>(
        std::make_shared<PortalShortcutTapService>(client, held, hooks),
        std::make_shared<FakeAccessibility>(true), std::make_shared<QtMainQueue>(&context));
    controller->setOnTrigger(
        [injector](const Rule& rule, TriggerKind kind, const Config& config,
                   const FrontWindow& target) { injector->perform(rule, kind, config, target); });
    Config config = Config::makeDefault(Language::en);
    config.targetBundleIDs.clear();
    controller->updateConfig(config);
    controller->start();

    const QString bind = QStringLiteral("BindShortcuts");
    if (!QTest::qWaitFor([&] { return keyboard->ready() && !desktop.calls(bind).empty(); },
                         10000)) {
        std::fprintf(stderr, "the portal session never came up: keyboard %s, shortcuts %s\n",
                     keyboard->ready() ? "ready" : "not ready",
                     desktop.calls(bind).empty() ? "not bound" : "bound");
        return 1;
    }
    QTest::qWait(200);
    const QString session =
        desktop.sessions(QStringLiteral("org.freedesktop.impl.portal.GlobalShortcuts")).front();
    const Rule& rule = config.rules.front();
    const QString id = PortalShortcutTap::shortcutID(*Hotkey::parse(rule.hotkey));

    // One firing: held for a moment as people do, then let go.
    auto fire = [&]() -> std::optional<std::pair<double, double>> {
        const std::size_t before = desktop.calls().size();
        desktop.activate(session, id);
        QTest::qWait(60);
        const Instant released = std::chrono::steady_clock::now();
        desktop.deactivate(session, id);
        std::optional<Firing> firing;
        const bool arrived = QTest::qWaitFor(
            [&] {
                firing = keysAfter(desktop.calls(), before);
                return firing.has_value();
            },
            10000);
        injector->waitUntilIdle();
        if (!arrived) {
            return std::nullopt;
        }
        return std::pair{milliseconds(firing->firstKey - released),
                         milliseconds(firing->returnDown - released)};
    };
    auto run = [&](const char* firstLabel, const char* returnLabel) {
        std::vector<double> first, toReturn;
        for (int i = 0; i < firings; ++i) {
            if (auto sample = fire()) {
                first.push_back(sample->first);
                toReturn.push_back(sample->second);
            }
        }
        report(firstLabel, first);
        report(returnLabel, toReturn);
    };

    std::printf("Through the real xdg-desktop-portal, default delays (%lld ms before, %lld ms "
                "after):\n",
                static_cast<long long>(config.preDelayMS),
                static_cast<long long>(config.postDelayMS));
    run("paste: release -> paste key", "paste: release -> Return");

    std::string text;
    while (text.size() < 200) {
        text += "Review the plan and list the risks. ";
    }
    text.resize(200);
    config.injectionMethod = InjectionMethod::type;
    config.rules.front().text = text;
    config.rules.front().separator = " ";
    // The same shortcuts stay bound in the same session.
    controller->updateConfig(config);
    run("typing 201 characters: release -> first key", "typing 201 characters: release -> Return");

    controller->stop();
    keyboard->close(true);
    return 0;
}
