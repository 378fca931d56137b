#include "platform/portal/PortalKeyboard.h"

#include <iostream>
#include <set>

#include <QDBusObjectPath>
#include <xkbcommon/xkbcommon-keysyms.h>
#include <xkbcommon/xkbcommon.h>

#include "core/config/Hotkey.h"
#include "core/toolkit/TextToolkit.h"
#include "platform/portal/PortalRestoreToken.h"

namespace tamsel {

namespace {

constexpr char remoteDesktopInterface[] = "org.freedesktop.portal.RemoteDesktop";
constexpr char clipboardInterface[] = "org.freedesktop.portal.Clipboard";

// linux/input-event-codes.h, the numbering the portal takes.
constexpr int evdevLeftCtrl = 29;
constexpr int evdevLeftShift = 42;
constexpr int evdevLeftAlt = 56;
constexpr int evdevLeftMeta = 125;

class PortalKeyEvent final : public SyntheticKeyEvent {
public:
    PortalKeyEvent(std::optional<int> code, bool down) : code(code), down(down) {}
    void setFlags(std::uint64_t value) override { flags = value; }
    void setUnicodeString(std::u16string_view units) override { text.assign(units); }
    // The desktop holds the shortcuts; our keys never reach a tap of ours.
    void setSourceUserData(std::int64_t) override {}

    std::optional<int> code;
    bool down;
    std::uint64_t flags = 0;
    std::u16string text;
};

const std::pair<std::uint64_t, int> modifierKeys[] = {
    {Modifiers::controlFlag, evdevLeftCtrl},
    {Modifiers::optionFlag, evdevLeftAlt},
    {Modifiers::shiftFlag, evdevLeftShift},
    {Modifiers::commandFlag, evdevLeftMeta},
};

} // namespace

PortalKeyboard::PortalKeyboard(QDBusConnection bus, std::shared_ptr<PortalHeldShortcut> held,
                               std::filesystem::path tokenFile)
    : bus_(std::move(bus)), held_(std::move(held)), tokenFile_(std::move(tokenFile)) {}

PortalKeyboard::~PortalKeyboard() {
    close();
}

std::optional<int> PortalKeyboard::evdevCode(std::uint16_t virtualKeyCode) {
    switch (virtualKeyCode) {
    case 36: // Return
    case 76: // keypad Enter
        return 28;
    case 114: // Insert (the "Help" key on Apple keyboards)
        return 110;
    case 9: // V
        return 47;
    case 48: // Tab
        return 15;
    case 49: // Space
        return 57;
    default:
        return std::nullopt;
    }
}

QString PortalKeyboard::clipboardSession() const {
    std::lock_guard lock(mutex_);
    return clipboardShared_ && ready_ ? session_ : QString();
}

PortalProblem PortalKeyboard::problem() const {
    std::lock_guard lock(mutex_);
    return problem_;
}

void PortalKeyboard::start() {
    if (request_ || ready_) {
        return;
    }
    close();
    if (!version_) {
        version_ = Portal::version(bus_, QLatin1String(remoteDesktopInterface));
    }
    if (!version_) {
        fail(PortalProblem::missing);
        return;
    }
    createSession();
}

void PortalKeyboard::createSession() {
    QVariantMap options;
    options.insert(QStringLiteral("session_handle_token"), Portal::newToken("keyboard"));
    request_ = PortalRequest::start(
        bus_, QLatin1String(remoteDesktopInterface), QStringLiteral("CreateSession"), {}, options,
        this, [this](const PortalResponse& response) {
            if (!response.succeeded()) {
                fail(response.problem());
                return;
            }
            const QVariant handle = response.results.value(QStringLiteral("session_handle"));
            const QString session = handle.userType() == qMetaTypeId<QDBusObjectPath>()
                                        ? handle.value<QDBusObjectPath>().path()
                                        : handle.toString();
            {
                std::lock_guard lock(mutex_);
                session_ = session;
            }
            bus_.connect(QLatin1String(Portal::service), session,
                         QLatin1String(Portal::sessionInterface), QStringLiteral("Closed"), this,
                         SLOT(sessionClosed(QDBusMessage)));
            selectDevices();
        });
}

void PortalKeyboard::selectDevices() {
    QVariantMap options;
    options.insert(QStringLiteral("types"), keyboardDevice);
    // Only version 2 knows persistence; version 1 would reject the options.
    if (*version_ >= 2) {
        options.insert(QStringLiteral("persist_mode"), persistUntilRevoked);
        if (auto token = PortalRestoreToken::read(tokenFile_)) {
            options.insert(QStringLiteral("restore_token"), QString::fromStdString(*token));
        }
    }
    QString session;
    {
        std::lock_guard lock(mutex_);
        session = session_;
    }
    request_ = PortalRequest::start(bus_, QLatin1String(remoteDesktopInterface),
                                    QStringLiteral("SelectDevices"),
                                    {QVariant::fromValue(QDBusObjectPath(session))}, options, this,
                                    [this](const PortalResponse& response) {
                                        if (!response.succeeded()) {
                                            fail(response.problem());
                                            return;
                                        }
                                        startSession();
                                    });
}

// The clipboard must be asked for before Start; a portal that refuses the
// request still lets us have the keyboard.
bool PortalKeyboard::requestClipboard(const QString& session) {
    if (!clipboardWanted_ || !Portal::version(bus_, QLatin1String(clipboardInterface))) {
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QLatin1String(Portal::service), QLatin1String(Portal::objectPath),
        QLatin1String(clipboardInterface), QStringLiteral("RequestClipboard"));
    call << QVariant::fromValue(QDBusObjectPath(session)) << QVariantMap();
    return bus_.call(call, QDBus::Block, 2000).type() == QDBusMessage::ReplyMessage;
}

void PortalKeyboard::startSession() {
    QString session;
    {
        std::lock_guard lock(mutex_);
        session = session_;
    }
    const bool clipboardAsked = requestClipboard(session);
    request_ = PortalRequest::start(
        bus_, QLatin1String(remoteDesktopInterface), QStringLiteral("Start"),
        {QVariant::fromValue(QDBusObjectPath(session)), QString()}, {}, this,
        [this, clipboardAsked](const PortalResponse& response) {
            if (!response.succeeded()) {
                fail(response.problem());
                return;
            }
            const uint devices = response.results.value(QStringLiteral("devices")).toUInt();
            if ((devices & keyboardDevice) == 0) {
                // The user allowed the session but not the keyboard.
                fail(PortalProblem::denied);
                return;
            }
            const QString token =
                response.results.value(QStringLiteral("restore_token")).toString();
            if (!token.isEmpty()) {
                if (auto error = PortalRestoreToken::write(tokenFile_, token.toStdString())) {
                    // The keyboard works; only next time's dialog is not spared.
                    std::cerr << "Tamsel: " << *error << std::endl;
                }
            }
            clipboardShared_ = clipboardAsked &&
                               response.results.value(QStringLiteral("clipboard_enabled")).toBool();
            ready_ = true;
            settle(PortalProblem::none);
        });
}

void PortalKeyboard::fail(PortalProblem problem) {
    close();
    settle(problem);
}

void PortalKeyboard::settle(PortalProblem problem) {
    {
        std::lock_guard lock(mutex_);
        problem_ = problem;
    }
    if (onChange) {
        onChange(problem);
    }
}

void PortalKeyboard::close(bool wait) {
    if (request_) {
        request_->cancel();
    }
    ready_ = false;
    clipboardShared_ = false;
    QString session;
    {
        std::lock_guard lock(mutex_);
        session = std::exchange(session_, QString());
    }
    if (!session.isEmpty()) {
        bus_.disconnect(QLatin1String(Portal::service), session,
                        QLatin1String(Portal::sessionInterface), QStringLiteral("Closed"), this,
                        SLOT(sessionClosed(QDBusMessage)));
        Portal::closeSession(bus_, session, wait);
    }
}

void PortalKeyboard::sessionClosed(const QDBusMessage& message) {
    {
        std::lock_guard lock(mutex_);
        // A session we ended ourselves, or one before it, is no news.
        if (session_.isEmpty() || message.path() != session_) {
            return;
        }
        session_.clear();
    }
    fail(PortalProblem::closed);
}

std::unique_ptr<SyntheticKeyEvent>
PortalKeyboard::createKeyEvent(KeyEventSource*, std::uint16_t keyCode, bool keyDown) {
    return std::make_unique<PortalKeyEvent>(evdevCode(keyCode), keyDown);
}

bool PortalKeyboard::send(const char* method, int value, bool down) {
    QString session;
    {
        std::lock_guard lock(mutex_);
        session = session_;
    }
    if (!ready_ || session.isEmpty()) {
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QLatin1String(Portal::service), QLatin1String(Portal::objectPath),
        QLatin1String(remoteDesktopInterface), QLatin1String(method));
    call << QVariant::fromValue(QDBusObjectPath(session)) << QVariantMap() << value
         << static_cast<uint>(down ? 1 : 0);
    // Waiting for each answer keeps the keys in order and spots a session the
    // desktop has ended.
    const QDBusMessage reply = bus_.call(call, QDBus::Block, 2000);
    return reply.type() == QDBusMessage::ReplyMessage;
}

bool PortalKeyboard::sendKeycode(int code, bool down) {
    return send("NotifyKeyboardKeycode", code, down);
}

bool PortalKeyboard::sendKeysym(std::uint32_t keysym, bool down) {
    return send("NotifyKeyboardKeysym", static_cast<int>(keysym), down);
}

void PortalKeyboard::post(SyntheticKeyEvent& event) {
    auto& key = static_cast<PortalKeyEvent&>(event);
    if (!ready_) {
        return;
    }
    if (!key.text.empty()) {
        if (!key.down) {
            return;
        }
        for (std::size_t at = 0; at < key.text.size(); ++at) {
            char32_t character = key.text[at];
            if (character >= 0xD800 && character <= 0xDBFF && at + 1 < key.text.size()) {
                character = 0x10000 + ((character - 0xD800) << 10) + (key.text[at + 1] - 0xDC00);
                ++at;
            }
            const std::uint32_t keysym = keysymFor(character);
            if (keysym == XKB_KEY_NoSymbol) {
                continue;
            }
            if (!sendKeysym(keysym, true) || !sendKeysym(keysym, false)) {
                return;
            }
        }
        return;
    }
    if (!key.code) {
        return;
    }
    if (key.down) {
        for (const auto& [flag, code] : modifierKeys) {
            if (key.flags & flag) {
                sendKeycode(code, true);
            }
        }
        sendKeycode(*key.code, true);
    } else {
        sendKeycode(*key.code, false);
        for (auto it = std::rbegin(modifierKeys); it != std::rend(modifierKeys); ++it) {
            if (key.flags & it->first) {
                sendKeycode(it->second, false);
            }
        }
    }
}

std::uint32_t PortalKeyboard::keysymFor(char32_t character) {
    return character == U'\n' || character == U'\r' ? XKB_KEY_Return
                                                     : xkb_utf32_to_keysym(character);
}

bool PortalKeyboard::canType(std::string_view text) {
    if (!layout_) {
        return true;
    }
    std::set<std::uint32_t> distinct;
    for (std::size_t offset = 0; offset < text.size();) {
        const std::uint32_t keysym = keysymFor(TextToolkit::decodeAt(text, offset));
        if (keysym != XKB_KEY_NoSymbol) {
            distinct.insert(keysym);
        }
    }
    return layout_->missing({distinct.begin(), distinct.end()}).empty();
}

std::uint64_t PortalKeyboard::combinedModifierFlags() {
    const std::optional<Hotkey> held = held_ ? held_->held() : std::nullopt;
    return held ? held->modifiers.eventFlags() : 0;
}

bool PortalKeyboard::isKeyDown(std::uint16_t keyCode) {
    const std::optional<Hotkey> held = held_ ? held_->held() : std::nullopt;
    return held && MainKeys::keyCode(held->key) == keyCode;
}

} // namespace tamsel
