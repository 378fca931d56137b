// The Prompt Lab drafting through a model server on this computer: what the
// window says about the server and the settings field for its address.

#include <QComboBox>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include "platform/net/LocalModelServer.h"
#include "tests/net/FakeModelServer.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/CandidateDetailView.h"
#include "ui/PromptLabView.h"

using namespace tamsel;
using namespace tamsel::testing;

namespace {

PromptCandidate candidate(const char* id, const char* text) {
    PromptCandidate c;
    c.id = id;
    c.kind = CandidateKind::repeated;
    c.representative = text;
    c.examples = {text};
    c.occurrences = 3;
    return c;
}

class PromptLabDraftingTest : public ::testing::Test, protected FakeAppServices {
protected:
    void open(FakeModelServer& fake) {
        Config config;
        config.language = LanguagePreference::en;
        writeFile(file, ConfigCodec::encode(config));
        model = makeAppModel(file);
        LocalModelServer::Settings settings;
        settings.stateFile = home / "drafting.json";
        settings.defaultPorts = {{fake.port(), fake.chatPath() == "/api/chat"
                                                   ? ModelServerFlavour::ollama
                                                   : ModelServerFlavour::openAICompatible}};
        settings.report = [](const std::string&) {};
        server = std::make_shared<LocalModelServer>(std::move(settings));
        lab = std::make_shared<PromptLabModel>(
            std::make_shared<OnDeviceDrafter>(server), mainQueue,
            [](const std::vector<Rule>&, const std::function<bool()>&) {
                PromptLabOutcome outcome;
                outcome.candidates = {candidate("c1", "Run the tests first.")};
                return outcome;
            });
        view = std::make_unique<PromptLabView>(model, lab);
        view->setAttribute(Qt::WA_DontShowOnScreen);
        view->show();
        server->start();
    }

    ~PromptLabDraftingTest() override {
        view.reset();
        lab.reset();
        if (model) {
            model->tap()->stop();
        }
    }

    bool pumpUntil(const std::function<bool()>& done) {
        QDeadlineTimer deadline(8000);
        while (!done()) {
            if (deadline.hasExpired()) {
                return false;
            }
            QApplication::processEvents(QEventLoop::AllEvents, 10);
            mainQueue->runPending();
            view->refreshNow();
        }
        return true;
    }

    QString statusLine() const { return view->findChild<QLabel*>("modelStatus")->text(); }

    TemporaryFolder home;
    std::filesystem::path file = home / "config.json";
    std::shared_ptr<AppModel> model;
    std::shared_ptr<LocalModelServer> server;
    std::shared_ptr<PromptLabModel> lab;
    std::unique_ptr<PromptLabView> view;
};

} // namespace

TEST_F(PromptLabDraftingTest, ADraftArrivesAndTheStatusNamesTheModel) {
    FakeModelServer fake(FakeModelServer::Flavour::ollama, {"mini"});
    fake.script(fake.chatPath(),
                {{200, fake.chatAnswer(R"({"name":"Tests first","text":"Run the tests first."})"),
                  0, false, {}}});
    open(fake);
    ASSERT_TRUE(pumpUntil([&] { return lab->textIsDrafted(); }));
    EXPECT_EQ(statusLine(), "Drafting with mini on this computer");
    EXPECT_FALSE(view->checkServerAgainButton()->isVisibleTo(view.get()));
    EXPECT_EQ(view->detail()->findChild<QPlainTextEdit*>("labText")->toPlainText(),
              "Run the tests first.");
    EXPECT_EQ(lab->editedName(), "Tests first");
}

TEST_F(PromptLabDraftingTest, SeveralModelsArePickedInTheWindow) {
    FakeModelServer studio(FakeModelServer::Flavour::lmStudio, {"a-model", "b-model"});
    studio.script(studio.chatPath(),
                  {{200, studio.chatAnswer(R"({"name":"Tests","text":"Run the tests."})"), 0,
                    false, {}}});
    open(studio);
    ASSERT_TRUE(pumpUntil([&] { return view->modelChoice()->isVisibleTo(view.get()); }));
    EXPECT_EQ(statusLine(), "Choose the model to draft with");
    EXPECT_EQ(view->modelChoice()->count(), 2);
    EXPECT_TRUE(studio.requestsTo(studio.chatPath()).empty()); // nothing drafts before a choice

    emit view->modelChoice()->activated(1);
    ASSERT_TRUE(pumpUntil([&] { return lab->textIsDrafted(); }));
    EXPECT_EQ(statusLine(), "Drafting with b-model on this computer");
    EXPECT_EQ(view->modelChoice()->currentText(), "b-model");
}

TEST_F(PromptLabDraftingTest, NoServerOffersCheckAgainAndKeepsTheSourceWording) {
    FakeModelServer gone(FakeModelServer::Flavour::llamaServer);
    gone.script("/v1/models", {{404, "not here", 0, false, {}}});
    open(gone);
    ASSERT_TRUE(pumpUntil([&] { return view->checkServerAgainButton()->isVisibleTo(view.get()); }));
    EXPECT_EQ(statusLine(), "No model server found on this computer");
    ASSERT_TRUE(pumpUntil([&] { return lab->phase() == PromptLabModel::Phase::ready; }));
    EXPECT_FALSE(lab->isDrafting());
    EXPECT_EQ(lab->editedText(), "Run the tests first.");

    gone.script("/v1/models", {{200, R"({"data":[{"id":"late-model"}]})", 0, false, {}}});
    gone.script(gone.chatPath(),
                {{200, gone.chatAnswer(R"({"name":"Tests","text":"Run the tests now."})"), 0, false,
                  {}}});
    view->checkServerAgainButton()->click();
    // The model that turned up drafts the open suggestion at once.
    ASSERT_TRUE(pumpUntil([&] { return lab->textIsDrafted(); }));
    EXPECT_EQ(lab->editedText(), "Run the tests now.");
}

TEST(SettingsModelServer, TheAddressIsSavedOnlyWhenSetAndRemovedWhenCleared) {
    struct Open : PopoverFixture {
        using PopoverFixture::fileBytes;
        using PopoverFixture::find;
        using PopoverFixture::model;
        using PopoverFixture::pump;
        using PopoverFixture::start;
    } popover;
    popover.start({makeRule("A", "Plan", "cmd+1")});
    const std::string before = popover.fileBytes();
    popover.model->setShowsSettings(true);
    popover.pump();
    auto* field = popover.find<QLineEdit>("modelServer");
    ASSERT_NE(field, nullptr);
    EXPECT_TRUE(field->text().isEmpty());

    field->setText("http://127.0.0.1:11434");
    emit field->editingFinished();
    EXPECT_EQ(popover.model->config().modelServerURL, "http://127.0.0.1:11434");
    popover.model->flushPendingSave();
    EXPECT_NE(popover.fileBytes().find("  \"language\" : \"en\",\n"
                                       "  \"modelServerURL\" : \"http://127.0.0.1:11434\",\n"
                                       "  \"postDelayMS\""),
              std::string::npos)
        << popover.fileBytes();
    field->setText("  ");
    emit field->editingFinished();
    EXPECT_EQ(popover.model->config().modelServerURL, std::nullopt);
    popover.model->flushPendingSave();
    EXPECT_EQ(popover.fileBytes(), before);
}
