#include "tests/portal/FakeDesktop.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QFile>

#include "platform/portal/PortalRequest.h"

namespace tamsel::testing {

namespace {

constexpr char desktopPath[] = "/org/freedesktop/portal/desktop";
constexpr char implShortcuts[] = "org.freedesktop.impl.portal.GlobalShortcuts";
constexpr char implRemoteDesktop[] = "org.freedesktop.impl.portal.RemoteDesktop";
constexpr char implSession[] = "org.freedesktop.impl.portal.Session";
constexpr char properties[] = "org.freedesktop.DBus.Properties";

QVariantMap mapArgument(const QVariant& value) {
    if (value.canConvert<QDBusArgument>() && value.userType() == qMetaTypeId<QDBusArgument>()) {
        QVariantMap map;
        value.value<QDBusArgument>() >> map;
        return map;
    }
    return value.toMap();
}

QString pathArgument(const QVariant& value) {
    return value.userType() == qMetaTypeId<QDBusObjectPath>()
               ? value.value<QDBusObjectPath>().path()
               : value.toString();
}

QString senderPart(const QString& sender) {
    QString part = sender;
    part.remove(0, 1);
    return part.replace(QLatin1Char('.'), QLatin1Char('_'));
}

// Answers Properties.Get and GetAll from `values`, per interface.
bool answerProperties(const QDBusMessage& message, QDBusConnection& bus,
                      const std::map<QString, QVariantMap>& values) {
    const QString interface = message.arguments().value(0).toString();
    auto found = values.find(interface);
    const QVariantMap known = found == values.end() ? QVariantMap() : found->second;
    if (message.member() == QLatin1String("GetAll")) {
        bus.send(message.createReply(QVariant(known)));
        return true;
    }
    const QString name = message.arguments().value(1).toString();
    if (!known.contains(name)) {
        bus.send(message.createErrorReply(
            QStringLiteral("org.freedesktop.DBus.Error.UnknownProperty"), name));
        return true;
    }
    bus.send(message.createReply(QVariant::fromValue(QDBusVariant(known.value(name)))));
    return true;
}

} // namespace

FakeBusObject::FakeBusObject(const QString& address, const QString& connectionName,
                             const QString& busName, const QString& path)
    : connectionName_(connectionName), path_(path),
      bus_(QDBusConnection::connectToBus(address, connectionName)) {
    tamsel::Portal::registerTypes();
    bus_.registerVirtualObject(path_, this, QDBusConnection::SubPath);
    owned_ = bus_.registerService(busName);
    thread_.start();
    moveToThread(&thread_);
}

FakeBusObject::~FakeBusObject() {
    shutDown();
}

void FakeBusObject::shutDown() {
    if (shutDown_) {
        return;
    }
    shutDown_ = true;
    bus_.unregisterObject(path_, QDBusConnection::UnregisterTree);
    QDBusConnection::disconnectFromBus(connectionName_);
    thread_.quit();
    thread_.wait();
}

std::vector<RecordedCall> FakeBusObject::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<RecordedCall> FakeBusObject::calls(const QString& member) const {
    std::vector<RecordedCall> found;
    for (const RecordedCall& call : calls()) {
        if (call.member == member) {
            found.push_back(call);
        }
    }
    return found;
}

QString FakeBusObject::introspect(const QString&) const {
    return {};
}

void FakeBusObject::record(const QDBusMessage& message) {
    std::lock_guard lock(mutex_);
    calls_.push_back({message.interface(), message.member(), message.path(), message.arguments(),
                      std::chrono::steady_clock::now()});
}

bool FakeBusObject::handleMessage(const QDBusMessage& message, const QDBusConnection&) {
    if (message.type() != QDBusMessage::MethodCallMessage) {
        return false;
    }
    record(message);
    return answer(message, bus_);
}

FakeDesktop::FakeDesktop(const QString& address)
    : FakeBusObject(address, QStringLiteral("tamsel-fake-desktop"), QLatin1String(busName)) {}

void FakeDesktop::setBindResponse(uint code) {
    std::lock_guard lock(mutex_);
    bindResponse_ = code;
}

void FakeDesktop::assignTrigger(const QString& id, const QString& description) {
    std::lock_guard lock(mutex_);
    assigned_.emplace_back(id, description);
}

void FakeDesktop::setStartResponse(uint code, uint devices) {
    std::lock_guard lock(mutex_);
    startResponse_ = code;
    startDevices_ = devices;
}

std::vector<QString> FakeDesktop::sessions(const QString& interface) const {
    std::lock_guard lock(mutex_);
    std::vector<QString> found;
    for (const auto& [owner, path] : sessions_) {
        if (owner == interface) {
            found.push_back(path);
        }
    }
    return found;
}

std::vector<QString> FakeDesktop::closedSessions() const {
    std::lock_guard lock(mutex_);
    return closed_;
}

void FakeDesktop::setBindsAtCreation(bool atCreation) {
    std::lock_guard lock(mutex_);
    bindsAtCreation_ = atCreation;
}

QList<PortalShortcutEntry> FakeDesktop::bindLocked(const QVariant& asked) const {
    QList<PortalShortcutEntry> bound;
    for (const PortalShortcutEntry& shortcut : Portal::readShortcuts(asked)) {
        PortalShortcutEntry entry;
        entry.id = shortcut.id;
        entry.properties.insert(QStringLiteral("description"),
                                shortcut.properties.value(QStringLiteral("description")));
        QString trigger = shortcut.properties.value(QStringLiteral("preferred_trigger")).toString();
        for (const auto& [id, description] : assigned_) {
            if (id == shortcut.id) {
                trigger = description;
            }
        }
        entry.properties.insert(QStringLiteral("trigger_description"), trigger);
        bound.append(entry);
    }
    return bound;
}

bool FakeDesktop::answer(const QDBusMessage& message, QDBusConnection& bus) {
    const QString interface = message.interface();
    const QString member = message.member();
    const QVariantList& arguments = message.arguments();
    if (interface == QLatin1String(properties)) {
        return answerProperties(
            message, bus,
            {{QLatin1String(implShortcuts), {{QStringLiteral("version"), 1u}}},
             {QLatin1String(implRemoteDesktop),
              {{QStringLiteral("version"), 1u}, {QStringLiteral("AvailableDeviceTypes"), 7u}}}});
    }
    if (interface == QLatin1String(implSession) && member == QLatin1String("Close")) {
        {
            std::lock_guard lock(mutex_);
            closed_.push_back(message.path());
        }
        bus.send(message.createReply());
        return true;
    }
    if (interface == QLatin1String("org.freedesktop.impl.portal.Request")) {
        bus.send(message.createReply());
        return true;
    }
    if (member == QLatin1String("CreateSession")) {
        std::lock_guard lock(mutex_);
        const QString session = pathArgument(arguments.value(1));
        sessions_.emplace_back(interface, session);
        QVariantMap results;
        if (interface == QLatin1String(implShortcuts) && bindsAtCreation_) {
            const QVariantMap options = mapArgument(arguments.value(3));
            sessionBindings_[session] = bindLocked(options.value(QStringLiteral("shortcuts")));
            results.insert(QStringLiteral("shortcuts"),
                           QVariant::fromValue(sessionBindings_[session]));
        }
        bus.send(message.createReply({0u, results}));
        return true;
    }
    if (interface == QLatin1String(implShortcuts) && member == QLatin1String("BindShortcuts")) {
        QList<PortalShortcutEntry> bound;
        uint code = 0;
        {
            std::lock_guard lock(mutex_);
            code = bindResponse_;
            bound = bindsAtCreation_ ? sessionBindings_[pathArgument(arguments.value(1))]
                                     : bindLocked(arguments.value(2));
        }
        QVariantMap results;
        if (code == 0) {
            results.insert(QStringLiteral("shortcuts"), QVariant::fromValue(bound));
        }
        bus.send(message.createReply({code, results}));
        return true;
    }
    if (interface == QLatin1String(implRemoteDesktop)) {
        if (member == QLatin1String("SelectDevices")) {
            bus.send(message.createReply({0u, QVariantMap()}));
            return true;
        }
        if (member == QLatin1String("Start")) {
            std::lock_guard lock(mutex_);
            QVariantMap results;
            if (startResponse_ == 0) {
                results.insert(QStringLiteral("devices"), startDevices_);
            }
            bus.send(message.createReply({startResponse_, results}));
            return true;
        }
        if (member.startsWith(QLatin1String("Notify"))) {
            bus.send(message.createReply());
            return true;
        }
    }
    return false;
}

void FakeDesktop::activate(const QString& session, const QString& id) {
    QDBusMessage signal = QDBusMessage::createSignal(
        QLatin1String(desktopPath), QLatin1String(implShortcuts), QStringLiteral("Activated"));
    signal << QVariant::fromValue(QDBusObjectPath(session)) << id << qulonglong(1234)
           << QVariantMap();
    bus().send(signal);
}

void FakeDesktop::deactivate(const QString& session, const QString& id) {
    QDBusMessage signal = QDBusMessage::createSignal(
        QLatin1String(desktopPath), QLatin1String(implShortcuts), QStringLiteral("Deactivated"));
    signal << QVariant::fromValue(QDBusObjectPath(session)) << id << qulonglong(1300)
           << QVariantMap();
    bus().send(signal);
}

void FakeDesktop::changeShortcuts(const QString& session,
                                  const QList<std::pair<QString, QString>>& triggers) {
    QList<PortalShortcutEntry> shortcuts;
    for (const auto& [id, trigger] : triggers) {
        PortalShortcutEntry entry;
        entry.id = id;
        entry.properties.insert(QStringLiteral("trigger_description"), trigger);
        shortcuts.append(entry);
    }
    QDBusMessage signal =
        QDBusMessage::createSignal(QLatin1String(desktopPath), QLatin1String(implShortcuts),
                                   QStringLiteral("ShortcutsChanged"));
    signal << QVariant::fromValue(QDBusObjectPath(session)) << QVariant::fromValue(shortcuts);
    bus().send(signal);
}

void FakeDesktop::closeSession(const QString& session) {
    bus().send(
        QDBusMessage::createSignal(session, QLatin1String(implSession), QStringLiteral("Closed")));
}

FakeFrontend::FakeFrontend(const QString& address)
    : FakeBusObject(address, QStringLiteral("tamsel-fake-frontend"),
                    QStringLiteral("org.freedesktop.portal.Desktop")) {}

void FakeFrontend::setStartDenied(bool denied) {
    std::lock_guard lock(mutex_);
    denied_ = denied;
}

int FakeFrontend::consentDialogs() const {
    std::lock_guard lock(mutex_);
    return dialogs_;
}

std::vector<QString> FakeFrontend::issuedTokens() const {
    std::lock_guard lock(mutex_);
    return tokens_;
}

void FakeFrontend::respond(QDBusConnection& bus, const QString& request, uint code,
                           const QVariantMap& results) {
    QDBusMessage signal = QDBusMessage::createSignal(
        request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
    signal << code << results;
    bus.send(signal);
}

bool FakeFrontend::answer(const QDBusMessage& message, QDBusConnection& bus) {
    const QString interface = message.interface();
    const QString member = message.member();
    const QVariantList& arguments = message.arguments();
    if (interface == QLatin1String(properties)) {
        return answerProperties(
            message, bus,
            {{QStringLiteral("org.freedesktop.portal.RemoteDesktop"),
              {{QStringLiteral("version"), 2u}, {QStringLiteral("AvailableDeviceTypes"), 7u}}}});
    }
    if (interface == QLatin1String("org.freedesktop.portal.Session")) {
        bus.send(message.createReply());
        return true;
    }
    if (interface == QLatin1String("org.freedesktop.host.portal.Registry")) {
        bus.send(message.createReply());
        return true;
    }
    if (interface != QLatin1String("org.freedesktop.portal.RemoteDesktop")) {
        return false;
    }
    if (member.startsWith(QLatin1String("Notify"))) {
        bus.send(message.createReply());
        return true;
    }
    const QVariantMap options = mapArgument(arguments.value(arguments.size() - 1));
    const QString request = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                                .arg(senderPart(message.service()),
                                     options.value(QStringLiteral("handle_token")).toString());
    bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
    std::lock_guard lock(mutex_);
    if (member == QLatin1String("CreateSession")) {
        ++sessions_;
        const QString session =
            QStringLiteral("/org/freedesktop/portal/desktop/session/%1/%2")
                .arg(senderPart(message.service()),
                     options.value(QStringLiteral("session_handle_token")).toString());
        respond(bus, request, 0, {{QStringLiteral("session_handle"), session}});
    } else if (member == QLatin1String("SelectDevices")) {
        pendingToken_ = options.value(QStringLiteral("restore_token")).toString();
        respond(bus, request, 0, {});
    } else if (member == QLatin1String("Start")) {
        const bool known = !pendingToken_.isEmpty() && std::find(tokens_.begin(), tokens_.end(),
                                                                 pendingToken_) != tokens_.end();
        if (!known) {
            ++dialogs_;
        }
        if (denied_ && !known) {
            respond(bus, request, 1, {});
            return true;
        }
        // A token is good for one restore: the desktop hands out a new one each time.
        std::erase(tokens_, pendingToken_);
        const QString token = QStringLiteral("token-%1").arg(sessions_);
        tokens_.push_back(token);
        respond(bus, request, 0,
                {{QStringLiteral("devices"), 1u}, {QStringLiteral("restore_token"), token}});
    } else {
        return false;
    }
    return true;
}

FakeKWin::FakeKWin(const QString& address)
    : FakeBusObject(address, QStringLiteral("tamsel-fake-kwin"), QStringLiteral("org.kde.KWin"),
                    QStringLiteral("/Scripting")) {}

QString FakeKWin::loadedScript() const {
    std::lock_guard lock(mutex_);
    return script_;
}

bool FakeKWin::answer(const QDBusMessage& message, QDBusConnection& bus) {
    if (message.interface() != QLatin1String("org.kde.kwin.Scripting")) {
        return false;
    }
    const QString member = message.member();
    if (member == QLatin1String("loadScript")) {
        // As KWin does: the file is read only when the script runs, and a
        // name already taken is refused with -1 rather than an error.
        const QString pluginName = message.arguments().value(1).toString();
        std::lock_guard lock(mutex_);
        if (loaded_.contains(pluginName)) {
            bus.send(message.createReply(-1));
            return true;
        }
        loaded_.insert(pluginName);
        QFile file(message.arguments().value(0).toString());
        script_ = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
        bus.send(message.createReply(static_cast<int>(loaded_.size()) - 1));
    } else if (member == QLatin1String("unloadScript")) {
        std::lock_guard lock(mutex_);
        bus.send(message.createReply(loaded_.remove(message.arguments().value(0).toString())));
    } else if (member == QLatin1String("start")) {
        bus.send(message.createReply());
    } else {
        return false;
    }
    return true;
}

} // namespace tamsel::testing
