#include "ui/PromptLabWindows.h"

#include <QTest>

#include <gtest/gtest.h>

#include "platform/fake/FakeLanguageModel.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/PromptLabView.h"

using namespace tamsel;
using namespace tamsel::testing;

namespace {

QList<QWidget*> labWindows() {
    QList<QWidget*> windows;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->findChild<PromptLabView*>() != nullptr) {
            windows << widget;
        }
    }
    return windows;
}

TEST(PromptLabWindowsTest, OneWindowAtATimeOverTheSameModel) {
    FakeAppServices services;
    TemporaryFolder home;
    auto model = services.makeAppModel(home / "config.json");
    auto language = std::make_shared<FakeLanguageModel>();
    language->currentAvailability = DrafterAvailability::unsupportedOS;
    int scans = 0;
    auto lab = std::make_shared<PromptLabModel>(
        std::make_shared<OnDeviceDrafter>(language), services.mainQueue,
        [&scans](const std::vector<Rule>&, const std::function<bool()>&) {
            ++scans;
            return PromptLabOutcome{};
        });
    auto windows = std::make_shared<QtPromptLabWindowSystem>();
    auto controller = std::make_shared<PromptLabWindowController>(windows, lab);

    controller->show(*model);
    ASSERT_EQ(labWindows().size(), 1);
    QWidget* window = labWindows().front();
    EXPECT_EQ(window->windowTitle(), qtText(StringKey::labTitle, model->language()));
    EXPECT_EQ(window->minimumSize(), QSize(640, 420));
    const WindowSize expected =
        PromptLabWindowController::contentSize(windows->mainScreenVisibleSize());
    EXPECT_EQ(window->size(), QSize(int(expected.width), int(expected.height)));

    // The view starts the first scan once it is shown.
    QApplication::processEvents();
    ASSERT_TRUE(services.mainQueue->waitForPending(1, std::chrono::seconds(10)));
    services.mainQueue->runPending();
    EXPECT_EQ(lab->phase(), PromptLabModel::Phase::ready);

    controller->show(*model);
    EXPECT_EQ(labWindows().size(), 1);
    EXPECT_EQ(labWindows().front(), window);

    window->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(controller->hasWindow());
    EXPECT_TRUE(labWindows().isEmpty());

    // Reopened with the earlier results: no second scan.
    controller->show(*model);
    QApplication::processEvents();
    EXPECT_EQ(labWindows().size(), 1);
    EXPECT_EQ(scans, 1);
    labWindows().front()->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    model->tap()->stop();
}

} // namespace
