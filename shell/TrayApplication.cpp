#include "shell/TrayApplication.h"

#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <string_view>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QMenu>
#include <QPixmap>

#include "app/OnDeviceDrafter.h"
#include "app/PromptLabModel.h"
#include "core/config/ConfigStore.h"
#include "core/strings/Strings.h"
#include "core/toolkit/HomeDirectory.h"
#include "engine/EventTapController.h"
#include "engine/Injector.h"
#include "platform/Clock.h"
#include "platform/LanguageModel.h"
#include "platform/net/LocalModelServer.h"
#include "platform/qt/QtMainQueue.h"
#include "platform/qt/QtWorkspace.h"
#include "platform/wayland/SwayEventTap.h"
#include "platform/wayland/WaylandActiveLayout.h"
#include "platform/wayland/WaylandDataControl.h"
#include "platform/wayland/WaylandKeyboard.h"
#include "platform/x11/SyntheticKeyLedger.h"
#include "platform/x11/X11EventTap.h"
#include "platform/x11/X11FrontWindow.h"
#include "platform/x11/X11Keyboard.h"
#include "platform/x11/X11Pasteboard.h"
#include "platform/x11/X11SystemTray.h"
#include "platform/portal/KWinActiveWindow.h"
#include "platform/portal/PortalClipboard.h"
#include "platform/portal/PortalKeyboard.h"
#include "platform/portal/PortalRestoreToken.h"
#include "platform/portal/PortalShortcutTap.h"
#include "shell/FireClient.h"
#include "shell/PopoverWindow.h"
#include "ui/MenuBarIcon.h"
#include "ui/PromptLabWindows.h"
#include "ui/TrayMenu.h"

namespace tamsel {

namespace {

// Where XTEST is missing nothing can be typed; the tap is never started then
// (access is denied), so this only keeps the injector whole.
class NoKeyboard final : public KeyboardEvents {
public:
    std::unique_ptr<KeyEventSource> createPrivateSource() override { return nullptr; }
    std::unique_ptr<SyntheticKeyEvent> createKeyEvent(KeyEventSource*, std::uint16_t,
                                                      bool) override {
        return nullptr;
    }
    void post(SyntheticKeyEvent&) override {}
    std::uint64_t combinedModifierFlags() override { return 0; }
};

// Shift+Insert pastes in terminals (PRIMARY) and in GUI toolkits (CLIPBOARD).
constexpr std::uint16_t insertKeyCode = 114;
// Where only CLIPBOARD is ours: some Wayland terminals paste PRIMARY on
// Shift+Insert, and they all paste CLIPBOARD on Ctrl+Shift+V.
constexpr std::uint16_t vKeyCode = 9;

} // namespace

// Typing and pasting trusted where the session gave us a keyboard.
class SessionAccessibility final : public Accessibility {
public:
    explicit SessionAccessibility(bool granted) : granted_(granted) {}
    bool isProcessTrusted() override { return granted_; }
    void promptForTrust() override {}

private:
    bool granted_;
};

// Trusted once the desktop has let us have its keyboard; asking for trust
// asks the desktop again.
class PortalAccessibility final : public Accessibility {
public:
    explicit PortalAccessibility(std::shared_ptr<PortalKeyboard> keyboard)
        : keyboard_(std::move(keyboard)) {}
    bool isProcessTrusted() override { return keyboard_->ready(); }
    void promptForTrust() override {
        QMetaObject::invokeMethod(
            keyboard_.get(), [keyboard = keyboard_] { keyboard->start(); }, Qt::QueuedConnection);
    }

private:
    std::shared_ptr<PortalKeyboard> keyboard_;
};

struct TrayApplication::Services {
    SessionPlan plan;
    // Shared by the keyboard that posts keys and the tap that must ignore them.
    std::shared_ptr<SyntheticKeyLedger> ledger;
    std::shared_ptr<QtMainQueue> mainQueue;
    std::shared_ptr<Accessibility> accessibility;
    // Present when X11 says which window is active (X11 and XWayland).
    std::unique_ptr<X11ActiveWindow> activeWindow;
    // Present when sway says which window has the focus.
    std::shared_ptr<SwayFocus> swayFocus;
    std::shared_ptr<X11SelectionOwner> selectionOwner;
    // Absent where the session cannot say which window is in front.
    std::shared_ptr<FrontWindowProbe> frontWindow;
    std::shared_ptr<Injector> injector;
    std::shared_ptr<EventTapController> tap;
    std::shared_ptr<QtWorkspace> workspace;
    // Absent without XFixes or X11: then only a tray present at start is used.
    std::unique_ptr<X11SystemTray> systemTray;
    // KDE Plasma and GNOME: the portals' keyboard, the shortcut the desktop
    // says is held, and KWin's word on the window in front.
    std::shared_ptr<PortalHeldShortcut> heldShortcut;
    std::shared_ptr<PortalKeyboard> portalKeyboard;
    std::shared_ptr<KWinActiveWindow> kwinWindow;
    // The controller, for the shortcuts' descriptions the desktop shows.
    std::shared_ptr<std::weak_ptr<EventTapController>> describer =
        std::make_shared<std::weak_ptr<EventTapController>>();
};

std::unique_ptr<TrayApplication> TrayApplication::create(const SessionPlan& plan,
                                                         std::string& error) {
    auto services = std::make_unique<Services>();
    services->plan = plan;
    services->ledger = std::make_shared<SyntheticKeyLedger>();
    const bool x11 = plan.kind == SessionKind::x11 || plan.kind == SessionKind::waylandWithXWayland;
    if (x11) {
        services->activeWindow = X11ActiveWindow::create(error);
        if (!services->activeWindow) {
            return nullptr;
        }
    }
    if (plan.frontmost == Provider::sway || plan.trigger == Provider::sway) {
        services->swayFocus = std::make_shared<SwayFocus>();
    }
    services->heldShortcut = std::make_shared<PortalHeldShortcut>();
    if (plan.keyboard == Provider::portal) {
        services->portalKeyboard =
            std::make_shared<PortalKeyboard>(QDBusConnection::sessionBus(), services->heldShortcut,
                                             PortalRestoreToken::fileFor(homeDirectory()));
        if (plan.clipboard == Provider::portal) {
            services->portalKeyboard->askForClipboard();
        }
    }
    if (plan.frontmost == Provider::kwin) {
        services->kwinWindow = std::make_shared<KWinActiveWindow>(QDBusConnection::sessionBus());
    }
    if (plan.keyboard == Provider::x11) {
        services->accessibility = std::make_shared<X11Accessibility>(X11Accessibility::probe());
    } else if (services->portalKeyboard) {
        services->accessibility = std::make_shared<PortalAccessibility>(services->portalKeyboard);
    } else {
        services->accessibility = std::make_shared<SessionAccessibility>(plan.canFire());
    }

    std::string keyboardError;
    std::shared_ptr<KeyboardEvents> keyboard;
    if (services->portalKeyboard) {
        keyboard = services->portalKeyboard;
        // The desktop types only what the user's layout has; knowing the
        // layout lets a prompt it lacks be pasted instead of losing letters.
        std::string layoutError;
        if (auto layout = WaylandActiveLayout::create(layoutError)) {
            services->portalKeyboard->setLayout(std::move(layout));
        } else {
            std::cerr << "Tamsel: " << layoutError
                      << "; characters the keyboard layout lacks may not be typed.\n";
        }
    } else if (plan.keyboard == Provider::wayland) {
        keyboard = WaylandKeyboard::create(keyboardError);
    } else if (plan.keyboard == Provider::x11) {
        keyboard =
            X11Keyboard::create(services->ledger, keyboardError, X11Keyboard::defaultRemapRecord());
    }
    if (!keyboard) {
        if (!keyboardError.empty()) {
            std::cerr << "Tamsel: " << keyboardError << "\n";
        }
        keyboard = std::make_shared<NoKeyboard>();
    }

    std::vector<std::shared_ptr<Pasteboard>> pasteboards;
    if (plan.clipboard == Provider::wayland) {
        auto control = WaylandDataControl::create(error);
        if (!control) {
            return nullptr;
        }
        pasteboards.push_back(
            std::make_shared<WaylandPasteboard>(control, WaylandSelection::clipboard));
        if (control->hasPrimary()) {
            pasteboards.push_back(
                std::make_shared<WaylandPasteboard>(control, WaylandSelection::primary));
        }
    } else if (plan.clipboard == Provider::portal && services->portalKeyboard) {
        // The clipboard alone: the paste key below is Ctrl+Shift+V.
        pasteboards.push_back(std::make_shared<PortalClipboard>(QDBusConnection::sessionBus(),
                                                                services->portalKeyboard));
    } else if (x11 && plan.clipboard == Provider::x11) {
        services->selectionOwner = X11SelectionOwner::create(error);
        std::shared_ptr<X11SelectionReader> reader = X11SelectionReader::create(error);
        if (!services->selectionOwner || !reader) {
            return nullptr;
        }
        pasteboards.push_back(
            std::make_shared<X11Pasteboard>("CLIPBOARD", services->selectionOwner, reader));
        pasteboards.push_back(
            std::make_shared<X11Pasteboard>("PRIMARY", services->selectionOwner, reader));
    }
    // Without it the injection trusts that the focus stayed where it was.
    std::string probeError;
    std::shared_ptr<FrontWindowProbe> frontWindow;
    if (plan.frontmost == Provider::sway) {
        frontWindow = SwayFrontWindowProbe::create(probeError);
    } else if (plan.frontmost == Provider::x11) {
        frontWindow = X11FrontWindowProbe::create(probeError);
    } else if (services->kwinWindow) {
        frontWindow = std::make_shared<KWinFrontWindowProbe>(services->kwinWindow);
    }
    services->frontWindow = frontWindow;
    const Injector::Keystroke pasteKey =
        pasteboards.size() == 1
            ? Injector::Keystroke{vKeyCode, Modifiers::controlFlag | Modifiers::shiftFlag}
            : Injector::Keystroke{insertKeyCode, Modifiers::shiftFlag};
    services->injector = std::make_shared<Injector>(keyboard, std::move(pasteboards),
                                                    std::make_shared<SystemClock>(), pasteKey,
                                                    std::move(frontWindow));
    // Debian's rxvt-unicode loads an extension that stops every paste holding
    // a control character (a line break) to ask the user, and takes our
    // Return as the answer.
    services->injector->setPlainPasteApplications({"URxvt"});
    if (x11) {
        std::string trayError;
        services->systemTray = X11SystemTray::create(trayError);
        if (!services->systemTray) {
            std::cerr << "Tamsel: " << trayError << "\n";
        }
    }
    auto app = std::unique_ptr<TrayApplication>(new TrayApplication(std::move(services)));
    return app;
}

TrayApplication::TrayApplication(std::unique_ptr<Services> services)
    : services_(std::move(services)) {
    Services& s = *services_;
    s.mainQueue = std::make_shared<QtMainQueue>(this);
    std::shared_ptr<EventTapService> tapService;
    if (s.plan.trigger == Provider::sway) {
        tapService = std::make_shared<SwayEventTapService>(s.swayFocus);
    } else if (s.plan.trigger == Provider::portal) {
        PortalShortcutHooks hooks;
        hooks.describe = [describer = s.describer](const Hotkey& hotkey) {
            auto controller = describer->lock();
            if (!controller) {
                return hotkey.displayString();
            }
            const auto snapshot = controller->snapshot();
            const TriggerIndex::Match* match = snapshot->index.match(hotkey);
            if (!match) {
                return hotkey.displayString();
            }
            const Language language =
                resolveLanguage(snapshot->config.language, systemPreferredLanguages());
            const StringKey kind = match->kind == TriggerKind::send ? StringKey::triggerSend
                                                                    : StringKey::triggerInsert;
            return std::string(Strings::string(kind, language)) + ": " + match->rule.name;
        };
        // The tap thread's word goes to the main thread.
        hooks.problem = [this](PortalProblem problem) {
            QMetaObject::invokeMethod(
                this, [this, problem] { portalShortcutsAnswered(static_cast<int>(problem)); },
                Qt::QueuedConnection);
        };
        hooks.assigned = [this](std::vector<PortalAssignedTrigger> triggers) {
            std::map<std::string, std::string> differing;
            for (const PortalAssignedTrigger& assigned : triggers) {
                if (assigned.trigger != assigned.hotkey) {
                    differing[assigned.hotkey.stringValue()] = assigned.description;
                    std::cerr << "Tamsel: the desktop fires " << assigned.hotkey.displayString()
                              << " on "
                              << (assigned.description.empty() ? std::string("no key")
                                                               : assigned.description)
                              << std::endl;
                }
            }
            QMetaObject::invokeMethod(
                this,
                [this, differing = std::move(differing)] { model_->setDesktopTriggers(differing); },
                Qt::QueuedConnection);
        };
        tapService = std::make_shared<PortalShortcutTapService>(QDBusConnection::sessionBus(),
                                                                s.heldShortcut, std::move(hooks));
    } else {
        tapService = std::make_shared<X11EventTapService>(s.ledger,
                                                          EventTapController::syntheticEventMarker);
    }
    s.tap = std::make_shared<EventTapController>(std::move(tapService), s.accessibility, s.mainQueue);
    *s.describer = s.tap;
    // The desktop fires the shortcuts in every window; with no word on which
    // one is in front, the target list cannot hold them back.
    s.tap->setFrontmostKnowable(
        !(s.plan.trigger == Provider::portal && s.plan.frontmost == Provider::none));
    if (s.plan.frontmost == Provider::sway) {
        std::shared_ptr<SwayFocus> focus = s.swayFocus;
        s.workspace = std::make_shared<QtWorkspace>([focus] { return focus->application(); });
    } else if (std::shared_ptr<KWinActiveWindow> kwin = s.kwinWindow) {
        s.workspace = std::make_shared<QtWorkspace>([kwin] { return kwin->application(); });
    } else if (X11ActiveWindow* activeWindow = s.activeWindow.get()) {
        s.workspace = std::make_shared<QtWorkspace>(
            [activeWindow] { return activeWindow->current().windowClass; });
    } else {
        s.workspace = std::make_shared<QtWorkspace>([] { return std::optional<std::string>(); });
    }
    model_ = AppModel::create({std::make_shared<ConfigStore>(ConfigStore::defaultFileURL()), s.tap,
                               s.injector, s.mainQueue, s.accessibility, s.workspace,
                               // A grab held by another client can only be found by
                               // grabbing the keyboard ourselves, which would disturb
                               // the user's typing: report nothing.
                               [] { return std::optional<SecureInputStatus>(); }});
    LocalModelServer::Settings server;
    server.configuredURL = model_->config().modelServerURL;
    if (const char* ollamaHost = std::getenv("OLLAMA_HOST")) {
        server.ollamaHost = ollamaHost;
    }
    server.stateFile = LocalModelServer::defaultStateFile(homeDirectory());
    modelServer_ = std::make_shared<LocalModelServer>(std::move(server));
    auto labModel = std::make_shared<PromptLabModel>(
        std::make_shared<OnDeviceDrafter>(modelServer_), s.mainQueue);
    promptLab_ = std::make_shared<PromptLabWindowController>(
        std::make_shared<QtPromptLabWindowSystem>(), labModel);
}

TrayApplication::~TrayApplication() {
    shutdown();
    popover_.reset();
    trayIcon_.reset();
    trayMenu_.reset();
}

// Outside X11 some things do not work: say so where the user looks (stderr
// heard it at start).
void TrayApplication::reportSessionLimits() {
    if (services_->plan.kind != SessionKind::x11) {
        model_->setSessionPlan(services_->plan);
    }
}

void TrayApplication::launch() {
    model_->onOpenPromptLab = [this] {
        closePopover();
        if (!modelServerStarted_) {
            modelServerStarted_ = true;
            modelServer_->start();
        }
        promptLab_->show(*model_);
    };
    reportSessionLimits();
    setUpTrayIcon();
    setUpPopover();
    observeModel();
    observeActiveWindow();
    startPortals();
    model_->refreshAccessibility();
    if (model_->accessibilityGranted()) {
        model_->tap()->start();
    }
    updateTrayIcon();
    // The desktop's answer about its keyboard comes later; the setup guide
    // shows then, if it says no.
    if (!model_->accessibilityGranted() && !services_->portalKeyboard) {
        services_->accessibility->promptForTrust();
        startPermissionPolling();
        showPopover();
    }
}

void TrayApplication::shutdown() {
    if (shutDown_) {
        return;
    }
    shutDown_ = true;
    activeWindowNotifier_.reset();
    systemTrayNotifier_.reset();
    statusNotifierWatcher_.reset();
    secureInputTimer_.reset();
    permissionTimer_.reset();
    modelSubscription_ = Subscription();
    model_->flushPendingSave();
    model_->tap()->stop();
    if (services_->kwinWindow) {
        services_->kwinWindow->unload();
    }
    if (services_->portalKeyboard) {
        services_->portalKeyboard->close(true);
    }
    handOverClipboard();
}

void TrayApplication::startPortals() {
    if (std::shared_ptr<KWinActiveWindow> kwin = services_->kwinWindow) {
        kwin->onChange = [this](const std::optional<std::string>& application) {
            model_->tap()->updateFrontmostBundleID(application);
        };
        kwin->setKnownNames(model_->config().targetBundleIDs);
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        if (auto problem =
                kwin->load(runtime.isEmpty() ? std::string("/tmp") : runtime.toStdString())) {
            std::cerr << "Tamsel: " << *problem
                      << "; the list of target applications cannot be applied." << std::endl;
        }
    }
    if (std::shared_ptr<PortalKeyboard> keyboard = services_->portalKeyboard) {
        keyboard->onChange = [this](PortalProblem problem) {
            portalKeyboardAnswered(static_cast<int>(problem));
        };
        keyboard->start();
    }
}

void TrayApplication::portalKeyboardAnswered(int problem) {
    keyboardProblem_ = problem;
    reportSessionProblem();
    reportWithheldClipboard();
    model_->refreshAccessibility();
    if (model_->accessibilityGranted()) {
        permissionTimer_.reset();
        model_->tap()->start();
    } else {
        // Nothing is typed; the setup guide says why and asks again.
        model_->tap()->stop();
        startPermissionPolling();
        showPopover();
    }
    updateTrayIcon();
}

void TrayApplication::portalShortcutsAnswered(int problem) {
    shortcutsProblem_ = problem;
    reportSessionProblem();
}

void TrayApplication::reportSessionProblem() {
    const Language language = model_->language();
    std::string text;
    for (const auto& [problem, feature] :
         {std::pair{keyboardProblem_, Portal::Feature::keyboard},
          std::pair{shortcutsProblem_, Portal::Feature::shortcuts}}) {
        const std::string line =
            Portal::message(static_cast<PortalProblem>(problem), feature, language);
        if (!line.empty()) {
            std::cerr << "Tamsel: " << line << std::endl;
            text += (text.empty() ? "" : " ") + line;
        }
    }
    model_->setSessionProblem(text.empty() ? std::nullopt : std::optional<std::string>(text));
}

// The injector types while the clipboard is not shared; the user hears why
// once, and the banner says so until a later session brings it.
void TrayApplication::reportWithheldClipboard() {
    const SessionPlan& plan = services_->plan;
    if (plan.clipboard != Provider::portal || !services_->portalKeyboard ||
        !services_->portalKeyboard->ready()) {
        return;
    }
    const bool withheld = services_->portalKeyboard->clipboardSession().isEmpty();
    if (withheld == clipboardWithheld_) {
        return;
    }
    clipboardWithheld_ = withheld;
    const SessionPlan shown = withheld ? plan.withClipboardWithheld() : plan;
    if (withheld) {
        std::cerr << "Tamsel: " << SessionTexts::clipboardWithheld(model_->language()) << std::endl;
    }
    model_->setSessionPlan(shown);
}

// After a paste we may hold what the user had copied; it would go with us.
void TrayApplication::handOverClipboard() {
    if (!services_->selectionOwner) {
        return;
    }
    using Handover = X11SelectionOwner::Handover;
    switch (services_->selectionOwner->handToClipboardManager()) {
    case Handover::refused:
    case Handover::unanswered:
        std::cerr << "Tamsel: the clipboard manager did not take the clipboard; what you copied "
                     "last is gone with Tamsel.\n";
        break;
    case Handover::nothingToHand:
    case Handover::noManager:
    case Handover::handed:
        break;
    }
}

void TrayApplication::setUpTrayIcon() {
    watchForTray();
    // Without a tray the shortcuts still work and a second start opens the
    // popover; the icon comes when a panel does (it often starts after us).
    // Qt settles once per process, at the first question about trays,
    // whether its icons go over D-Bus: asked before a late StatusNotifier
    // panel is up, it would dock into XEmbed for good. Where our own watchers
    // follow the panels, Qt is asked only once one is there.
    if (services_->systemTray || statusNotifierWatcher_) {
        trayChanged();
    } else if (QSystemTrayIcon::isSystemTrayAvailable()) {
        createTrayIcon();
    }
}

namespace {
constexpr char statusNotifierWatcher[] = "org.kde.StatusNotifierWatcher";

// Such a panel draws icons by name and recolours symbolic ones.
bool panelRecoloursIcons() {
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    return bus != nullptr && bus->isServiceRegistered(statusNotifierWatcher).value();
}
} // namespace

void TrayApplication::watchForTray() {
    if (X11SystemTray* tray = services_->systemTray.get()) {
        tray->setOnChange([this](const SystemTrayState&) { trayChanged(); });
        systemTrayNotifier_ =
            std::make_unique<QSocketNotifier>(tray->fileDescriptor(), QSocketNotifier::Read);
        connect(systemTrayNotifier_.get(), &QSocketNotifier::activated, this,
                [tray] { tray->processEvents(); });
        tray->processEvents();
    }
    if (QDBusConnection::sessionBus().isConnected()) {
        statusNotifierWatcher_ = std::make_unique<QDBusServiceWatcher>(
            statusNotifierWatcher, QDBusConnection::sessionBus(),
            QDBusServiceWatcher::WatchForRegistration);
        connect(statusNotifierWatcher_.get(), &QDBusServiceWatcher::serviceRegistered, this,
                [this] { trayChanged(); });
    }
}

void TrayApplication::trayChanged() {
    const bool xembedTray = services_->systemTray && services_->systemTray->current().present;
    if (!trayIcon_ && (xembedTray || panelRecoloursIcons())) {
        createTrayIcon();
    }
    // A new panel, or new colours: draw again.
    iconShowsActive_.reset();
    updateTrayIcon();
}

void TrayApplication::createTrayIcon() {
    trayIcon_ = std::make_unique<QSystemTrayIcon>();
    trayIcon_->setToolTip(QStringLiteral("Tamsel"));
    connect(trayIcon_.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
                    togglePopover();
                }
            });
    TrayMenu::Actions actions;
    actions.open = [this] { showPopover(); };
    actions.quit = [] {
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    };
    trayMenu_ = std::make_unique<TrayMenu>(model_, std::move(actions));
    trayIcon_->setContextMenu(trayMenu_.get());
}

void TrayApplication::setUpPopover() {
    SettingsActions actions;
    actions.quit = [] {
        // After the click that asked for it has been handled.
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    };
    actions.launchAtLogin = [this] { return desktop_.launchesAtLogin(); };
    actions.setLaunchAtLogin = [this](bool enabled) { return desktop_.setLaunchAtLogin(enabled); };
    actions.openFile = [this](const std::filesystem::path& file) { desktop_.openFile(file); };
    actions.revealFile = [this](const std::filesystem::path& file) { desktop_.revealFile(file); };
    actions.commandProgram = [program = FireClient::programForCommands()] { return program; };
    actions.copyText = [](const std::string& text) {
        QGuiApplication::clipboard()->setText(QString::fromStdString(text));
    };
    popover_ = std::make_unique<PopoverWindow>(model_, std::move(actions));
    connect(popover_.get(), &PopoverWindow::hidden, this, [this] {
        QMetaObject::invokeMethod(
            this, [this] { secureInputTimer_.reset(); }, Qt::QueuedConnection);
    });
}

void TrayApplication::observeModel() {
    // Subscribers hear of a change before it is made: look on the next turn.
    modelSubscription_ = model_->subscribe([this] {
        if (updateQueued_) {
            return;
        }
        updateQueued_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                updateQueued_ = false;
                if (services_->kwinWindow) {
                    services_->kwinWindow->setKnownNames(model_->config().targetBundleIDs);
                }
                modelServer_->setConfiguredURL(model_->config().modelServerURL);
                updateTrayIcon();
                reportUnavailableHotkeys();
            },
            Qt::QueuedConnection);
    });
}

void TrayApplication::observeActiveWindow() {
    if (!services_->activeWindow) {
        return; // sway tells the tap itself which window has the focus
    }
    X11ActiveWindow& watcher = *services_->activeWindow;
    watcher.setOnChange(
        [this](const ActiveApplication& application) { activeApplicationChanged(application); });
    activeWindowNotifier_ =
        std::make_unique<QSocketNotifier>(watcher.fileDescriptor(), QSocketNotifier::Read);
    connect(activeWindowNotifier_.get(), &QSocketNotifier::activated, this,
            [&watcher] { watcher.processEvents(); });
    watcher.processEvents(); // what Xlib read before the notifier existed
}

void TrayApplication::activeApplicationChanged(const ActiveApplication& application) {
    model_->tap()->updateFrontmostBundleID(application.windowClass);
    if (application.processID != static_cast<long>(::getpid())) {
        closePopover();
    }
}

// Besides the popover's banner, for whoever started us from a terminal.
void TrayApplication::reportUnavailableHotkeys() {
    if (model_->unavailableHotkeys() == reportedUnavailable_) {
        return;
    }
    reportedUnavailable_ = model_->unavailableHotkeys();
    if (auto message = model_->unavailableHotkeysMessage()) {
        std::cerr << "Tamsel: " << *message << std::endl;
    }
}

void TrayApplication::updateTrayIcon() {
    const bool active = model_->runState() == AppModel::RunState::active;
    if (iconShowsActive_ == active) {
        return;
    }
    iconShowsActive_ = active;
    if (!trayIcon_) {
        return;
    }
    std::optional<QColor> trayForeground;
    if (services_->systemTray) {
        if (auto colour = services_->systemTray->current().foreground) {
            trayForeground = QColor(colour->red, colour->green, colour->blue);
        }
    }
    trayIcon_->setIcon(MenuBarIcon::trayIcon(active, panelRecoloursIcons(),
                                             MenuBarIcon::inkFor(trayForeground),
                                             qApp->devicePixelRatio()));
    trayIcon_->show();
}

void TrayApplication::showPopover() {
    if (!popover_) {
        return;
    }
    model_->refreshAccessibility();
    model_->reloadIfChangedExternally();
    model_->refreshSecureInput();
    if (!model_->accessibilityGranted()) {
        startPermissionPolling();
    }
    const QRect anchor = trayIcon_ ? trayIcon_->geometry() : QRect();
    popover_->showNear(anchor, QCursor::pos());
    startSecureInputPolling();
}

FireReply TrayApplication::fire(const FireRequest& request) {
    std::optional<FrontWindow> front;
    if (services_->frontWindow) {
        // A probe that cannot answer leaves the application unknown, which no
        // target list but the empty one admits.
        front = services_->frontWindow->frontWindow().value_or(FrontWindow{});
    }
    return model_->fire(request, front);
}

void TrayApplication::togglePopover() {
    if (popoverShown()) {
        closePopover();
    } else {
        showPopover();
    }
}

bool TrayApplication::popoverShown() const {
    return popover_ && popover_->isVisible();
}

void TrayApplication::closePopover() {
    if (popoverShown()) {
        popover_->hide();
    }
}

void TrayApplication::startPermissionPolling() {
    if (permissionTimer_) {
        return;
    }
    permissionTimer_ = std::make_unique<QTimer>();
    // Half a second of slack is fine: a coarse timer may fire 5 % late.
    permissionTimer_->setTimerType(Qt::CoarseTimer);
    connect(permissionTimer_.get(), &QTimer::timeout, this, [this] { checkPermission(); });
    permissionTimer_->start(permissionPollMS);
}

void TrayApplication::startSecureInputPolling() {
    if (secureInputTimer_) {
        return;
    }
    secureInputTimer_ = std::make_unique<QTimer>();
    secureInputTimer_->setTimerType(Qt::CoarseTimer);
    connect(secureInputTimer_.get(), &QTimer::timeout, this,
            [this] { model_->refreshSecureInput(); });
    secureInputTimer_->start(secureInputPollMS);
}

void TrayApplication::checkPermission() {
    model_->refreshAccessibility();
    if (model_->accessibilityGranted()) {
        // Deleting the timer from inside its own signal is not safe.
        permissionTimer_.release()->deleteLater();
        model_->refreshAccessibility();
        if (model_->accessibilityGranted()) {
            model_->tap()->start();
        }
    } else {
        startPermissionPolling();
    }
    updateTrayIcon();
}

} // namespace tamsel
