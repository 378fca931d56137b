#include "tests/portal/FakeClipboardFrontend.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>

namespace tamsel::testing {

namespace {

constexpr char desktopPath[] = "/org/freedesktop/portal/desktop";
constexpr char remoteDesktop[] = "org.freedesktop.portal.RemoteDesktop";
constexpr char clipboard[] = "org.freedesktop.portal.Clipboard";
constexpr int evdevV = 47;

QVariantMap mapArgument(const QVariant& value) {
    if (value.userType() == qMetaTypeId<QDBusArgument>()) {
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
    QString part = sender.mid(1);
    return part.replace(QLatin1Char('.'), QLatin1Char('_'));
}

// What the session wrote before it said it was done; a copy of the write
// end left open somewhere must not hang the fake.
QByteArray readAll(int fd) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    QByteArray data;
    char buffer[4096];
    ssize_t count = 0;
    while ((count = ::read(fd, buffer, sizeof buffer)) > 0) {
        data.append(buffer, count);
    }
    return data;
}

} // namespace

FakeClipboardFrontend::FakeClipboardFrontend(const QString& address)
    : FakeBusObject(address, QStringLiteral("tamsel-fake-clipboard-frontend"),
                    QStringLiteral("org.freedesktop.portal.Desktop")) {}

void FakeClipboardFrontend::setClipboard(bool offered, bool shared) {
    std::lock_guard lock(mutex_);
    offered_ = offered;
    shared_ = shared;
}

void FakeClipboardFrontend::copyElsewhere(ClipboardContents contents, bool silent, bool announced) {
    QStringList types;
    for (const auto& [type, data] : contents) {
        types.append(type);
    }
    {
        std::lock_guard lock(mutex_);
        others_ = std::move(contents);
        silent_ = silent;
        sessionOwns_ = false;
    }
    if (announced) {
        announce(false, types);
    }
}

void FakeClipboardFrontend::copyElsewhereOnPaste(ClipboardContents contents) {
    std::lock_guard lock(mutex_);
    copyOnPaste_ = std::move(contents);
}

void FakeClipboardFrontend::copyElsewhereBeforeNextOffer(ClipboardContents contents) {
    std::lock_guard lock(mutex_);
    copyBeforeOffer_ = std::move(contents);
}

void FakeClipboardFrontend::requestFromSession(const QString& type) {
    std::lock_guard lock(mutex_);
    requestFromSessionLocked(type);
}

void FakeClipboardFrontend::requestFromSessionLocked(const QString& type) {
    const uint serial = ++serial_;
    pending_[serial] = {type, FileDescriptor()};
    QDBusMessage signal = QDBusMessage::createSignal(
        QLatin1String(desktopPath), QLatin1String(clipboard), QStringLiteral("SelectionTransfer"));
    signal << QVariant::fromValue(QDBusObjectPath(session_)) << type << serial;
    bus().send(signal);
}

QString FakeClipboardFrontend::session() const {
    std::lock_guard lock(mutex_);
    return session_;
}

bool FakeClipboardFrontend::sessionOwns() const {
    std::lock_guard lock(mutex_);
    return sessionOwns_;
}

std::vector<QStringList> FakeClipboardFrontend::offers() const {
    std::lock_guard lock(mutex_);
    return offers_;
}

std::vector<std::pair<QString, std::optional<QByteArray>>>
FakeClipboardFrontend::transfers() const {
    std::lock_guard lock(mutex_);
    return transfers_;
}

void FakeClipboardFrontend::announce(bool sessionIsOwner, const QStringList& types) {
    QDBusMessage signal =
        QDBusMessage::createSignal(QLatin1String(desktopPath), QLatin1String(clipboard),
                                   QStringLiteral("SelectionOwnerChanged"));
    signal << QVariant::fromValue(QDBusObjectPath(session()))
           << QVariantMap{{QStringLiteral("mime_types"), types},
                          {QStringLiteral("session_is_owner"), sessionIsOwner}};
    bus().send(signal);
}

void FakeClipboardFrontend::respond(QDBusConnection& bus, const QString& request, uint code,
                                    const QVariantMap& results) {
    QDBusMessage signal = QDBusMessage::createSignal(
        request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
    signal << code << results;
    bus.send(signal);
}

bool FakeClipboardFrontend::answer(const QDBusMessage& message, QDBusConnection& bus) {
    const QString interface = message.interface();
    const QString member = message.member();
    const QVariantList& arguments = message.arguments();
    if (interface == QLatin1String("org.freedesktop.DBus.Properties")) {
        std::lock_guard lock(mutex_);
        const QString asked = arguments.value(0).toString();
        uint version = 0;
        if (asked == QLatin1String(remoteDesktop)) {
            version = 2;
        } else if (asked == QLatin1String(clipboard) && offered_) {
            version = 1;
        }
        if (version == 0) {
            bus.send(message.createErrorReply(
                QStringLiteral("org.freedesktop.DBus.Error.UnknownInterface"), asked));
        } else {
            bus.send(message.createReply(QVariant::fromValue(QDBusVariant(version))));
        }
        return true;
    }
    if (interface == QLatin1String("org.freedesktop.portal.Session") ||
        interface == QLatin1String("org.freedesktop.host.portal.Registry")) {
        bus.send(message.createReply());
        return true;
    }
    if (interface == QLatin1String(clipboard)) {
        return answerClipboard(message, bus);
    }
    if (interface != QLatin1String(remoteDesktop)) {
        return false;
    }
    if (member.startsWith(QLatin1String("Notify"))) {
        bus.send(message.createReply());
        std::optional<ClipboardContents> copy;
        {
            std::lock_guard lock(mutex_);
            const bool pasteKey = member == QLatin1String("NotifyKeyboardKeycode") &&
                                  arguments.value(2).toInt() == evdevV &&
                                  arguments.value(3).toUInt() == 1;
            if (!pasteKey) {
                return true;
            }
            // The application in front asks for text, from us or another owner.
            if (sessionOwns_) {
                requestFromSessionLocked(QStringLiteral("text/plain;charset=utf-8"));
            }
            copy = std::exchange(copyOnPaste_, std::nullopt);
        }
        if (copy) {
            copyElsewhere(std::move(*copy));
        }
        return true;
    }
    const QVariantMap options = mapArgument(arguments.value(arguments.size() - 1));
    const QString request = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                                .arg(senderPart(message.service()),
                                     options.value(QStringLiteral("handle_token")).toString());
    bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
    std::lock_guard lock(mutex_);
    if (member == QLatin1String("CreateSession")) {
        session_ = QStringLiteral("/org/freedesktop/portal/desktop/session/%1/%2")
                       .arg(senderPart(message.service()),
                            options.value(QStringLiteral("session_handle_token")).toString());
        requested_ = false;
        respond(bus, request, 0, {{QStringLiteral("session_handle"), session_}});
    } else if (member == QLatin1String("SelectDevices")) {
        respond(bus, request, 0, {});
    } else if (member == QLatin1String("Start")) {
        QVariantMap results{{QStringLiteral("devices"), 1u}};
        if (requested_) {
            results.insert(QStringLiteral("clipboard_enabled"), shared_);
        }
        respond(bus, request, 0, results);
    } else {
        return false;
    }
    return true;
}

bool FakeClipboardFrontend::answerClipboard(const QDBusMessage& message, QDBusConnection& bus) {
    const QString member = message.member();
    const QVariantList& arguments = message.arguments();
    std::unique_lock lock(mutex_);
    if (!offered_ || pathArgument(arguments.value(0)) != session_) {
        bus.send(message.createErrorReply(QStringLiteral("org.freedesktop.portal.Error.NotAllowed"),
                                          QStringLiteral("not this session's clipboard")));
        return true;
    }
    if (member == QLatin1String("RequestClipboard")) {
        requested_ = true;
        bus.send(message.createReply());
    } else if (member == QLatin1String("SetSelection")) {
        const QStringList types =
            mapArgument(arguments.value(1)).value(QStringLiteral("mime_types")).toStringList();
        offers_.push_back(types);
        sessionOwns_ = true;
        std::optional<ClipboardContents> earlier = std::exchange(copyBeforeOffer_, std::nullopt);
        lock.unlock();
        if (earlier) {
            QStringList earlierTypes;
            for (const auto& [type, data] : *earlier) {
                earlierTypes.append(type);
            }
            announce(false, earlierTypes);
        }
        bus.send(message.createReply());
        announce(true, types);
    } else if (member == QLatin1String("SelectionWrite")) {
        auto found = pending_.find(arguments.value(1).toUInt());
        int ends[2];
        if (found == pending_.end() || pipe2(ends, O_CLOEXEC) != 0) {
            bus.send(message.createErrorReply(QStringLiteral("org.freedesktop.portal.Error.Failed"),
                                              QStringLiteral("no such transfer")));
            return true;
        }
        found->second.second.reset(ends[0]);
        FileDescriptor writeEnd(ends[1]);
        bus.send(message.createReply(QVariant::fromValue(QDBusUnixFileDescriptor(writeEnd.get()))));
    } else if (member == QLatin1String("SelectionWriteDone")) {
        auto found = pending_.find(arguments.value(1).toUInt());
        if (found != pending_.end()) {
            std::optional<QByteArray> data;
            if (arguments.value(2).toBool() && found->second.second) {
                data = readAll(found->second.second.get());
            }
            transfers_.emplace_back(found->second.first, std::move(data));
            pending_.erase(found);
        }
        bus.send(message.createReply());
    } else if (member == QLatin1String("SelectionRead")) {
        const QString type = arguments.value(1).toString();
        const QByteArray* data = nullptr;
        for (const auto& [name, bytes] : others_) {
            if (name == type) {
                data = &bytes;
            }
        }
        int ends[2];
        if (sessionOwns_ || !data || pipe2(ends, O_CLOEXEC) != 0) {
            bus.send(message.createErrorReply(QStringLiteral("org.freedesktop.portal.Error.Failed"),
                                              QStringLiteral("nothing of that type")));
            return true;
        }
        FileDescriptor readEnd(ends[0]);
        FileDescriptor writeEnd(ends[1]);
        if (silent_) {
            silentEnds_.push_back(std::move(writeEnd));
        } else {
            // The tests' contents fit in a pipe's buffer.
            [[maybe_unused]] ssize_t written = ::write(writeEnd.get(), data->data(), data->size());
        }
        bus.send(message.createReply(QVariant::fromValue(QDBusUnixFileDescriptor(readEnd.get()))));
    } else {
        return false;
    }
    return true;
}

} // namespace tamsel::testing
