#pragma once

// The process around the application model on Linux: the tray icon and its
// popover, the X11 keyboard, clipboard and active-window services, the
// permission and secure-input timers, and the launch and shutdown sequences.
// Main thread only.

#include <memory>
#include <optional>
#include <string>

#include <QDBusServiceWatcher>
#include <QObject>
#include <QSocketNotifier>
#include <QSystemTrayIcon>
#include <QTimer>

#include "app/AppModel.h"
#include "app/PromptLabWindowController.h"
#include "app/SessionPlan.h"
#include "platform/qt/DesktopServices.h"
#include "platform/x11/X11Accessibility.h"
#include "platform/x11/X11ActiveWindow.h"

namespace tamsel {

class LocalModelServer;

class PopoverWindow;
class TrayMenu;

class TrayApplication final : public QObject {
    Q_OBJECT
public:
    static constexpr int permissionPollMS = 1000;
    static constexpr int secureInputPollMS = 1000;

    // No value, and a message for the user, when the display cannot be used.
    // The backends follow `plan`; no value, and the reason in `error`, when
    // one that the plan names cannot be had.
    static std::unique_ptr<TrayApplication> create(const SessionPlan& plan, std::string& error);
    ~TrayApplication() override;

    // In this order: Prompt Lab handler, tray icon, popover, model observer,
    // active-window observer, permission check, tap start, icon, and without
    // access the setup guide with permission polling.
    void launch();
    // Writes a pending save and stops the tap; runs once, on quit or a signal.
    void shutdown();

    void showPopover();
    void togglePopover();
    // A firing handed over by `tamsel --fire`, aimed at the window in front.
    FireReply fire(const FireRequest& request);
    bool popoverShown() const;

    const std::shared_ptr<AppModel>& model() const { return model_; }
    DesktopServices& desktop() { return desktop_; }

private:
    struct Services;
    explicit TrayApplication(std::unique_ptr<Services> services);

    void handOverClipboard();
    void setUpTrayIcon();
    void watchForTray();
    void trayChanged();
    void createTrayIcon();
    void setUpPopover();
    void observeModel();
    void observeActiveWindow();
    void updateTrayIcon();
    void reportUnavailableHotkeys();
    void reportSessionLimits();
    void startPermissionPolling();
    void startSecureInputPolling();
    void checkPermission();
    void activeApplicationChanged(const ActiveApplication& application);
    void startPortals();
    void portalKeyboardAnswered(int problem);
    void portalShortcutsAnswered(int problem);
    void reportSessionProblem();
    void reportWithheldClipboard();
    void closePopover();

    std::unique_ptr<Services> services_;
    std::shared_ptr<AppModel> model_;
    std::shared_ptr<PromptLabWindowController> promptLab_;
    // Looked for only once the Prompt Lab first opens: a user who never
    // drafts has no reason to have local ports probed.
    std::shared_ptr<LocalModelServer> modelServer_;
    bool modelServerStarted_ = false;
    DesktopServices desktop_;

    std::unique_ptr<TrayMenu> trayMenu_;
    std::unique_ptr<QSystemTrayIcon> trayIcon_;
    std::unique_ptr<QSocketNotifier> systemTrayNotifier_;
    std::unique_ptr<QDBusServiceWatcher> statusNotifierWatcher_;
    std::unique_ptr<PopoverWindow> popover_;
    std::unique_ptr<QSocketNotifier> activeWindowNotifier_;
    std::unique_ptr<QTimer> permissionTimer_;
    std::unique_ptr<QTimer> secureInputTimer_;
    Subscription modelSubscription_;
    std::optional<bool> iconShowsActive_;
    std::vector<Hotkey> reportedUnavailable_;
    bool updateQueued_ = false;
    // The last word from each portal (PortalProblem values); 0: all is well.
    int keyboardProblem_ = 0;
    int shortcutsProblem_ = 0;
    // The desktop started the keyboard's session without the clipboard the
    // plan counted on; said once each time it comes to that.
    bool clipboardWithheld_ = false;
    bool shutDown_ = false;
};

} // namespace tamsel
