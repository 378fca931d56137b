#pragma once

// The event tap through the GlobalShortcuts portal (KDE Plasma, GNOME 48+,
// Hyprland). The desktop holds the shortcuts for us: we open a session, bind
// every watched shortcut with a description and the trigger we would like,
// and hear Activated when one is pressed, in any application. The user may
// give a shortcut another trigger in the desktop's dialog; what it really is
// comes back with the binding and with ShortcutsChanged.
//
// A session binds once (version 1 of the interface has no way to change a
// binding), so a new set of shortcuts closes it and binds in a new one; only
// one binding is in flight at a time, since each may bring up the desktop's
// dialog. The tap runs a Qt event loop on the tap thread; D-Bus answers
// arrive there.

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include "core/config/Hotkey.h"
#include "platform/EventTap.h"
#include "platform/portal/PortalRequest.h"

class QEventLoop;

namespace tamsel {

// The shortcut the desktop last said is held down, from Activated to
// Deactivated. A desktop that never says Deactivated (or says it late)
// holds us up no longer than `limit`. Any thread.
class PortalHeldShortcut {
public:
    static constexpr std::chrono::milliseconds limit{700};

    void pressed(const Hotkey& hotkey);
    void released();
    std::optional<Hotkey> held() const;

private:
    mutable std::mutex mutex_;
    std::optional<Hotkey> hotkey_;
    std::chrono::steady_clock::time_point since_;
};

// A shortcut as the desktop bound it.
struct PortalAssignedTrigger {
    Hotkey hotkey;                 // the shortcut we asked for
    std::string description;       // what the desktop shows for its trigger; empty: none bound
    std::optional<Hotkey> trigger; // that trigger read as a shortcut, where we can
    bool operator==(const PortalAssignedTrigger&) const = default;
};

struct PortalShortcutHooks {
    // The description the desktop shows next to a shortcut ("Append & Send:
    // Review"). Tap thread.
    std::function<std::string(const Hotkey&)> describe;
    // After every binding, success or not, and when the desktop ends the
    // session. Tap thread; hand it off.
    std::function<void(PortalProblem)> problem;
    std::function<void(std::vector<PortalAssignedTrigger>)> assigned;
};

class PortalShortcutSession;

class PortalShortcutTap final : public EventTap {
public:
    PortalShortcutTap(QDBusConnection bus, EventTapClient& client,
                      std::shared_ptr<PortalHeldShortcut> held, PortalShortcutHooks hooks);
    ~PortalShortcutTap() override;

    void setEnabled(bool enabled) override;
    void run() override;
    void stop() override;
    void watchedHotkeysChanged() override;

    // The id a shortcut is bound under: its notation, so a desktop keeps the
    // user's own trigger for it as long as the shortcut stays.
    static QString shortcutID(const Hotkey& hotkey);

    // Every session's token. KDE Plasma keeps a session's shortcuts under a
    // name made from it, and leaves each key with the first name that took
    // it, in use or not: with a token of their own, the sessions of the next
    // run would find every key taken and bind nothing, and the triggers the
    // user chose would be lost.
    static constexpr char sessionToken[] = "tamsel_shortcuts";

private:
    void poke();

    QDBusConnection bus_;
    EventTapClient& client_;
    std::shared_ptr<PortalHeldShortcut> held_;
    PortalShortcutHooks hooks_;
    std::atomic<bool> enabled_{true};
    std::mutex mutex_;
    bool stopped_ = false;                     // guarded by mutex_
    QEventLoop* loop_ = nullptr;               // guarded by mutex_; lives in run()
    PortalShortcutSession* session_ = nullptr; // guarded by mutex_; lives in run()
};

class PortalShortcutTapService final : public EventTapService {
public:
    PortalShortcutTapService(QDBusConnection bus, std::shared_ptr<PortalHeldShortcut> held,
                             PortalShortcutHooks hooks)
        : bus_(std::move(bus)), held_(std::move(held)), hooks_(std::move(hooks)) {}
    std::shared_ptr<EventTap> createTap(EventTapClient& client) override;

private:
    QDBusConnection bus_;
    std::shared_ptr<PortalHeldShortcut> held_;
    PortalShortcutHooks hooks_;
};

// The session itself; tap thread only.
class PortalShortcutSession final : public QObject {
    Q_OBJECT
public:
    PortalShortcutSession(QDBusConnection bus, EventTapClient& client,
                          std::shared_ptr<PortalHeldShortcut> held, PortalShortcutHooks hooks,
                          std::function<bool()> enabled);
    ~PortalShortcutSession() override;

    // Binds what the client watches now, unless that is bound already.
    void rebind();

private Q_SLOTS:
    void activated(const QDBusMessage& message);
    void deactivated(const QDBusMessage& message);
    void shortcutsChanged(const QDBusMessage& message);
    void sessionClosed(const QDBusMessage& message);

private:
    void close();
    // The session token is the process's; false while another session has it.
    bool takeToken();
    void releaseToken();
    void bind(const std::vector<Hotkey>& wanted);
    // Whether a list of shortcuts from the desktop has each of `shortcuts`.
    static bool namesEvery(const QVariant& listed, const QList<PortalShortcutEntry>& shortcuts);
    void bound(const std::vector<Hotkey>& wanted, const PortalResponse& response);
    void report(PortalProblem problem);
    void readAssigned(const QVariant& shortcuts);
    std::optional<Hotkey> hotkeyFor(const QString& id) const;
    bool ours(const QDBusMessage& message) const;

    QDBusConnection bus_;
    EventTapClient& client_;
    std::shared_ptr<PortalHeldShortcut> held_;
    PortalShortcutHooks hooks_;
    std::function<bool()> enabled_;
    QString session_;
    std::vector<Hotkey> bound_;
    std::vector<PortalAssignedTrigger> assigned_;
    QPointer<PortalRequest> inFlight_;
    bool again_ = false;
    bool holdsToken_ = false;
    QTimer retry_; // for the token
};

} // namespace tamsel
