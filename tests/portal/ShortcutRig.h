#pragma once

// The real controller over the portal's shortcut tap, as the application
// runs it, with what it fires and reports kept for the test.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <QDBusConnection>

#include "engine/EventTapController.h"
#include "platform/fake/FakeAccessibility.h"
#include "platform/fake/FakeMainQueue.h"
#include "platform/portal/PortalShortcutTap.h"

namespace tamsel::testing {

struct Fired {
    std::string prompt;
    TriggerKind kind;
    bool operator==(const Fired&) const = default;
};

// The real controller over the portal tap, with what it reports kept.
class ShortcutRig {
public:
    explicit ShortcutRig(const QDBusConnection& bus) {
        auto mainQueue = std::make_shared<FakeMainQueue>(std::make_shared<VirtualClock>());
        PortalShortcutHooks hooks;
        hooks.describe = [](const Hotkey& hotkey) { return "Prompt for " + hotkey.stringValue(); };
        hooks.problem = [this](PortalProblem problem) {
            std::lock_guard lock(mutex);
            problems.push_back(problem);
        };
        hooks.assigned = [this](std::vector<PortalAssignedTrigger> triggers) {
            std::lock_guard lock(mutex);
            assigned = std::move(triggers);
        };
        held = std::make_shared<PortalHeldShortcut>();
        controller = std::make_shared<EventTapController>(
            std::make_shared<PortalShortcutTapService>(bus, held, hooks),
            std::make_shared<FakeAccessibility>(true), mainQueue);
        controller->setOnTrigger(
            [this](const Rule& rule, TriggerKind kind, const Config&, const FrontWindow&) {
                std::lock_guard lock(mutex);
                fired.push_back({rule.name, kind});
            });
        Config config = Config::makeDefault(Language::en);
        config.targetBundleIDs.clear();
        controller->updateConfig(config);
        this->config = config;
    }
    // The controller joins its tap thread as it goes, before the lists the
    // hooks write to: an answer already queued may still run until then.
    ~ShortcutRig() {
        controller->stop();
        controller.reset();
    }

    std::vector<Fired> firings() {
        std::lock_guard lock(mutex);
        return fired;
    }
    std::vector<PortalProblem> reported() {
        std::lock_guard lock(mutex);
        return problems;
    }
    std::vector<PortalAssignedTrigger> triggers() {
        std::lock_guard lock(mutex);
        return assigned;
    }

    std::shared_ptr<EventTapController> controller;
    std::shared_ptr<PortalHeldShortcut> held;
    Config config;
    std::mutex mutex;
    std::vector<Fired> fired;
    std::vector<PortalProblem> problems;
    std::vector<PortalAssignedTrigger> assigned;
};

} // namespace tamsel::testing
