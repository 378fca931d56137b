#include "platform/portal/PortalRequest.h"

#include <atomic>

#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace tamsel {

PortalProblem PortalResponse::problem() const {
    if (!error.isEmpty()) {
        // No portal at all, or one without the interface or method we asked for.
        if (error == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
            error == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod") ||
            error == QLatin1String("org.freedesktop.DBus.Error.UnknownInterface") ||
            error == QLatin1String("org.freedesktop.DBus.Error.UnknownObject") ||
            error == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")) {
            return PortalProblem::missing;
        }
        return PortalProblem::failed;
    }
    switch (code) {
    case 0:
        return PortalProblem::none;
    case 1:
        return PortalProblem::denied;
    default:
        return PortalProblem::failed;
    }
}

namespace Portal {

namespace {

QString senderPart(const QDBusConnection& bus) {
    QString name = bus.baseService();
    if (name.startsWith(QLatin1Char(':'))) {
        name.remove(0, 1);
    }
    return name.replace(QLatin1Char('.'), QLatin1Char('_'));
}

std::string pick(Language language, const char* en, const char* ja) {
    return language == Language::ja ? ja : en;
}

} // namespace

QString newToken(const char* prefix) {
    static std::atomic<unsigned> counter{0};
    return QStringLiteral("tamsel_%1_%2").arg(QLatin1String(prefix)).arg(++counter);
}

QString requestPath(const QDBusConnection& bus, const QString& token) {
    return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
        .arg(senderPart(bus), token);
}

QString sessionPath(const QDBusConnection& bus, const QString& token) {
    return QStringLiteral("/org/freedesktop/portal/desktop/session/%1/%2")
        .arg(senderPart(bus), token);
}

std::optional<std::uint32_t> version(const QDBusConnection& bus, const QString& interface) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QLatin1String(service), QLatin1String(objectPath),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << interface << QStringLiteral("version");
    const QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return std::nullopt;
    }
    const QVariant value = reply.arguments().first().value<QDBusVariant>().variant();
    bool ok = false;
    const uint number = value.toUInt(&ok);
    if (!ok) {
        return std::nullopt;
    }
    return number;
}

void registerApplication(const QDBusConnection& bus) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QLatin1String(service), QLatin1String(objectPath),
        QStringLiteral("org.freedesktop.host.portal.Registry"), QStringLiteral("Register"));
    call << QLatin1String(applicationID) << QVariantMap();
    // Before any other portal call, or the portal has already guessed who we are.
    bus.call(call, QDBus::Block, 5000);
}

void closeSession(const QDBusConnection& bus, const QString& sessionHandle, bool wait) {
    if (sessionHandle.isEmpty()) {
        return;
    }
    const QDBusMessage call =
        QDBusMessage::createMethodCall(QLatin1String(service), sessionHandle,
                                       QLatin1String(sessionInterface), QStringLiteral("Close"));
    if (wait) {
        bus.call(call, QDBus::Block, 1000);
    } else {
        bus.asyncCall(call);
    }
}

std::string message(PortalProblem problem, Feature feature, Language language) {
    const bool shortcuts = feature == Feature::shortcuts;
    switch (problem) {
    case PortalProblem::none:
        return {};
    case PortalProblem::missing:
        return shortcuts
                   ? pick(language,
                          "This desktop offers no shortcut portal (GlobalShortcuts): Tamsel "
                          "cannot watch shortcuts here.",
                          "このデスクトップにはショートカットのポータル（GlobalShortcuts）が"
                          "ないため、Tamsel はショートカットを監視できません。")
                   : pick(language,
                          "This desktop offers no remote desktop portal (RemoteDesktop): Tamsel "
                          "cannot type or paste here.",
                          "このデスクトップにはリモートデスクトップのポータル（RemoteDesktop）が"
                          "ないため、Tamsel は入力も貼り付けもできません。");
    case PortalProblem::denied:
        return shortcuts
                   ? pick(language,
                          "The shortcuts were not allowed in the desktop's dialog. They are "
                          "asked for again when you pause and resume Tamsel.",
                          "デスクトップのダイアログでショートカットが許可されませんでした。"
                          "Tamsel を一時停止して再開すると、もう一度確認します。")
                   : pick(language,
                          "Tamsel was not allowed to use the keyboard, so nothing is typed or "
                          "pasted. Ask again from the setup guide.",
                          "キーボードの使用が許可されなかったため、入力も貼り付けもしません。"
                          "セットアップガイドからもう一度許可を求められます。");
    case PortalProblem::failed:
        return shortcuts ? pick(language, "The desktop refused to bind Tamsel's shortcuts.",
                                "デスクトップが Tamsel のショートカットの登録を拒否しました。")
                         : pick(language,
                                "The desktop refused Tamsel the keyboard, so nothing is typed or "
                                "pasted. Ask again from the setup guide.",
                                "デスクトップがキーボードの使用を拒否したため、入力も貼り付けも"
                                "しません。セットアップガイドからもう一度許可を求められます。");
    case PortalProblem::closed:
        return shortcuts
                   ? pick(language,
                          "The desktop ended Tamsel's shortcuts. They are bound again when you "
                          "pause and resume Tamsel.",
                          "デスクトップが Tamsel のショートカットを終了しました。"
                          "一時停止して再開すると、もう一度登録します。")
                   : pick(language,
                          "The desktop ended Tamsel's use of the keyboard, so nothing is typed "
                          "or pasted. Ask again from the setup guide.",
                          "デスクトップがキーボードの使用を終了したため、入力も貼り付けも"
                          "しません。セットアップガイドからもう一度許可を求められます。");
    }
    return {};
}

std::vector<PortalShortcutEntry> readShortcuts(const QVariant& value) {
    std::vector<PortalShortcutEntry> entries;
    if (!value.canConvert<QDBusArgument>()) {
        for (const PortalShortcutEntry& entry : value.value<QList<PortalShortcutEntry>>()) {
            entries.push_back(entry);
        }
        return entries;
    }
    const QDBusArgument argument = value.value<QDBusArgument>();
    argument.beginArray();
    while (!argument.atEnd()) {
        PortalShortcutEntry entry;
        argument >> entry;
        entries.push_back(entry);
    }
    argument.endArray();
    return entries;
}

void registerTypes() {
    static const bool registered = [] {
        qDBusRegisterMetaType<PortalShortcutEntry>();
        qDBusRegisterMetaType<QList<PortalShortcutEntry>>();
        return true;
    }();
    (void)registered;
}

} // namespace Portal

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcutEntry& entry) {
    argument.beginStructure();
    argument << entry.id << entry.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcutEntry& entry) {
    argument.beginStructure();
    argument >> entry.id >> entry.properties;
    argument.endStructure();
    return argument;
}

PortalRequest::PortalRequest(const QDBusConnection& bus, QObject* parent, Done done)
    : QObject(parent), bus_(bus), done_(std::move(done)) {}

PortalRequest* PortalRequest::start(const QDBusConnection& bus, const QString& interface,
                                    const QString& method, const QVariantList& arguments,
                                    QVariantMap options, QObject* parent, Done done) {
    auto* request = new PortalRequest(bus, parent, std::move(done));
    const QString token = Portal::newToken("request");
    options.insert(QStringLiteral("handle_token"), token);
    // Subscribed before the call: the answer may come before the call's reply.
    request->listenAt(Portal::requestPath(bus, token));
    QDBusMessage call = QDBusMessage::createMethodCall(
        QLatin1String(Portal::service), QLatin1String(Portal::objectPath), interface, method);
    QVariantList all = arguments;
    all.append(options);
    call.setArguments(all);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 30000), request);
    connect(watcher, &QDBusPendingCallWatcher::finished, request, &PortalRequest::called);
    return request;
}

bool PortalRequest::listenAt(const QString& path) {
    if (path == path_) {
        return true;
    }
    if (!path_.isEmpty()) {
        bus_.disconnect(QLatin1String(Portal::service), path_,
                        QLatin1String(Portal::requestInterface), QStringLiteral("Response"), this,
                        SLOT(response(QDBusMessage)));
    }
    path_ = path;
    if (path_.isEmpty()) {
        return false;
    }
    return bus_.connect(QLatin1String(Portal::service), path_,
                        QLatin1String(Portal::requestInterface), QStringLiteral("Response"), this,
                        SLOT(response(QDBusMessage)));
}

void PortalRequest::called(QDBusPendingCallWatcher* watcher) {
    watcher->deleteLater();
    if (finished_) {
        return;
    }
    const QDBusMessage reply = watcher->reply();
    if (reply.type() == QDBusMessage::ErrorMessage) {
        PortalResponse response;
        response.error = reply.errorName();
        response.errorMessage = reply.errorMessage();
        finish(response);
        return;
    }
    if (!reply.arguments().isEmpty()) {
        const QString handle = reply.arguments().first().value<QDBusObjectPath>().path();
        if (!handle.isEmpty() && handle != path_) {
            // Older portals chose the path themselves.
            listenAt(handle);
        }
    }
}

void PortalRequest::response(const QDBusMessage& message) {
    if (finished_ || message.arguments().size() < 2) {
        return;
    }
    PortalResponse response;
    response.code = message.arguments().at(0).toUInt();
    const QVariant results = message.arguments().at(1);
    if (results.canConvert<QDBusArgument>()) {
        results.value<QDBusArgument>() >> response.results;
    } else {
        response.results = results.toMap();
    }
    finish(response);
}

void PortalRequest::finish(const PortalResponse& response) {
    finished_ = true;
    listenAt(QString());
    Done done = std::move(done_);
    deleteLater();
    if (done) {
        done(response);
    }
}

void PortalRequest::cancel() {
    if (finished_) {
        return;
    }
    finished_ = true;
    if (!path_.isEmpty()) {
        bus_.asyncCall(QDBusMessage::createMethodCall(QLatin1String(Portal::service), path_,
                                                      QLatin1String(Portal::requestInterface),
                                                      QStringLiteral("Close")));
    }
    listenAt(QString());
    done_ = nullptr;
    deleteLater();
}

} // namespace tamsel
