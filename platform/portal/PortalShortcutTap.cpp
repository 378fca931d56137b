#include "platform/portal/PortalShortcutTap.h"

#include <algorithm>
#include <atomic>
#include <utility>

#include <QDBusObjectPath>
#include <QEventLoop>

#include "platform/portal/PortalShortcutNotation.h"

namespace tamsel {

namespace {

constexpr char shortcutsInterface[] = "org.freedesktop.portal.GlobalShortcuts";

// One session at a time in the process has the token.
std::atomic<bool> sessionTokenTaken{false};
// How soon a session waiting for the token looks again: the one holding it
// is closing, a round trip away.
constexpr std::chrono::milliseconds tokenRetry{50};

QString handleText(const QVariant& value) {
    if (value.canConvert<QDBusObjectPath>() && value.userType() == qMetaTypeId<QDBusObjectPath>()) {
        return value.value<QDBusObjectPath>().path();
    }
    return value.toString();
}

} // namespace

void PortalHeldShortcut::pressed(const Hotkey& hotkey) {
    std::lock_guard lock(mutex_);
    hotkey_ = hotkey;
    since_ = std::chrono::steady_clock::now();
}

void PortalHeldShortcut::released() {
    std::lock_guard lock(mutex_);
    hotkey_.reset();
}

std::optional<Hotkey> PortalHeldShortcut::held() const {
    std::lock_guard lock(mutex_);
    if (hotkey_ && std::chrono::steady_clock::now() - since_ >= limit) {
        return std::nullopt;
    }
    return hotkey_;
}

PortalShortcutTap::PortalShortcutTap(QDBusConnection bus, EventTapClient& client,
                                     std::shared_ptr<PortalHeldShortcut> held,
                                     PortalShortcutHooks hooks)
    : bus_(std::move(bus)), client_(client), held_(std::move(held)), hooks_(std::move(hooks)) {}

PortalShortcutTap::~PortalShortcutTap() = default;

QString PortalShortcutTap::shortcutID(const Hotkey& hotkey) {
    return QString::fromStdString(hotkey.stringValue());
}

void PortalShortcutTap::poke() {
    std::lock_guard lock(mutex_);
    if (session_) {
        PortalShortcutSession* session = session_;
        QMetaObject::invokeMethod(
            session, [session] { session->rebind(); }, Qt::QueuedConnection);
    }
}

void PortalShortcutTap::setEnabled(bool enabled) {
    enabled_ = enabled;
    poke();
}

void PortalShortcutTap::watchedHotkeysChanged() {
    poke();
}

void PortalShortcutTap::stop() {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    if (loop_) {
        QMetaObject::invokeMethod(loop_, "quit", Qt::QueuedConnection);
    }
}

void PortalShortcutTap::run() {
    QEventLoop loop;
    PortalShortcutSession session(bus_, client_, held_, hooks_, [this] { return enabled_.load(); });
    {
        std::lock_guard lock(mutex_);
        if (stopped_) {
            return;
        }
        loop_ = &loop;
        session_ = &session;
    }
    session.rebind();
    loop.exec();
    std::lock_guard lock(mutex_);
    loop_ = nullptr;
    session_ = nullptr;
    // The session closes with `session`: the desktop lets go of the shortcuts.
}

std::shared_ptr<EventTap> PortalShortcutTapService::createTap(EventTapClient& client) {
    if (!bus_.isConnected()) {
        if (hooks_.problem) {
            hooks_.problem(PortalProblem::missing);
        }
        return nullptr;
    }
    return std::make_shared<PortalShortcutTap>(bus_, client, held_, hooks_);
}

PortalShortcutSession::PortalShortcutSession(QDBusConnection bus, EventTapClient& client,
                                             std::shared_ptr<PortalHeldShortcut> held,
                                             PortalShortcutHooks hooks,
                                             std::function<bool()> enabled)
    : bus_(std::move(bus)), client_(client), held_(std::move(held)), hooks_(std::move(hooks)),
      enabled_(std::move(enabled)) {
    Portal::registerTypes();
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &PortalShortcutSession::rebind);
    const QString service = QLatin1String(Portal::service);
    const QString path = QLatin1String(Portal::objectPath);
    const QString interface = QLatin1String(shortcutsInterface);
    bus_.connect(service, path, interface, QStringLiteral("Activated"), this,
                 SLOT(activated(QDBusMessage)));
    bus_.connect(service, path, interface, QStringLiteral("Deactivated"), this,
                 SLOT(deactivated(QDBusMessage)));
    bus_.connect(service, path, interface, QStringLiteral("ShortcutsChanged"), this,
                 SLOT(shortcutsChanged(QDBusMessage)));
}

PortalShortcutSession::~PortalShortcutSession() {
    if (inFlight_) {
        inFlight_->cancel();
        if (session_.isEmpty() && holdsToken_) {
            // The session being made may come yet, and keep the token taken
            // for the next tap: its path is known without the answer.
            Portal::closeSession(
                bus_, Portal::sessionPath(bus_, QLatin1String(PortalShortcutTap::sessionToken)),
                true);
        }
    }
    // The tap is going, perhaps with the whole process: the desktop must
    // hear of it before then, or it keeps the shortcuts taken.
    if (!session_.isEmpty()) {
        Portal::closeSession(bus_, std::exchange(session_, QString()), true);
    }
    releaseToken();
}

void PortalShortcutSession::close() {
    if (session_.isEmpty()) {
        return;
    }
    bus_.disconnect(QLatin1String(Portal::service), session_,
                    QLatin1String(Portal::sessionInterface), QStringLiteral("Closed"), this,
                    SLOT(sessionClosed(QDBusMessage)));
    // Waited for: the next session has the same token, and a desktop still
    // ending this one would take the next one's keys with it.
    Portal::closeSession(bus_, session_, true);
    session_.clear();
    bound_.clear();
    held_->released();
    releaseToken();
}

bool PortalShortcutSession::takeToken() {
    if (!holdsToken_) {
        holdsToken_ = !sessionTokenTaken.exchange(true);
    }
    return holdsToken_;
}

void PortalShortcutSession::releaseToken() {
    if (holdsToken_) {
        holdsToken_ = false;
        sessionTokenTaken = false;
    }
}

void PortalShortcutSession::rebind() {
    if (inFlight_) {
        again_ = true; // once the binding under way has its answer
        return;
    }
    again_ = false;
    const std::vector<Hotkey> wanted =
        enabled_() ? client_.watchedHotkeys() : std::vector<Hotkey>();
    if (!session_.isEmpty() && wanted == bound_) {
        return;
    }
    close();
    if (wanted.empty()) {
        return;
    }
    bind(wanted);
}

void PortalShortcutSession::bind(const std::vector<Hotkey>& wanted) {
    if (!takeToken()) {
        retry_.start(tokenRetry);
        return;
    }
    QList<PortalShortcutEntry> shortcuts;
    for (const Hotkey& hotkey : wanted) {
        PortalShortcutEntry entry;
        entry.id = PortalShortcutTap::shortcutID(hotkey);
        const std::string description =
            hooks_.describe ? hooks_.describe(hotkey) : hotkey.displayString();
        entry.properties.insert(QStringLiteral("description"), QString::fromStdString(description));
        entry.properties.insert(QStringLiteral("preferred_trigger"),
                                QString::fromStdString(PortalShortcutNotation::trigger(hotkey)));
        shortcuts.append(entry);
    }
    QVariantMap options;
    options.insert(QStringLiteral("session_handle_token"),
                   QLatin1String(PortalShortcutTap::sessionToken));
    // KDE Plasma 5.27 and 6.0 bind from this list, when the session is made,
    // and never from BindShortcuts'; other desktops pass it by.
    options.insert(QStringLiteral("shortcuts"), QVariant::fromValue(shortcuts));
    inFlight_ = PortalRequest::start(
        bus_, QLatin1String(shortcutsInterface), QStringLiteral("CreateSession"), {}, options, this,
        [this, wanted, shortcuts](const PortalResponse& created) {
            inFlight_ = nullptr;
            if (!created.succeeded()) {
                releaseToken();
                report(created.problem());
                if (again_) {
                    rebind();
                }
                return;
            }
            session_ = handleText(created.results.value(QStringLiteral("session_handle")));
            bus_.connect(QLatin1String(Portal::service), session_,
                         QLatin1String(Portal::sessionInterface), QStringLiteral("Closed"), this,
                         SLOT(sessionClosed(QDBusMessage)));
            // Those answer with what they bound. Their BindShortcuts only
            // opens their settings, which nobody wants at every start, so a
            // session that has every shortcut bound already is done.
            if (namesEvery(created.results.value(QStringLiteral("shortcuts")), shortcuts)) {
                bound(wanted, created);
                if (again_) {
                    rebind();
                }
                return;
            }
            inFlight_ = PortalRequest::start(
                bus_, QLatin1String(shortcutsInterface), QStringLiteral("BindShortcuts"),
                {QVariant::fromValue(QDBusObjectPath(session_)), QVariant::fromValue(shortcuts),
                 QString()},
                {}, this, [this, wanted](const PortalResponse& response) {
                    inFlight_ = nullptr;
                    bound(wanted, response);
                    if (again_) {
                        rebind();
                    }
                });
        });
}

bool PortalShortcutSession::namesEvery(const QVariant& listed,
                                       const QList<PortalShortcutEntry>& shortcuts) {
    const std::vector<PortalShortcutEntry> named = Portal::readShortcuts(listed);
    return std::all_of(shortcuts.begin(), shortcuts.end(), [&](const PortalShortcutEntry& asked) {
        return std::any_of(named.begin(), named.end(),
                           [&](const PortalShortcutEntry& entry) { return entry.id == asked.id; });
    });
}

void PortalShortcutSession::bound(const std::vector<Hotkey>& wanted,
                                  const PortalResponse& response) {
    if (!response.succeeded()) {
        close();
        report(response.problem());
        return;
    }
    bound_ = wanted;
    assigned_.clear();
    for (const Hotkey& hotkey : wanted) {
        assigned_.push_back({hotkey, {}, std::nullopt});
    }
    readAssigned(response.results.value(QStringLiteral("shortcuts")));
    report(PortalProblem::none);
}

void PortalShortcutSession::readAssigned(const QVariant& shortcuts) {
    for (const PortalShortcutEntry& entry : Portal::readShortcuts(shortcuts)) {
        const std::optional<Hotkey> hotkey = hotkeyFor(entry.id);
        if (!hotkey) {
            continue;
        }
        for (PortalAssignedTrigger& assigned : assigned_) {
            if (assigned.hotkey == *hotkey) {
                assigned.description = entry.properties.value(QStringLiteral("trigger_description"))
                                           .toString()
                                           .toStdString();
                assigned.trigger = PortalShortcutNotation::parse(assigned.description);
            }
        }
    }
    // A shortcut the desktop bound without a trigger cannot fire: say which.
    std::vector<Hotkey> unbound;
    for (const PortalAssignedTrigger& assigned : assigned_) {
        if (assigned.description.empty()) {
            unbound.push_back(assigned.hotkey);
        }
    }
    client_.watchedHotkeysUnavailable(unbound);
    if (hooks_.assigned) {
        hooks_.assigned(assigned_);
    }
}

void PortalShortcutSession::report(PortalProblem problem) {
    if (hooks_.problem) {
        hooks_.problem(problem);
    }
}

std::optional<Hotkey> PortalShortcutSession::hotkeyFor(const QString& id) const {
    for (const Hotkey& hotkey : bound_) {
        if (PortalShortcutTap::shortcutID(hotkey) == id) {
            return hotkey;
        }
    }
    return std::nullopt;
}

bool PortalShortcutSession::ours(const QDBusMessage& message) const {
    return !session_.isEmpty() && !message.arguments().isEmpty() &&
           handleText(message.arguments().first()) == session_;
}

void PortalShortcutSession::activated(const QDBusMessage& message) {
    if (!ours(message) || message.arguments().size() < 2) {
        return;
    }
    const std::optional<Hotkey> hotkey = hotkeyFor(message.arguments().at(1).toString());
    if (!hotkey) {
        return;
    }
    held_->pressed(*hotkey);
    TapEvent event;
    event.type = TapEventType::keyDown;
    event.keyCode = MainKeys::keyCode(hotkey->key);
    event.flags = hotkey->modifiers.eventFlags();
    // The desktop has taken the key already: the verdict cannot give it back.
    client_.handleTapEvent(event);
}

void PortalShortcutSession::deactivated(const QDBusMessage& message) {
    if (ours(message)) {
        held_->released();
    }
}

void PortalShortcutSession::shortcutsChanged(const QDBusMessage& message) {
    if (!ours(message) || message.arguments().size() < 2) {
        return;
    }
    for (PortalAssignedTrigger& assigned : assigned_) {
        assigned.description.clear();
        assigned.trigger.reset();
    }
    readAssigned(message.arguments().at(1));
}

void PortalShortcutSession::sessionClosed(const QDBusMessage& message) {
    if (session_.isEmpty() || message.path() != session_) {
        return; // one we closed ourselves
    }
    bus_.disconnect(QLatin1String(Portal::service), session_,
                    QLatin1String(Portal::sessionInterface), QStringLiteral("Closed"), this,
                    SLOT(sessionClosed(QDBusMessage)));
    session_.clear();
    bound_.clear();
    held_->released();
    releaseToken();
    report(PortalProblem::closed);
}

} // namespace tamsel
