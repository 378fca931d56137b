#include "platform/net/LocalModelServer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "app/OnDeviceDrafter.h"
#include "app/PromptLabModel.h"
#include "platform/net/ModelServerProtocol.h"
#include "platform/qt/QtMainQueue.h"
#include "tests/net/FakeModelServer.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/XServer.h"

using namespace tamsel;
using tamsel::testing::FakeModelServer;
using tamsel::testing::FakeReply;
using State = ModelServerStatus::State;

namespace {

// Runs the event loop until `done` holds; false when the deadline passes.
template <typename Predicate> bool waitFor(Predicate done, int milliseconds = 5000) {
    QDeadlineTimer deadline(milliseconds);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

PromptCandidate candidate(std::string id, std::vector<std::string> examples) {
    PromptCandidate c;
    c.id = std::move(id);
    c.kind = CandidateKind::repeated;
    c.examples = std::move(examples);
    c.representative = c.examples.empty() ? "rep" : c.examples.front();
    c.occurrences = 3;
    return c;
}

QJsonObject json(const QByteArray& body) { return QJsonDocument::fromJson(body).object(); }

class LocalModelServerTest : public ::testing::Test {
protected:
    // A client that looks only at the fake servers' ports.
    std::shared_ptr<LocalModelServer> client(std::vector<const FakeModelServer*> servers,
                                             std::optional<std::string> configured = {}) {
        LocalModelServer::Settings settings;
        settings.configuredURL = std::move(configured);
        settings.stateFile = folder.path() / "state/drafting.json";
        settings.defaultPorts.clear();
        for (const FakeModelServer* server : servers) {
            settings.defaultPorts.push_back({server->port(), server->chatPath() == "/api/chat"
                                                                 ? ModelServerFlavour::ollama
                                                                 : ModelServerFlavour::openAICompatible});
        }
        settings.probeTimeoutMS = 1000;
        settings.draftTimeoutMS = 1500;
        settings.report = [this](const std::string& line) { reported.push_back(line); };
        auto server = std::make_shared<LocalModelServer>(std::move(settings));
        return server;
    }
    static void discover(LocalModelServer& server) {
        server.start();
        ASSERT_TRUE(waitFor([&] { return !server.isDiscovering(); }));
    }

    tamsel::testing::TemporaryFolder folder;
    std::vector<std::string> reported;
};

std::optional<PromptDraftResult> draft(OnDeviceDrafter& drafter, const PromptCandidate& c,
                                       Language language) {
    bool finished = false;
    std::optional<PromptDraftResult> result;
    drafter.draft(c, language, {}, [&](std::optional<PromptDraftResult> r) {
        finished = true;
        result = std::move(r);
    });
    EXPECT_TRUE(waitFor([&] { return finished; }, 8000));
    return result;
}

} // namespace

TEST_F(LocalModelServerTest, FindsEachFlavourAndChoosesTheLoadedModel) {
    FakeModelServer ollama(FakeModelServer::Flavour::ollama, {"qwen:7b", "llama:3b"});
    ollama.setLoaded({"llama:3b"});
    auto server = client({&ollama});
    discover(*server);
    ASSERT_EQ(server->serverStatus()->state, State::ready);
    EXPECT_EQ(server->serverStatus()->model, "llama:3b");
    EXPECT_TRUE(server->serverStatus()->onThisComputer);
    EXPECT_EQ(server->availability(), DrafterAvailability::available);

    FakeModelServer llama(FakeModelServer::Flavour::llamaServer, {"gguf-model"});
    auto second = client({&llama});
    discover(*second);
    ASSERT_EQ(second->serverStatus()->state, State::ready);
    EXPECT_EQ(second->serverStatus()->model, "gguf-model");
}

TEST_F(LocalModelServerTest, SkipsRemoteAndEmbeddingModels) {
    FakeModelServer ollama(FakeModelServer::Flavour::ollama);
    ollama.script("/api/tags",
                  {{200,
                    R"({"models":[{"name":"big:cloud","remote_host":"https://elsewhere.example"},
                        {"name":"nomic-embed-text","details":{"family":"nomic-bert"}},
                        {"name":"mini","details":{"family":"llama"}}]})",
                    0, false, {}}});
    auto server = client({&ollama});
    discover(*server);
    ASSERT_EQ(server->serverStatus()->state, State::ready);
    EXPECT_EQ(server->serverStatus()->model, "mini");
    EXPECT_EQ(server->serverStatus()->models, std::vector<std::string>{"mini"});

    ollama.script("/api/tags",
                  {{200, R"({"models":[{"name":"big:cloud","remote_host":"https://x"}]})", 0, false,
                    {}}});
    server->discoverAgain();
    ASSERT_TRUE(waitFor([&] { return !server->isDiscovering(); }));
    EXPECT_EQ(server->serverStatus()->state, State::noChatModel);
    EXPECT_EQ(server->availability(), DrafterAvailability::notReady);
}

TEST_F(LocalModelServerTest, LoadingThenReadyAndUnrelatedServersIgnored) {
    FakeModelServer llama(FakeModelServer::Flavour::llamaServer);
    llama.setLoading(true);
    FakeModelServer webApp(FakeModelServer::Flavour::llamaServer);
    webApp.script("/v1/models", {{200, "<html>dev server</html>", 0, false, {}}});
    auto server = client({&webApp, &llama});
    discover(*server);
    EXPECT_EQ(server->serverStatus()->state, State::loading);

    llama.setLoading(false);
    server->discoverAgain();
    ASSERT_TRUE(waitFor([&] { return !server->isDiscovering(); }));
    EXPECT_EQ(server->serverStatus()->state, State::ready);

    auto alone = client({&webApp});
    discover(*alone);
    EXPECT_EQ(alone->serverStatus()->state, State::noServer);
}

TEST_F(LocalModelServerTest, SeveralModelsAskForAChoiceThatIsRemembered) {
    FakeModelServer studio(FakeModelServer::Flavour::lmStudio, {"a-model", "b-model", "c-model"});
    auto server = client({&studio});
    discover(*server);
    ASSERT_EQ(server->serverStatus()->state, State::chooseModel);
    EXPECT_EQ(server->serverStatus()->models.size(), 3U);

    server->chooseModel("not-offered");
    EXPECT_EQ(server->serverStatus()->state, State::chooseModel);
    server->chooseModel("b-model");
    EXPECT_EQ(server->serverStatus()->state, State::ready);
    EXPECT_EQ(server->serverStatus()->model, "b-model");

    auto later = client({&studio});
    discover(*later);
    EXPECT_EQ(later->serverStatus()->state, State::ready);
    EXPECT_EQ(later->serverStatus()->model, "b-model");
}

TEST_F(LocalModelServerTest, AHostElsewhereIsNeverContactedUntilConfirmed) {
    // A documentation address: nothing may be sent there, and nothing is.
    auto server = client({}, "http://192.0.2.7:11434");
    server->start();
    EXPECT_EQ(server->serverStatus()->state, State::hostNotConfirmed);
    EXPECT_EQ(server->serverStatus()->host, "192.0.2.7");
    server->confirmHost("192.0.2.8"); // not the one asked about
    EXPECT_EQ(server->serverStatus()->state, State::hostNotConfirmed);

    auto invalid = client({}, "ftp://127.0.0.1");
    invalid->start();
    EXPECT_EQ(invalid->serverStatus()->state, State::invalidAddress);

    LoopbackHttp http;
    std::optional<HttpResult> result;
    http.get(QUrl("http://192.0.2.7:11434/api/version"), 1000,
             [&](HttpResult r) { result = std::move(r); });
    ASSERT_TRUE(waitFor([&] { return result.has_value(); }));
    EXPECT_EQ(result->failure, HttpResult::Failure::refusedHost);
}

TEST_F(LocalModelServerTest, RequestBodiesCarryTheDraftersTextsForEachProtocol) {
    for (auto flavour : {FakeModelServer::Flavour::ollama, FakeModelServer::Flavour::llamaServer}) {
        FakeModelServer fake(flavour);
        fake.script(fake.chatPath(),
                    {{200, fake.chatAnswer(R"({"name":"テスト先行","text":"先にテストを実行すること。"})"),
                      0, false, {}}});
        auto server = client({&fake});
        discover(*server);
        OnDeviceDrafter drafter(server);
        for (Language language : {Language::en, Language::ja}) {
            const auto c = language == Language::ja
                               ? candidate("j", {"先にテストを実行して", "テストを先に"})
                               : candidate("e", {"Run the tests first.", "Test before pushing."});
            const auto before = fake.requestsTo(fake.chatPath()).size();
            auto result = draft(drafter, c, language);
            const auto sent = fake.requestsTo(fake.chatPath());
            ASSERT_EQ(sent.size(), before + 1);
            const QJsonObject body = json(sent.back().body);
            const QJsonArray messages = body.value("messages").toArray();
            ASSERT_EQ(messages.size(), 2);
            EXPECT_EQ(messages[0].toObject().value("content").toString().toStdString(),
                      ModelServerProtocol::systemMessage(OnDeviceDrafter::instructions(language)));
            EXPECT_EQ(messages[1].toObject().value("content").toString().toStdString(),
                      "<<<SOURCE\n" + OnDeviceDrafter::prompt(c, language, 1000) + "\nSOURCE>>>");
            EXPECT_EQ(body.value("model").toString(), "small-model");
            EXPECT_FALSE(body.value("stream").toBool(true));
            if (flavour == FakeModelServer::Flavour::ollama) {
                EXPECT_FALSE(body.value("think").toBool(true));
                EXPECT_EQ(body.value("options").toObject().value("num_predict").toInt(), 320);
                EXPECT_EQ(body.value("options").toObject().value("temperature").toInt(-1), 0);
                EXPECT_TRUE(body.value("format").toObject().contains("properties"));
            } else {
                EXPECT_EQ(body.value("max_tokens").toInt(), 320);
                EXPECT_EQ(body.value("temperature").toInt(-1), 0);
                const QJsonObject format = body.value("response_format").toObject();
                EXPECT_EQ(format.value("type").toString(), "json_schema");
                EXPECT_TRUE(format.value("json_schema").toObject().value("strict").toBool());
                EXPECT_EQ(format.value("json_schema")
                              .toObject()
                              .value("schema")
                              .toObject()
                              .value("required")
                              .toArray()
                              .size(),
                          2);
            }
            // Only a Japanese draft must be in Japanese; this answer suits both.
            ASSERT_TRUE(result) << int(language);
            EXPECT_EQ(result->text, "先にテストを実行すること。");
        }
    }
}

TEST_F(LocalModelServerTest, SecondAttemptAfterAFailedFirstAndEveryFailureShape) {
    FakeModelServer fake(FakeModelServer::Flavour::llamaServer);
    auto server = client({&fake});
    discover(*server);
    OnDeviceDrafter drafter(server);
    const auto c = candidate("c", {std::string(700, 'a'), std::string(600, 'b')});
    const QByteArray good = fake.chatAnswer(R"({"name":"Tests first","text":"Run the tests."})");

    struct Case {
        const char* what;
        FakeReply first;
    };
    const Case cases[] = {
        {"cut at the token limit", {200, fake.chatAnswer(R"({"name":"x","te)", "length"), 0, false, {}}},
        {"reasoning only", {200, fake.chatAnswer("", "stop", "Let me think"), 0, false, {}}},
        {"not JSON", {200, fake.chatAnswer("Sure! Here is a name: Tests"), 0, false, {}}},
        {"error body", {500, fake.errorBody("model crashed"), 0, false, {}}},
        // A valid draft, but its name alone is 100 KiB: the reply is refused unread.
        {"past the size cap",
         {200, fake.chatAnswer("{\"name\":\"" + std::string(100 * 1024, 'x') + "\",\"text\":\"Run.\"}"),
          0, false, {}}},
        {"redirect elsewhere",
         {307, "", 0, false, {{"Location", "http://192.0.2.7:11434/v1/chat/completions"}}}},
        {"silent server", {200, "", 0, true, {}}},
    };
    for (const Case& failing : cases) {
        fake.script(fake.chatPath(), {failing.first, {200, good, 0, false, {}}});
        const auto before = fake.requestsTo(fake.chatPath()).size();
        auto result = draft(drafter, c, Language::en);
        const auto sent = fake.requestsTo(fake.chatPath());
        ASSERT_EQ(sent.size(), before + 2) << failing.what;
        ASSERT_TRUE(result) << failing.what;
        EXPECT_EQ(result->name, "Tests first");
        const auto user = [&](std::size_t index) {
            return json(sent[index].body)
                .value("messages")
                .toArray()[1]
                .toObject()
                .value("content")
                .toString()
                .toStdString();
        };
        EXPECT_EQ(user(before + 1),
                  "<<<SOURCE\n" + OnDeviceDrafter::prompt(c, Language::en, 400) + "\nSOURCE>>>")
            << failing.what;
    }
    EXPECT_FALSE(reported.empty());

    // Both attempts failing: no draft, the source wording stays.
    fake.script(fake.chatPath(), {{500, fake.errorBody("out of memory"), 0, false, {}}});
    EXPECT_FALSE(draft(drafter, c, Language::en));
}

TEST_F(LocalModelServerTest, DraftsAreCleanedAndMustBeInTheDraftingLanguage) {
    FakeModelServer fake(FakeModelServer::Flavour::ollama);
    auto server = client({&fake});
    discover(*server);
    OnDeviceDrafter drafter(server);
    fake.script(fake.chatPath(),
                {{200, fake.chatAnswer("{\"name\":\"Tests\\u001b[2J\",\"text\":\"Run them.\\r\\nNow.\"}"),
                  0, false, {}}});
    auto cleaned = draft(drafter, candidate("c", {"run the tests"}), Language::en);
    ASSERT_TRUE(cleaned);
    EXPECT_EQ(cleaned->name, "Tests[2J");
    EXPECT_EQ(cleaned->text, "Run them.\nNow.");

    // English drafted for Japanese sources: no draft, twice over.
    fake.script(fake.chatPath(),
                {{200, fake.chatAnswer(R"({"name":"Tests","text":"Run the tests."})"), 0, false, {}}});
    EXPECT_FALSE(draft(drafter, candidate("j", {"テストを先に実行して"}), Language::ja));
}

TEST_F(LocalModelServerTest, ANewSelectionCancelsTheRequestAndItsLateAnswerIsDropped) {
    FakeModelServer fake(FakeModelServer::Flavour::ollama);
    auto server = client({&fake});
    discover(*server);
    QObject context;
    auto queue = std::make_shared<QtMainQueue>(&context);
    const auto first = candidate("first", {"first thing"});
    const auto second = candidate("second", {"second thing"});
    auto lab = std::make_shared<PromptLabModel>(
        std::make_shared<OnDeviceDrafter>(server), queue,
        [&](const std::vector<Rule>&, const std::function<bool()>&) {
            PromptLabOutcome outcome;
            outcome.candidates = {first, second};
            return outcome;
        });
    fake.script(fake.chatPath(),
                {{200, fake.chatAnswer(R"({"name":"Late","text":"Too late."})"), 800, false, {}},
                 {200, fake.chatAnswer(R"({"name":"Second","text":"Do the second thing."})"), 0,
                  false, {}}});
    lab->scan({}, Language::en);
    ASSERT_TRUE(waitFor([&] { return lab->isDrafting() && !fake.requestsTo("/api/chat").empty(); }));
    EXPECT_EQ(lab->selectedID(), "first");
    lab->select(second, Language::en);
    ASSERT_TRUE(waitFor([&] { return !lab->isDrafting(); }));
    EXPECT_EQ(lab->editedName(), "Second");
    // Long after the first answer would have come, nothing replaced the second's.
    QDeadlineTimer settle(1200);
    waitFor([&] { return settle.hasExpired(); }, 2000);
    EXPECT_EQ(lab->editedName(), "Second");
    EXPECT_EQ(fake.requestsTo("/api/chat").size(), 2U);

    // Cancel while drafting: the source wording stays, the request ends.
    fake.script(fake.chatPath(), {{200, "", 0, true, {}}});
    lab->select(first, Language::en);
    ASSERT_TRUE(waitFor([&] { return fake.requestsTo("/api/chat").size() == 3U; }));
    EXPECT_TRUE(lab->isDrafting());
    lab->cancelDraft();
    EXPECT_FALSE(lab->isDrafting());
    EXPECT_EQ(lab->editedText(), first.fallbackText());
}

namespace {

struct CheckRun {
    int exitCode = -1;
    std::string output;
};

// `tamsel --draft-check` as a user runs it, with a home folder of its own,
// while this process's event loop keeps the fake server answering.
CheckRun runDraftCheck(const std::filesystem::path& home, const std::string& configJSON) {
    std::filesystem::create_directories(home / ".config/tamsel");
    tamsel::testing::writeFile(home / ".config/tamsel/config.json", configJSON);
    // A plain spawn: Qt's own process launcher forks in a way ThreadSanitizer cannot follow.
    const std::filesystem::path output = home / "draft-check.txt";
    tamsel::testing::ChildProcess check({TAMSEL_EXECUTABLE, "--draft-check"},
                                        {{"HOME", home.string()},
                                         {"OLLAMA_HOST", ""},
                                         {"XDG_STATE_HOME", ""},
                                         {"XDG_CONFIG_HOME", ""}},
                                        output.string());
    std::optional<int> exitCode;
    waitFor([&] { return (exitCode = check.waitForExit(std::chrono::milliseconds(0))).has_value(); },
            20000);
    return {exitCode.value_or(-1), tamsel::testing::readFile(output)};
}

std::string configWithServer(const std::string& url) {
    return "{\n  \"modelServerURL\" : \"" + url + "\",\n  \"rules\" : [\n\n  ]\n}\n";
}

} // namespace

TEST_F(LocalModelServerTest, DraftCheckSaysWhatItFoundAndExitsByTheOutcome) {
    FakeModelServer ollama(FakeModelServer::Flavour::ollama, {"mini", "nomic-embed-text"});
    auto found = runDraftCheck(folder.path() / "found", configWithServer(ollama.baseURL()));
    EXPECT_EQ(found.exitCode, 0) << found.output;
    EXPECT_NE(found.output.find("drafting with mini on Ollama 0.9.0"), std::string::npos)
        << found.output;
    EXPECT_NE(found.output.find("skipped: nomic-embed-text (embedding model"), std::string::npos)
        << found.output;
    EXPECT_NE(found.output.find("can draft: yes"), std::string::npos);

    auto elsewhere = runDraftCheck(folder.path() / "elsewhere",
                                   configWithServer("http://192.0.2.7:11434"));
    EXPECT_EQ(elsewhere.exitCode, 1) << elsewhere.output;
    EXPECT_NE(elsewhere.output.find("not on this computer"), std::string::npos)
        << elsewhere.output;
    EXPECT_NE(elsewhere.output.find("can draft: no"), std::string::npos);
}
