#pragma once

// The application's one observable state: the current configuration and
// everything the popover shows. Every edit goes through it; it keeps the event
// tap's snapshot and the file in step with the configuration. Main thread
// only, except the trigger handler, which runs on the tap thread.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "app/FireCommand.h"
#include "app/Observable.h"
#include "app/SessionPlan.h"
#include "core/config/Config.h"
#include "core/config/ConfigStore.h"
#include "core/strings/Strings.h"
#include "engine/EventTapController.h"
#include "engine/Injector.h"
#include "engine/SecureInput.h"
#include "platform/Accessibility.h"
#include "platform/FrontWindow.h"
#include "platform/MainQueue.h"
#include "platform/Workspace.h"

namespace tamsel {

class AppModel final : public Observable, public std::enable_shared_from_this<AppModel> {
public:
    enum class RunState { active, paused, permissionDenied, notWatching };

    struct LastFired {
        std::string name;
        TriggerKind kind = TriggerKind::send;
        bool operator==(const LastFired&) const = default;
    };

    struct Services {
        std::shared_ptr<ConfigStore> store;
        std::shared_ptr<EventTapController> tap;
        std::shared_ptr<Injector> injector;
        std::shared_ptr<MainQueue> mainQueue;
        std::shared_ptr<Accessibility> accessibility;
        std::shared_ptr<Workspace> workspace;
        std::function<std::optional<SecureInputStatus>()> secureInputProbe;
    };

    static constexpr std::int64_t saveDelayMS = 400;
    static constexpr std::int64_t noticeDurationMS = 3000;
    // How long a deleted prompt can be brought back.
    static constexpr std::int64_t undoDurationMS = 6000;

    // A prompt just deleted, and where it stood.
    struct DeletedRule {
        Rule rule;
        std::size_t index = 0;
        bool operator==(const DeletedRule&) const = default;
    };
    static constexpr const char* contactAddress = "https://tamsel.app/";
    static constexpr const char* applicationVersion = TAMSEL_VERSION;

    // Loads the configuration, installs the tap's handlers and pushes the
    // first snapshot; does not start the tap.
    static std::shared_ptr<AppModel> create(Services services);

    // Observable state.
    const Config& config() const { return config_; }
    Language language() const { return language_; }
    bool accessibilityGranted() const { return accessibilityGranted_; }
    EventTapController::State tapState() const { return tapState_; }
    const std::optional<LastFired>& lastFired() const { return lastFired_; }
    const std::optional<SecureInputStatus>& secureInput() const { return secureInput_; }
    // Watched shortcuts that another program holds; empty when all are live.
    const std::vector<Hotkey>& unavailableHotkeys() const { return unavailableHotkeys_; }
    // The banner text for them in the current language; no value when there are none.
    std::optional<std::string> unavailableHotkeysMessage() const;
    // Outside X11 the session decides what works; the popover and the setup
    // guide say what does not.
    void setSessionPlan(const SessionPlan& plan) { publish(sessionPlan_, std::optional(plan)); }
    const std::optional<SessionPlan>& sessionPlan() const { return sessionPlan_; }
    // What does not work in this session, in the current language; empty under X11.
    std::vector<std::string> sessionLimits() const {
        return sessionPlan_ ? SessionTexts::limits(*sessionPlan_, language_)
                            : std::vector<std::string>();
    }
    // What keeps the desktop from serving us (a consent refused, a portal
    // missing, a session the desktop ended), already in the user's language;
    // no value while all is well.
    const std::optional<std::string>& sessionProblem() const { return sessionProblem_; }
    void setSessionProblem(std::optional<std::string> text) {
        publish(sessionProblem_, std::move(text));
    }
    // Where the desktop holds the shortcuts (the portals), the trigger it
    // really assigned to each of ours that it fires on another key or on
    // none: our notation ("cmd+enter") to the desktop's text ("" for none).
    const std::map<std::string, std::string>& desktopTriggers() const { return desktopTriggers_; }
    void setDesktopTriggers(std::map<std::string, std::string> triggers) {
        publish(desktopTriggers_, std::move(triggers));
    }
    // The banner text for them in the current language; no value when the
    // desktop fires every shortcut on the key it was asked for.
    std::optional<std::string> desktopTriggersMessage() const;
    const std::optional<std::string>& loadError() const { return loadError_; }
    // Whether the unreadable file met a configuration already in use (a
    // reload), which stays, rather than the start, which fell back to defaults.
    bool loadErrorKeptConfig() const { return loadErrorKeptConfig_; }
    const std::optional<std::string>& saveError() const { return saveError_; }
    const std::optional<std::string>& notice() const { return notice_; }
    const std::optional<DeletedRule>& recentlyDeleted() const { return recentlyDeleted_; }
    bool showsSetupGuide() const { return showsSetupGuide_; }
    const std::optional<std::string>& expandedRuleID() const { return expandedRuleID_; }
    bool showsSettings() const { return showsSettings_; }

    // What the views set directly.
    void setShowsSetupGuide(bool shows) { publish(showsSetupGuide_, shows); }
    void setExpandedRuleID(std::optional<std::string> id) {
        publish(expandedRuleID_, std::move(id));
    }
    void setShowsSettings(bool shows) { publish(showsSettings_, shows); }
    void dismissLoadError() { publish(loadError_, std::nullopt); }
    void dismissSaveError() { publish(saveError_, std::nullopt); }
    void dismissNotice() { publish(notice_, std::nullopt); }
    void dismissUndo();

    RunState runState() const;
    StringKey runStateLabel() const;

    // Edits: each clamps the delays, and does nothing at all when the result
    // equals the current configuration.
    void mutate(const std::function<void(Config&)>& change);
    void setEnabled(bool enabled);
    void setLanguagePreference(LanguagePreference preference);
    Rule appendRule(std::string name, std::string text);
    void updateRule(const std::string& id, const std::function<void(Rule&)>& change);
    // Deleting keeps the prompt for `undoDurationMS`; undoing puts it back
    // where it stood (or last, if the list has since grown shorter) and saves.
    void deleteRule(const std::string& id);
    void undoDelete();
    void moveRule(const std::string& id, int offset);

    void refreshAccessibility();
    void refreshSecureInput();
    // The snapshot mode stands in a probe of its own.
    void setSecureInputProbe(std::function<std::optional<SecureInputStatus>()> probe) {
        services_.secureInputProbe = std::move(probe);
    }
    void reloadIfChangedExternally();
    // A firing handed over by `tamsel --fire`, checked as a shortcut would be.
    // `front` is the window in front now, when the session can tell; without
    // it the target list cannot apply and the prompt goes wherever the focus is.
    FireReply fire(const FireRequest& request, const std::optional<FrontWindow>& front);
    void openAccessibilitySettings();
    void openContactPage();
    void flushPendingSave();
    bool hasPendingSave() const { return saveWorkItem_.has_value(); }
    // The contact page's address for this version and system.
    std::string contactURL() const;

    std::function<void()> onOpenPromptLab;
    const std::shared_ptr<ConfigStore>& store() const { return services_.store; }
    const std::shared_ptr<EventTapController>& tap() const { return services_.tap; }

    explicit AppModel(Services services); // use create()

private:
    Language resolve(LanguagePreference preference) const;
    void pushSnapshot();
    void scheduleSave();
    void performSave();
    void showNotice(std::string text);

    Services services_;

    Config config_;
    Language language_ = Language::en;
    bool accessibilityGranted_ = false;
    EventTapController::State tapState_ = EventTapController::State::stopped;
    std::optional<LastFired> lastFired_;
    std::optional<SecureInputStatus> secureInput_;
    std::vector<Hotkey> unavailableHotkeys_;
    std::optional<SessionPlan> sessionPlan_;
    std::optional<std::string> sessionProblem_;
    std::map<std::string, std::string> desktopTriggers_;
    std::optional<std::string> loadError_;
    bool loadErrorKeptConfig_ = false;
    std::optional<std::string> saveError_;
    std::optional<std::string> notice_;
    // The layout cannot change while the user is away, so a fallback that
    // comes at every firing is told once a run.
    bool pastedInsteadTold_ = false;
    bool showsSetupGuide_ = false;
    std::optional<std::string> expandedRuleID_;
    bool showsSettings_ = false;

    std::optional<ScheduledTask> saveWorkItem_;
    std::optional<ScheduledTask> noticeWorkItem_;
    std::optional<DeletedRule> recentlyDeleted_;
    std::optional<ScheduledTask> undoWorkItem_;
};

} // namespace tamsel
