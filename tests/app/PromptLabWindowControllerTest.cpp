#include "app/PromptLabWindowController.h"

#include <gtest/gtest.h>

#include "platform/fake/FakeLanguageModel.h"
#include "tests/support/FakeAppServices.h"
#include "tests/support/TemporaryFolder.h"

using namespace tamsel;

namespace {

class RecordingWindowSystem final : public PromptLabWindowSystem {
public:
    class RecordingWindow final : public Window {
    public:
        explicit RecordingWindow(RecordingWindowSystem& owner) : owner_(owner) {}
        void bringToFront() override { ++owner_.broughtToFront; }

    private:
        RecordingWindowSystem& owner_;
    };

    std::optional<WindowSize> mainScreenVisibleSize() override { return screen; }
    std::unique_ptr<Window> createWindow(const WindowSpec& spec, AppModel&,
                                         PromptLabModel& labModel,
                                         std::function<void()> onClose) override {
        specs.push_back(spec);
        models.push_back(&labModel);
        close = std::move(onClose);
        return std::make_unique<RecordingWindow>(*this);
    }
    void activateApplication() override { ++activations; }

    std::optional<WindowSize> screen = WindowSize{1440, 900};
    std::vector<WindowSpec> specs;
    std::vector<PromptLabModel*> models;
    std::function<void()> close;
    int broughtToFront = 0;
    int activations = 0;
};

} // namespace

TEST(PromptLabWindowControllerTest, ContentSizeLeavesRoomOnSmallScreens) {
    using C = PromptLabWindowController;
    EXPECT_EQ(C::contentSize(std::nullopt), (WindowSize{820, 560}));
    EXPECT_EQ(C::contentSize(WindowSize{1000, 500}), (WindowSize{820, 460}));
    EXPECT_EQ(C::contentSize(WindowSize{800, 2000}), (WindowSize{760, 560}));
}

TEST(PromptLabWindowControllerTest, OneWindowAtATimeOverTheSameModel) {
    tamsel::testing::TemporaryFolder home;
    tamsel::testing::FakeAppServices services;
    services.workspace->languages = {"ja-JP"};
    auto appModel = services.makeAppModel(home / "config.json");
    auto windows = std::make_shared<RecordingWindowSystem>();
    auto labModel = std::make_shared<PromptLabModel>(
        std::make_shared<OnDeviceDrafter>(std::make_shared<FakeLanguageModel>()),
        services.mainQueue,
        [](const std::vector<Rule>&, const std::function<bool()>&) { return PromptLabOutcome{}; });
    auto controller = std::make_shared<PromptLabWindowController>(windows, labModel);

    controller->show(*appModel);
    ASSERT_EQ(windows->specs.size(), 1u);
    EXPECT_EQ(windows->specs[0].title, "プロンプト候補");
    EXPECT_EQ(windows->specs[0].minimumContentSize, (WindowSize{640, 420}));
    EXPECT_EQ(windows->specs[0].contentSize, (WindowSize{820, 560}));
    EXPECT_EQ(windows->activations, 1);
    EXPECT_EQ(labModel->phase(), PromptLabModel::Phase::idle); // the view starts the scan

    controller->show(*appModel);
    EXPECT_EQ(windows->specs.size(), 1u);
    EXPECT_EQ(windows->broughtToFront, 1);
    EXPECT_EQ(windows->activations, 2);

    windows->close();
    EXPECT_FALSE(controller->hasWindow());
    windows->screen = WindowSize{1000, 500};
    controller->show(*appModel);
    ASSERT_EQ(windows->specs.size(), 2u);
    EXPECT_EQ(windows->specs[1].contentSize, (WindowSize{820, 460}));
    EXPECT_EQ(windows->models[0], windows->models[1]);
}
