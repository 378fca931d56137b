#include "app/AppModel.h"

#include <algorithm>
#include <iostream>
#include <utility>

#include "core/config/Validator.h"
#include "core/toolkit/TextToolkit.h"

namespace tamsel {

namespace {

std::string percentEncoded(std::string_view value) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : value) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0x0F];
        }
    }
    return out;
}

} // namespace

AppModel::AppModel(Services services) : services_(std::move(services)) {}

std::shared_ptr<AppModel> AppModel::create(Services services) {
    auto model = std::make_shared<AppModel>(std::move(services));
    AppModel& self = *model;
    const Services& s = self.services_;

    auto loaded = s.store->load(languageFromSystem(s.workspace->preferredLanguages()));
    self.config_ = std::move(loaded.config);
    self.loadError_ = std::move(loaded.error);
    self.language_ = self.resolve(self.config_.language);
    self.accessibilityGranted_ = s.accessibility->isProcessTrusted();
    self.showsSetupGuide_ = !self.accessibilityGranted_;

    std::weak_ptr<AppModel> weakModel = model;
    s.tap->setOnStateChange([weakModel](EventTapController::State state) {
        // Delivered on the main queue already.
        if (auto strong = weakModel.lock()) {
            strong->publish(strong->tapState_, state);
        }
    });
    s.tap->setOnUnavailableHotkeys([weakModel](std::vector<Hotkey> hotkeys) {
        if (auto strong = weakModel.lock()) {
            strong->publish(strong->unavailableHotkeys_, std::move(hotkeys));
        }
    });
    // Runs on the tap thread while the key is held back: queue the injection
    // and leave. The model itself is only touched back on the main thread, so
    // it can never be released on the tap thread.
    s.tap->setOnTrigger([weakModel, injector = std::weak_ptr<Injector>(s.injector),
                         mainQueue = s.mainQueue](const Rule& rule, TriggerKind kind,
                                                  const Config& config, const FrontWindow& target) {
        // A tap that outlives its model fires nothing; expired() asks without owning.
        if (weakModel.expired()) {
            return;
        }
        if (auto strongInjector = injector.lock()) {
            strongInjector->perform(rule, kind, config, target);
        }
        mainQueue->post([weakModel, fired = LastFired{rule.name, kind}] {
            if (auto strong = weakModel.lock()) {
                strong->publish(strong->lastFired_, fired);
            }
        });
    });
    // Said once per firing, where the user looks first: on the popover and,
    // for whoever started us from a terminal, on stderr.
    if (s.injector) {
        s.injector->setOnProblem([weakModel, mainQueue = s.mainQueue](InjectionProblem problem) {
            mainQueue->post([weakModel, problem] {
                if (auto strong = weakModel.lock()) {
                    if (problem == InjectionProblem::pastedInsteadOfTyped &&
                        std::exchange(strong->pastedInsteadTold_, true)) {
                        return;
                    }
                    std::string message = Strings::injectionProblem(problem, strong->language_);
                    std::cerr << "Tamsel: " << message << std::endl;
                    strong->showNotice(std::move(message));
                }
            });
        });
    }
    self.pushSnapshot();
    s.tap->updateFrontmostBundleID(s.workspace->frontmostApplicationID());
    return model;
}

Language AppModel::resolve(LanguagePreference preference) const {
    return resolveLanguage(preference, services_.workspace->preferredLanguages());
}

std::optional<std::string> AppModel::unavailableHotkeysMessage() const {
    if (unavailableHotkeys_.empty()) {
        return std::nullopt;
    }
    std::vector<std::string> shortcuts;
    for (const Hotkey& hotkey : unavailableHotkeys_) {
        shortcuts.push_back(hotkey.displayString(platformKeyNaming));
    }
    return Strings::unavailableShortcuts(shortcuts, language_);
}

std::optional<std::string> AppModel::desktopTriggersMessage() const {
    if (desktopTriggers_.empty()) {
        return std::nullopt;
    }
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const auto& [ours, desktops] : desktopTriggers_) {
        const auto hotkey = Hotkey::parse(ours);
        pairs.emplace_back(hotkey ? hotkey->displayString(platformKeyNaming) : ours, desktops);
    }
    return Strings::desktopAssignedShortcuts(pairs, language_);
}

AppModel::RunState AppModel::runState() const {
    if (!accessibilityGranted_) {
        return RunState::permissionDenied;
    }
    if (!config_.enabled) {
        return RunState::paused;
    }
    return tapState_ == EventTapController::State::running ? RunState::active
                                                           : RunState::notWatching;
}

StringKey AppModel::runStateLabel() const {
    switch (runState()) {
    case RunState::active:
        return StringKey::statusActive;
    case RunState::paused:
        return StringKey::statusPaused;
    case RunState::permissionDenied:
        return StringKey::statusNoPermission;
    case RunState::notWatching:
        return StringKey::statusNotWatching;
    }
    return StringKey::statusNotWatching;
}

FireReply AppModel::fire(const FireRequest& request, const std::optional<FrontWindow>& front) {
    auto decline = [&](FireDecline why, std::string_view prompt) {
        return FireReply{false, FireCommand::declineReason(why, prompt, language_)};
    };
    const Rule* rule = FireCommand::resolve(config_.rules, request.prompt);
    if (rule == nullptr) {
        return decline(FireDecline::unknownPrompt, request.prompt);
    }
    const std::string_view name =
        rule->name.empty() ? Strings::string(StringKey::untitledPrompt, language_) : rule->name;
    if (!config_.enabled) {
        return decline(FireDecline::paused, name);
    }
    if (!rule->enabled) {
        return decline(FireDecline::promptOff, name);
    }
    if (TextToolkit::isBlank(rule->text)) {
        return decline(FireDecline::promptEmpty, name);
    }
    if (!accessibilityGranted_ || !services_.injector) {
        return decline(FireDecline::noKeyboard, name);
    }
    FrontWindow target;
    if (front) {
        target = *front;
        std::optional<std::string_view> application;
        if (front->applicationID) {
            application = *front->applicationID;
        }
        if (!config_.isTargeted(application)) {
            return decline(FireDecline::notTarget, name);
        }
    }
    services_.injector->perform(*rule, request.kind, config_, target);
    publish(lastFired_, LastFired{rule->name, request.kind});
    return FireReply{true, {}};
}

void AppModel::pushSnapshot() {
    services_.tap->updateConfig(config_);
}

void AppModel::mutate(const std::function<void(Config&)>& change) {
    Config working = config_;
    change(working);
    working.clampDelays();
    if (working == config_) {
        return;
    }
    publish(config_, std::move(working));
    publish(language_, resolve(config_.language));
    pushSnapshot();
    scheduleSave();
}

void AppModel::setEnabled(bool enabled) {
    mutate([enabled](Config& config) { config.enabled = enabled; });
}

void AppModel::setLanguagePreference(LanguagePreference preference) {
    mutate([preference](Config& config) { config.language = preference; });
}

Rule AppModel::appendRule(std::string name, std::string text) {
    auto suggested = Validator::suggestHotkeys(config_.rules);
    Rule rule{TextToolkit::makeUuid(),     std::move(name), true,        std::move(suggested.send),
              std::move(suggested.insert), std::move(text), std::nullopt};
    mutate([&rule](Config& config) { config.rules.push_back(rule); });
    return rule;
}

void AppModel::updateRule(const std::string& id, const std::function<void(Rule&)>& change) {
    mutate([&](Config& config) {
        auto found = std::find_if(config.rules.begin(), config.rules.end(),
                                  [&](const Rule& rule) { return rule.id == id; });
        if (found != config.rules.end()) {
            change(*found);
        }
    });
}

void AppModel::deleteRule(const std::string& id) {
    const auto found = std::find_if(config_.rules.begin(), config_.rules.end(),
                                    [&](const Rule& rule) { return rule.id == id; });
    if (found == config_.rules.end()) {
        return;
    }
    DeletedRule deleted{*found, static_cast<std::size_t>(found - config_.rules.begin())};
    mutate([&](Config& config) {
        std::erase_if(config.rules, [&](const Rule& rule) { return rule.id == id; });
    });
    publish(recentlyDeleted_, std::move(deleted));
    if (undoWorkItem_) {
        undoWorkItem_->cancel();
    }
    std::weak_ptr<AppModel> weakModel = weak_from_this();
    undoWorkItem_ = services_.mainQueue->postAfter(undoDurationMS, [weakModel] {
        if (auto strong = weakModel.lock()) {
            strong->undoWorkItem_.reset();
            strong->publish(strong->recentlyDeleted_, std::nullopt);
        }
    });
}

void AppModel::undoDelete() {
    if (!recentlyDeleted_) {
        return;
    }
    DeletedRule deleted = std::move(*recentlyDeleted_);
    dismissUndo();
    mutate([&](Config& config) {
        // Back from the file meanwhile: nothing to restore.
        if (std::any_of(config.rules.begin(), config.rules.end(),
                        [&](const Rule& rule) { return rule.id == deleted.rule.id; })) {
            return;
        }
        const std::size_t at = std::min(deleted.index, config.rules.size());
        config.rules.insert(config.rules.begin() + static_cast<std::ptrdiff_t>(at),
                            std::move(deleted.rule));
    });
}

void AppModel::dismissUndo() {
    if (undoWorkItem_) {
        undoWorkItem_->cancel();
        undoWorkItem_.reset();
    }
    publish(recentlyDeleted_, std::nullopt);
}

void AppModel::moveRule(const std::string& id, int offset) {
    mutate([&](Config& config) {
        auto found = std::find_if(config.rules.begin(), config.rules.end(),
                                  [&](const Rule& rule) { return rule.id == id; });
        if (found == config.rules.end()) {
            return;
        }
        const auto from = found - config.rules.begin();
        const auto to = from + offset;
        if (to >= 0 && to < static_cast<std::ptrdiff_t>(config.rules.size())) {
            std::swap(config.rules[static_cast<std::size_t>(from)],
                      config.rules[static_cast<std::size_t>(to)]);
        }
    });
}

void AppModel::scheduleSave() {
    if (saveWorkItem_) {
        saveWorkItem_->cancel();
    }
    std::weak_ptr<AppModel> weakModel = weak_from_this();
    saveWorkItem_ = services_.mainQueue->postAfter(saveDelayMS, [weakModel] {
        if (auto strong = weakModel.lock()) {
            strong->performSave();
        }
    });
}

void AppModel::performSave() {
    saveWorkItem_.reset();
    publish(saveError_, services_.store->save(config_));
}

void AppModel::flushPendingSave() {
    if (!saveWorkItem_) {
        return;
    }
    saveWorkItem_->cancel();
    performSave();
}

void AppModel::showNotice(std::string text) {
    publish(notice_, std::move(text));
    if (noticeWorkItem_) {
        noticeWorkItem_->cancel();
    }
    std::weak_ptr<AppModel> weakModel = weak_from_this();
    noticeWorkItem_ = services_.mainQueue->postAfter(noticeDurationMS, [weakModel] {
        if (auto strong = weakModel.lock()) {
            strong->noticeWorkItem_.reset();
            strong->publish(strong->notice_, std::nullopt);
        }
    });
}

void AppModel::reloadIfChangedExternally() {
    // An edit of our own is about to be written and wins over the file.
    if (saveWorkItem_ || !services_.store->hasExternalChange()) {
        return;
    }
    auto loaded =
        services_.store->load(languageFromSystem(services_.workspace->preferredLanguages()));
    publish(loadErrorKeptConfig_, loaded.error.has_value());
    publish(loadError_, loaded.error);
    if (loaded.error || loaded.config == config_) {
        return;
    }
    publish(config_, std::move(loaded.config));
    publish(language_, resolve(config_.language));
    pushSnapshot();
    showNotice(std::string(Strings::string(StringKey::reloadedFromDisk, language_)));
}

void AppModel::refreshAccessibility() {
    const bool trusted = services_.accessibility->isProcessTrusted();
    publish(accessibilityGranted_, trusted);
    const auto state = services_.tap->state();
    if (trusted) {
        if (state != EventTapController::State::running) {
            // A start that never reached running leaves a thread to clear first.
            if (services_.tap->hasThread()) {
                services_.tap->stop();
            }
            services_.tap->start();
        }
        publish(showsSetupGuide_, false);
    } else if (state == EventTapController::State::running) {
        services_.tap->stop();
    }
}

void AppModel::refreshSecureInput() {
    if (services_.secureInputProbe) {
        publish(secureInput_, services_.secureInputProbe());
    }
}

void AppModel::openAccessibilitySettings() {
    services_.accessibility->promptForTrust();
    services_.workspace->openAccessibilitySettings();
}

std::string AppModel::contactURL() const {
    const auto os = services_.workspace->operatingSystemVersion();
    return std::string(contactAddress) + "?from=app&v=" + percentEncoded(applicationVersion) +
           "&os=" + percentEncoded(std::to_string(os.major) + "." + std::to_string(os.minor)) +
           "#contact";
}

void AppModel::openContactPage() {
    services_.workspace->openURL(contactURL());
}

} // namespace tamsel
