#pragma once

// Keys through the RemoteDesktop portal, the one way KDE Plasma and GNOME let
// a program type into other applications. We ask for the keyboard alone; the
// desktop asks the user once per session, or (interface version 2 and later)
// once for good: the restore token it then gives us is kept in a file of its
// own and handed back at the next start, so the dialog does not come again.
//
// Named keys (the paste key, Return) go as evdev key codes; text goes as
// keysyms, which the desktop types with whatever key of the user's layout
// makes them. Until the desktop says yes nothing is sent at all.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QPointer>

#include "platform/KeyboardEvents.h"
#include "platform/KeyboardLayout.h"
#include "platform/portal/PortalRequest.h"
#include "platform/portal/PortalShortcutTap.h"

namespace tamsel {

class PortalKeyboard final : public QObject, public KeyboardEvents {
    Q_OBJECT
public:
    static constexpr std::uint32_t keyboardDevice = 1;
    static constexpr std::uint32_t persistUntilRevoked = 2;

    // `held` tells which shortcut the user still holds; `tokenFile` is where
    // the restore token lives (see PortalRestoreToken).
    PortalKeyboard(QDBusConnection bus, std::shared_ptr<PortalHeldShortcut> held,
                   std::filesystem::path tokenFile);
    ~PortalKeyboard() override;

    // The thread the object lives on (with an event loop): opens a session
    // and asks for the keyboard; the desktop may show its dialog. Asking
    // again after a refusal is how the user changes their mind.
    void start();
    // Ends the session; nothing is sent afterwards. `wait`: until the
    // desktop has heard (at exit).
    void close(bool wait = false);
    // Any thread.
    bool ready() const { return ready_.load(); }
    // Before start(): the session asks for the desktop's clipboard too,
    // where the portal has the Clipboard interface.
    void askForClipboard() { clipboardWanted_ = true; }
    // Any thread: the running session while the desktop shares its
    // clipboard in it; empty otherwise.
    QString clipboardSession() const;
    PortalProblem problem() const;
    // On the object's thread, after each answer: none once the keyboard is ours.
    std::function<void(PortalProblem)> onChange;

    // KeyboardEvents, any thread.
    std::unique_ptr<KeyEventSource> createPrivateSource() override { return nullptr; }
    std::unique_ptr<SyntheticKeyEvent> createKeyEvent(KeyEventSource* source, std::uint16_t keyCode,
                                                      bool keyDown) override;
    void post(SyntheticKeyEvent& event) override;
    // The desktop shows no program the real keyboard; what we know is the
    // shortcut it said is still held.
    std::uint64_t combinedModifierFlags() override;
    bool isKeyDown(std::uint16_t keyCode) override;
    // Asks the layout, when one was given: the desktop drops the keysyms its
    // active layout lacks.
    bool canType(std::string_view text) override;
    // Set once, before the first injection; without it every text counts
    // as typeable.
    void setLayout(std::shared_ptr<KeyboardLayout> layout) { layout_ = std::move(layout); }
    // The keysym typing `character` sends; NoSymbol for none.
    static std::uint32_t keysymFor(char32_t character);

    // The evdev code for a virtual key code the injector presses by name.
    static std::optional<int> evdevCode(std::uint16_t virtualKeyCode);

private Q_SLOTS:
    void sessionClosed(const QDBusMessage& message);

private:
    void createSession();
    void selectDevices();
    void startSession();
    bool requestClipboard(const QString& session);
    void fail(PortalProblem problem);
    void settle(PortalProblem problem);
    bool sendKeycode(int code, bool down);
    bool sendKeysym(std::uint32_t keysym, bool down);
    bool send(const char* method, int value, bool down);

    QDBusConnection bus_;
    std::shared_ptr<PortalHeldShortcut> held_;
    std::filesystem::path tokenFile_;
    std::shared_ptr<KeyboardLayout> layout_;
    std::optional<std::uint32_t> version_;
    QPointer<PortalRequest> request_;
    std::atomic<bool> ready_{false};
    bool clipboardWanted_ = false;
    std::atomic<bool> clipboardShared_{false};
    mutable std::mutex mutex_;
    QString session_;                             // guarded by mutex_
    PortalProblem problem_ = PortalProblem::none; // guarded by mutex_
};

} // namespace tamsel
