#pragma once

// An application model wired to fakes: a virtual main queue, a scripted tap,
// an injector posting into a timeline, a settable permission and desktop.

#include <filesystem>
#include <memory>

#include "app/AppModel.h"
#include "platform/fake/FakeAccessibility.h"
#include "platform/fake/FakeEventTap.h"
#include "platform/fake/FakeKeyboard.h"
#include "platform/fake/FakeMainQueue.h"
#include "platform/fake/FakePasteboard.h"
#include "platform/fake/FakeWorkspace.h"

namespace tamsel::testing {

struct FakeAppServices {
    std::shared_ptr<AppModel> makeAppModel(const std::filesystem::path& configFile) {
        return AppModel::create({std::make_shared<ConfigStore>(configFile), tap, injector,
                                 mainQueue, accessibility, workspace,
                                 [this] { return secureInputStatus; }});
    }

    std::shared_ptr<VirtualClock> clock = std::make_shared<VirtualClock>();
    std::shared_ptr<FakeMainQueue> mainQueue = std::make_shared<FakeMainQueue>(clock);
    std::shared_ptr<FakeAccessibility> accessibility = std::make_shared<FakeAccessibility>(true);
    std::shared_ptr<FakeEventTapService> taps = std::make_shared<FakeEventTapService>();
    std::shared_ptr<EventTapController> tap =
        std::make_shared<EventTapController>(taps, accessibility, mainQueue);
    // The injector sleeps on a clock of its own, so that it never moves the main queue's.
    std::shared_ptr<VirtualClock> injectorClock = std::make_shared<VirtualClock>();
    std::shared_ptr<Timeline> timeline = std::make_shared<Timeline>(injectorClock);
    std::shared_ptr<FakeKeyboard> keyboard = std::make_shared<FakeKeyboard>(timeline);
    std::shared_ptr<FakePasteboard> pasteboard =
        std::make_shared<FakePasteboard>("general", timeline);
    std::shared_ptr<Injector> injector = std::make_shared<Injector>(
        keyboard, std::vector<std::shared_ptr<Pasteboard>>{pasteboard}, injectorClock);
    std::shared_ptr<FakeWorkspace> workspace = std::make_shared<FakeWorkspace>();
    std::optional<SecureInputStatus> secureInputStatus;
};

} // namespace tamsel::testing
