#pragma once

// Which backend serves each capability in the session Tamsel starts in, and
// what the user must be told about it. Under X11 everything works; under
// Wayland, X11 reaches only XWayland windows, sway lends its own bindings
// and focus over IPC, and wlroots compositors offer a virtual keyboard and
// data control. KDE Plasma and GNOME offer neither; their desktop portals
// hold shortcuts for us and type on our behalf, KWin runs a script that
// tells us the window in front, and where the portal has a Clipboard
// interface (GNOME) the keyboard's session also lends us the clipboard.
// Nothing here probes: the shell does and hands over what it found.

#include <cstdint>
#include <string>
#include <vector>

#include "core/config/Language.h"

namespace tamsel {

struct SessionOffer {
    bool waylandSession = false;  // WAYLAND_DISPLAY names a compositor that answers
    bool x11Display = false;      // DISPLAY answers (XWayland in a Wayland session)
    bool swayIpc = false;         // SWAYSOCK answers
    bool virtualKeyboard = false; // zwp_virtual_keyboard_manager_v1
    bool dataControl = false;     // zwlr_data_control_manager_v1
    // The desktop portals' interface versions on the session bus; 0: absent.
    std::uint32_t portalShortcuts = 0;     // org.freedesktop.portal.GlobalShortcuts
    std::uint32_t portalRemoteDesktop = 0; // org.freedesktop.portal.RemoteDesktop
    bool kwinScripting = false;            // org.kde.KWin's /Scripting
    std::uint32_t portalClipboard = 0;     // org.freedesktop.portal.Clipboard
    bool operator==(const SessionOffer&) const = default;
};

enum class SessionKind : std::uint8_t { x11, waylandWithXWayland, waylandOnly, none };
enum class Provider : std::uint8_t { x11, sway, wayland, portal, kwin, none };

struct SessionPlan {
    SessionKind kind = SessionKind::none;
    Provider trigger = Provider::none;   // who reports the shortcuts
    Provider frontmost = Provider::none; // who says which application is in front
    Provider keyboard = Provider::none;  // who types and presses the paste key
    Provider clipboard = Provider::none; // whose clipboard the paste goes through
    // The portal keeps the user's consent to the keyboard across starts
    // (RemoteDesktop version 2 and later).
    bool keyboardConsentKept = false;
    // The desktop started the keyboard's session without sharing its
    // clipboard, which the plan had counted on: prompts are typed.
    bool clipboardWithheld = false;

    // Whether shortcuts and typing reach only X11 windows (XWayland) here.
    bool onlyX11Windows() const;
    // Whether anything can fire at all: a keyboard. Where nothing watches
    // shortcuts, the desktop's own can still run `tamsel --fire`.
    bool canFire() const;
    // Whether a paste can go through a clipboard of ours; without one every
    // prompt is typed.
    bool canPaste() const { return clipboard != Provider::none; }
    // The plan once the desktop's session came without its clipboard.
    SessionPlan withClipboardWithheld() const;
    bool operator==(const SessionPlan&) const = default;

    static SessionPlan choose(const SessionOffer& offer);
};

namespace SessionTexts {

// One line for stderr and the setup guide: the session and who serves what.
std::string summary(const SessionPlan& plan, Language language);
// What does not work in this session, one sentence each; empty under X11.
std::vector<std::string> limits(const SessionPlan& plan, Language language);
// The limit a session without the clipboard it asked for brings.
std::string clipboardWithheld(Language language);

} // namespace SessionTexts

} // namespace tamsel
