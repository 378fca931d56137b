#include "shell/UISnapshot.h"

#include <filesystem>
#include <iostream>
#include <system_error>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QStyleFactory>
#include <QUuid>

#include "app/AppModel.h"
#include "app/PromptLabModel.h"
#include "core/analysis/RuleUsageReport.h"
#include "platform/fake/FakeAccessibility.h"
#include "platform/fake/FakeEventTap.h"
#include "platform/fake/FakeKeyboard.h"
#include "platform/fake/FakeMainQueue.h"
#include "platform/fake/FakePasteboard.h"
#include "platform/fake/FakeWorkspace.h"
#include "ui/MenuBarIcon.h"
#include "ui/PopoverView.h"
#include "ui/PromptLabView.h"
#include "ui/Tokens.h"

namespace tamsel::UISnapshot {

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Pictures are drawn at twice the point size, as on a high-density screen.
constexpr qreal pixelRatio = 2;

struct AppearanceRow {
    const char* name;
    Appearance appearance;
};
constexpr AppearanceRow appearances[] = {{"light", Appearance::light},
                                         {"dark", Appearance::dark}};

struct LanguageRow {
    const char* name;
    LanguagePreference preference;
};
constexpr LanguageRow languages[] = {{"en", LanguagePreference::en},
                                     {"ja", LanguagePreference::ja}};

enum class PopoverState { list, expanded, settings, setup, secureInput };
struct StateRow {
    const char* name;
    PopoverState state;
};
constexpr StateRow popoverStates[] = {{"list", PopoverState::list},
                                      {"expanded", PopoverState::expanded},
                                      {"settings", PopoverState::settings},
                                      {"setup", PopoverState::setup},
                                      {"secureinput", PopoverState::secureInput}};

struct LabRow {
    const char* suffix;
    DrafterAvailability availability;
};
constexpr LabRow labVariants[] = {{"", DrafterAvailability::available},
                                  {"-nomodel", DrafterAvailability::notEnabled}};

struct IconRow {
    const char* fileName;
    bool active;
};
constexpr IconRow icons[] = {{"menubar-active.png", true}, {"menubar-paused.png", false}};

// A language model that is (or is not) there, and never has an answer: the
// pictures show the suggestions' own wording.
class SilentLanguageModel final : public LanguageModel {
public:
    explicit SilentLanguageModel(DrafterAvailability availability) : availability_(availability) {}
    DrafterAvailability availability() const override { return availability_; }
    void respond(const std::string&, const std::string&, const GenerationOptions&,
                 std::function<void(std::optional<GeneratedPromptDraft>)> completion) override {
        completion(std::nullopt);
    }

private:
    DrafterAvailability availability_;
};

// The real models over stand-ins for the system: no tap is started, no key is
// sent, the permission reads as granted, and time moves only when told.
struct Services {
    std::shared_ptr<VirtualClock> clock = std::make_shared<VirtualClock>();
    std::shared_ptr<FakeMainQueue> mainQueue = std::make_shared<FakeMainQueue>(clock);
    std::shared_ptr<FakeAccessibility> accessibility = std::make_shared<FakeAccessibility>(true);
    std::shared_ptr<EventTapController> tap = std::make_shared<EventTapController>(
        std::make_shared<FakeEventTapService>(), accessibility, mainQueue);
    std::shared_ptr<VirtualClock> injectorClock = std::make_shared<VirtualClock>();
    std::shared_ptr<Timeline> timeline = std::make_shared<Timeline>(injectorClock);
    std::shared_ptr<Injector> injector = std::make_shared<Injector>(
        std::make_shared<FakeKeyboard>(timeline),
        std::vector<std::shared_ptr<Pasteboard>>{
            std::make_shared<FakePasteboard>("general", timeline)},
        injectorClock);
    std::shared_ptr<FakeWorkspace> workspace = std::make_shared<FakeWorkspace>();
    std::shared_ptr<AppModel> model;
    // The model's configuration folder; it goes with the model, so that
    // rendering leaves nothing behind in the temporary folder.
    fs::path folder;

    ~Services() {
        model.reset();
        std::error_code error;
        fs::remove_all(folder, error);
    }
};

std::unique_ptr<Services> makeModel(const LanguageRow& language) {
    auto services = std::make_unique<Services>();
    // The default prompts come in the picture's language too.
    services->workspace->languages = {language.name};
    const fs::path folder = services->folder =
        fs::temp_directory_path() /
        ("tamsel-snapshot-" + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toStdString());
    std::error_code error;
    fs::create_directories(folder, error);
    services->model = AppModel::create(
        {std::make_shared<ConfigStore>(folder / "config.json"), services->tap,
         services->injector, services->mainQueue, services->accessibility, services->workspace,
         [] { return std::optional<SecureInputStatus>(); }});
    services->model->setLanguagePreference(language.preference);
    return services;
}

void prepare(AppModel& model, PopoverState state) {
    switch (state) {
    case PopoverState::list:
        break;
    case PopoverState::expanded:
        if (!model.config().rules.empty()) {
            model.setExpandedRuleID(model.config().rules.front().id);
        }
        break;
    case PopoverState::settings:
        model.setShowsSettings(true);
        break;
    case PopoverState::setup:
        model.setShowsSetupGuide(true);
        break;
    case PopoverState::secureInput:
        model.setSecureInputProbe([] { return SecureInputStatus{"Terminal"}; });
        model.refreshSecureInput();
        break;
    }
}

// Lets queued model work and widget events run: what 0.4 seconds of a run
// loop would do, without waiting for them.
void settle(Services& services, std::chrono::milliseconds duration) {
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        services.mainQueue->runPending();
    }
    services.mainQueue->advance(duration);
    QCoreApplication::processEvents();
}

bool writePicture(QWidget& view, const fs::path& file) {
    QPixmap pixmap(view.size() * pixelRatio);
    pixmap.setDevicePixelRatio(pixelRatio);
    pixmap.fill(view.palette().color(QPalette::Window));
    view.render(&pixmap);
    return !pixmap.isNull() && pixmap.save(QString::fromStdString(file.string()), "PNG");
}

bool render(Services& services, Appearance appearance, const fs::path& file) {
    PopoverView view(services.model, SettingsActions{}, appearance);
    view.setAttribute(Qt::WA_DontShowOnScreen);
    view.resize(PopoverView::width, 200);
    view.show();
    settle(services, 400ms);
    view.refreshNow();
    view.resize(PopoverView::width, std::max(1, view.preferredHeight()));
    settle(services, 150ms);
    view.refreshNow();
    view.resize(PopoverView::width, std::max(1, view.preferredHeight()));
    QCoreApplication::processEvents();
    return writePicture(view, file);
}

PromptCandidate sample(const char* id, CandidateKind kind, std::optional<std::string> title,
                       std::optional<std::string> context, std::vector<std::string> examples,
                       int occurrences) {
    PromptCandidate candidate;
    candidate.id = id;
    candidate.kind = kind;
    candidate.title = std::move(title);
    candidate.context = std::move(context);
    candidate.representative = examples.front();
    candidate.examples = std::move(examples);
    candidate.occurrences = occurrences;
    if (kind == CandidateKind::convention) {
        candidate.sourceName = "~/.claude/CLAUDE.md";
    } else {
        candidate.projects = {"tamsel", "field-notes"};
    }
    return candidate;
}

std::vector<PromptCandidate> sampleCandidates(Language language) {
    if (language == Language::ja) {
        return {
            sample("sample-1", CandidateKind::convention, "品質ゲートは常に最大限に",
                   "次のことを常に全力で行う。",
                   {"lint と型チェックの警告をゼロに保つ。",
                    "新機能とバグ修正には必ずテストを加える。",
                    "重大・高の脆弱性をゼロにする。"},
                   5),
            sample("sample-2", CandidateKind::convention, "ファイルの参照", std::nullopt,
                   {"名前が完全に一致するファイルだけを触る。",
                    "指定のファイルがないとき、似たファイルで代用しない。"},
                   3),
            sample("sample-3", CandidateKind::correction, std::nullopt, std::nullopt,
                   {"関係のないコードに触らないで", "頼んでいないファイルを変えないで"}, 2),
        };
    }
    return {
        sample("sample-1", CandidateKind::convention, "Quality gates are always maximal",
               "Always do the following at full strength.",
               {"Keep lint and typecheck at zero warnings.",
                "Add a test for every new feature and every bug fix.",
                "Drive critical and high vulnerabilities to zero."},
               5),
        sample("sample-2", CandidateKind::convention, "Referring to files", std::nullopt,
               {"Only touch files whose names match exactly.",
                "Never substitute a similar file when the named one is missing."},
               3),
        sample("sample-3", CandidateKind::correction, std::nullopt, std::nullopt,
               {"Do not touch unrelated code", "Stop changing files I did not ask about"}, 2),
    };
}

bool renderLab(Services& services, DrafterAvailability availability, Appearance appearance,
               const fs::path& file) {
    const Language language = services.model->language();
    PromptLabOutcome outcome;
    outcome.candidates = sampleCandidates(language);
    outcome.usage = RuleUsageReport::build({}, services.model->config().rules);
    outcome.promptCount = 179;
    outcome.dayCount = 27;
    outcome.sectionCount = 20;
    // The model is filled the way a finished scan fills it.
    auto lab = std::make_shared<PromptLabModel>(
        std::make_shared<OnDeviceDrafter>(std::make_shared<SilentLanguageModel>(availability)),
        services.mainQueue,
        [outcome](const std::vector<Rule>&, const std::function<bool()>&) { return outcome; });
    lab->scan(services.model->config().rules, language);
    // The scan's thread hands its outcome to the main queue, where other
    // work (the configuration's save) may already be waiting.
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (lab->phase() != PromptLabModel::Phase::ready &&
           std::chrono::steady_clock::now() < deadline) {
        services.mainQueue->waitForPending(services.mainQueue->pendingCount() + 1, 50ms);
        services.mainQueue->runPending();
    }
    if (lab->phase() != PromptLabModel::Phase::ready) {
        return false;
    }

    QWidget window;
    Tokens::applyAppearance(&window, appearance);
    window.setAttribute(Qt::WA_DontShowOnScreen);
    auto* view = new PromptLabView(services.model, lab, &window);
    view->resize(820, 560);
    window.resize(820, 560);
    window.show();
    settle(services, 400ms);
    view->refreshNow();
    QCoreApplication::processEvents();
    return writePicture(window, file);
}

bool writeIcon(bool active, const fs::path& file) {
    const QImage icon = MenuBarIcon::image(active, 4);
    QImage canvas(72, 72, QImage::Format_ARGB32);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    painter.drawImage(QRect(0, 0, 72, 72), icon);
    painter.end();
    return canvas.save(QString::fromStdString(file.string()), "PNG");
}

} // namespace

int run(const std::string& outputDirectory, int argc, char** argv) {
    const fs::path directory(outputDirectory);
    std::error_code error;
    fs::create_directories(directory, error);
    if (error || !fs::is_directory(directory)) {
        if (!error) {
            error = std::make_error_code(std::errc::not_a_directory);
        }
        std::cerr << "出力先を作れません: " << error.message() << "\n";
        return 1;
    }

    // Snapshots never need a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setFont(QFont(QStringLiteral("DejaVu Sans")));

    auto failed = [](const std::string& message, const std::string& name) {
        std::cerr << message << name << "\n";
        return 1;
    };
    for (const AppearanceRow& appearance : appearances) {
        for (const LanguageRow& language : languages) {
            for (const StateRow& state : popoverStates) {
                const std::string name = std::string(state.name) + "-" + language.name + "-" +
                                         appearance.name + ".png";
                auto services = makeModel(language);
                prepare(*services->model, state.state);
                if (!render(*services, appearance.appearance, directory / name)) {
                    return failed("描画に失敗しました: ", name);
                }
                std::cout << name << std::endl;
            }
        }
    }
    for (const AppearanceRow& appearance : appearances) {
        for (const LanguageRow& language : languages) {
            for (const LabRow& variant : labVariants) {
                const std::string name = std::string("lab") + variant.suffix + "-" +
                                         language.name + "-" + appearance.name + ".png";
                auto services = makeModel(language);
                if (!renderLab(*services, variant.availability, appearance.appearance,
                               directory / name)) {
                    return failed("描画に失敗しました: ", name);
                }
                std::cout << name << std::endl;
            }
        }
    }
    for (const IconRow& icon : icons) {
        if (!writeIcon(icon.active, directory / icon.fileName)) {
            return failed("アイコンの書き出しに失敗しました: ", icon.fileName);
        }
        std::cout << icon.fileName << std::endl;
    }
    return 0;
}

} // namespace tamsel::UISnapshot
