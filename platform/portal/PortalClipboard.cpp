#include "platform/portal/PortalClipboard.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <system_error>

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QStringList>

#include "core/toolkit/FileDescriptor.h"
#include "platform/portal/PortalKeyboard.h"
#include "platform/portal/PortalRequest.h"

namespace tamsel {

namespace {

constexpr char clipboardInterface[] = "org.freedesktop.portal.Clipboard";
constexpr int callLimitMS = 2000;
// The type every toolkit offers text under, asked for when the portal has
// not said what the clipboard holds (it speaks only of changes).
constexpr char utf8Text[] = "text/plain;charset=utf-8";

using Clock = std::chrono::steady_clock;

int millisecondsUntil(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<std::int64_t>(left.count(), 0));
}

QDBusMessage clipboardCall(const char* method) {
    return QDBusMessage::createMethodCall(QLatin1String(Portal::service),
                                          QLatin1String(Portal::objectPath),
                                          QLatin1String(clipboardInterface), QLatin1String(method));
}

// Our own copy of the descriptor a reply carries (the reply's closes with it).
FileDescriptor descriptorOf(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return {};
    }
    const auto fd = reply.arguments().front().value<QDBusUnixFileDescriptor>();
    return fd.isValid() ? FileDescriptor(fcntl(fd.fileDescriptor(), F_DUPFD_CLOEXEC, 0))
                        : FileDescriptor();
}

QVariantMap mapOf(const QVariant& value) {
    if (value.userType() == qMetaTypeId<QDBusArgument>()) {
        QVariantMap map;
        value.value<QDBusArgument>() >> map;
        return map;
    }
    return value.toMap();
}

QString pathOf(const QVariant& value) {
    return value.userType() == qMetaTypeId<QDBusObjectPath>()
               ? value.value<QDBusObjectPath>().path()
               : value.toString();
}

// Reads until the writer closes its end; false when it fails or the deadline
// passes first.
bool drain(int fd, Clock::time_point deadline, std::string& data) {
    char buffer[65536];
    for (;;) {
        pollfd waiting{fd, POLLIN, 0};
        const int ready = poll(&waiting, 1, millisecondsUntil(deadline));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return false;
        }
        const ssize_t count = read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return count == 0;
        }
        data.append(buffer, static_cast<std::size_t>(count));
    }
}

// Writes everything before the deadline; false when the reader went away
// or took too long.
bool pour(int fd, const std::string& data, Clock::time_point deadline) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    std::size_t written = 0;
    while (written < data.size()) {
        const ssize_t count = write(fd, data.data() + written, data.size() - written);
        if (count > 0) {
            written += static_cast<std::size_t>(count);
            continue;
        }
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0 && errno != EAGAIN) {
            return false;
        }
        pollfd waiting{fd, POLLOUT, 0};
        if (poll(&waiting, 1, millisecondsUntil(deadline)) <= 0 ||
            (waiting.revents & (POLLERR | POLLHUP)) != 0) {
            return false;
        }
    }
    return true;
}

// The types a text is offered under: what GTK, Qt and terminals ask for.
std::vector<std::pair<std::string, std::string>> textContents(std::string_view text) {
    std::vector<std::pair<std::string, std::string>> contents;
    for (const char* type : {utf8Text, "text/plain", "UTF8_STRING", "STRING", "TEXT"}) {
        contents.emplace_back(type, std::string(text));
    }
    return contents;
}

QDBusMessage writeDone(const QString& session, std::uint32_t serial, bool written) {
    QDBusMessage done = clipboardCall("SelectionWriteDone");
    done << QVariant::fromValue(QDBusObjectPath(session)) << serial << written;
    return done;
}

} // namespace

PortalClipboard::PortalClipboard(QDBusConnection bus, std::shared_ptr<PortalKeyboard> keyboard)
    : bus_(std::move(bus)), keyboard_(std::move(keyboard)) {
    bus_.connect(QLatin1String(Portal::service), QLatin1String(Portal::objectPath),
                 QLatin1String(clipboardInterface), QStringLiteral("SelectionOwnerChanged"), this,
                 SLOT(selectionOwnerChanged(QDBusMessage)));
    bus_.connect(QLatin1String(Portal::service), QLatin1String(Portal::objectPath),
                 QLatin1String(clipboardInterface), QStringLiteral("SelectionTransfer"), this,
                 SLOT(selectionTransfer(QDBusMessage)));
}

PortalClipboard::~PortalClipboard() {
    bus_.disconnect(QLatin1String(Portal::service), QLatin1String(Portal::objectPath),
                    QLatin1String(clipboardInterface), QStringLiteral("SelectionOwnerChanged"),
                    this, SLOT(selectionOwnerChanged(QDBusMessage)));
    bus_.disconnect(QLatin1String(Portal::service), QLatin1String(Portal::objectPath),
                    QLatin1String(clipboardInterface), QStringLiteral("SelectionTransfer"), this,
                    SLOT(selectionTransfer(QDBusMessage)));
    for (Answer& answer : answers_) {
        answer.thread.join();
    }
}

QString PortalClipboard::followSession() {
    const QString current = keyboard_->clipboardSession();
    if (current != session_) {
        session_ = current;
        offered_.clear();
        ours_ = false;
        offersSettled_ = offers_;
        othersTypes_.reset();
        requests_ = 0;
        requestsBeforeExpecting_ = 0;
    }
    return session_;
}

bool PortalClipboard::available() {
    return !keyboard_->clipboardSession().isEmpty();
}

std::optional<std::vector<std::unique_ptr<PasteboardItem>>> PortalClipboard::items() {
    const Clock::time_point deadline = Clock::now() + captureLimit;
    std::vector<std::unique_ptr<PasteboardItem>> items;
    QString session;
    std::optional<std::vector<std::string>> types;
    {
        std::lock_guard lock(mutex_);
        session = followSession();
        if (session.isEmpty()) {
            return std::nullopt;
        }
        if (ours_) {
            // Asking the portal would only bring our own answer back.
            if (!offered_.empty()) {
                items.push_back(std::make_unique<StoredPasteboardItem>(offered_));
            }
            return items;
        }
        types = othersTypes_;
    }
    const bool typesKnown = types.has_value();
    if (!typesKnown) {
        types = std::vector<std::string>{utf8Text};
    }
    std::vector<std::pair<std::string, FileDescriptor>> pending;
    for (const std::string& type : *types) {
        QDBusMessage call = clipboardCall("SelectionRead");
        call << QVariant::fromValue(QDBusObjectPath(session)) << QString::fromStdString(type);
        const int left = millisecondsUntil(deadline);
        if (left == 0) {
            return std::nullopt;
        }
        if (FileDescriptor fd = descriptorOf(bus_.call(call, QDBus::Block, left))) {
            pending.emplace_back(type, std::move(fd));
        }
    }
    Contents contents;
    for (auto& [type, fd] : pending) {
        std::string data;
        if (drain(fd.get(), deadline, data)) {
            contents.emplace_back(type, std::move(data));
        }
    }
    // Types that did not come in time are left out, as with data control.
    // An owner that gave nothing at all leaves the clipboard unreadable
    // rather than "empty", which giving back would make it; so does a
    // guessed text type that came back empty, which may only mean the
    // clipboard holds no text.
    const bool nothingRead = contents.empty() && !types->empty();
    const bool emptyGuess = !typesKnown && !contents.empty() && contents.front().second.empty();
    if (nothingRead || emptyGuess) {
        return std::nullopt;
    }
    if (!contents.empty()) {
        items.push_back(std::make_unique<StoredPasteboardItem>(std::move(contents)));
    }
    return items;
}

bool PortalClipboard::offer(Contents contents) {
    QString session;
    std::uint64_t serial = 0;
    QStringList types;
    {
        std::lock_guard lock(mutex_);
        session = followSession();
        if (session.isEmpty()) {
            return false;
        }
        Contents unique;
        for (auto& [type, bytes] : contents) {
            if (!types.contains(QString::fromStdString(type))) {
                types.append(QString::fromStdString(type));
                unique.emplace_back(std::move(type), std::move(bytes));
            }
        }
        // In place before the portal hears of it: a request may come at once.
        offered_ = std::move(unique);
        ours_ = true;
        serial = ++offers_;
    }
    QDBusMessage call = clipboardCall("SetSelection");
    call << QVariant::fromValue(QDBusObjectPath(session))
         << QVariantMap{{QStringLiteral("mime_types"), types}};
    const bool set =
        bus_.call(call, QDBus::Block, callLimitMS).type() == QDBusMessage::ReplyMessage;
    {
        std::lock_guard lock(mutex_);
        if (!set && offers_ == serial) {
            ours_ = false;
        }
    }
    // Owner changes the portal sent before it took this selection are
    // already queued for the object's thread: this comes after them.
    QMetaObject::invokeMethod(
        this,
        [this, serial] {
            std::lock_guard lock(mutex_);
            offersSettled_ = std::max(offersSettled_, serial);
        },
        Qt::QueuedConnection);
    return set;
}

void PortalClipboard::clearContents() {
    offer({});
}

bool PortalClipboard::setString(std::string_view text) {
    return offer(textContents(text));
}

bool PortalClipboard::writeObjects(const std::vector<PasteboardItemContents>& items) {
    Contents contents;
    for (const auto& item : items) {
        contents.insert(contents.end(), item.begin(), item.end());
    }
    return offer(std::move(contents));
}

bool PortalClipboard::offerTemporaryText(std::string_view text) {
    Contents contents = textContents(text);
    // The hint password managers set, which clipboard histories honour by
    // keeping nothing; one history also knows a spelling of its own.
    contents.emplace_back("x-kde-passwordManagerHint", "secret");
    contents.emplace_back("application/x-copyq-hidden", "1");
    return offer(std::move(contents));
}

bool PortalClipboard::holdsWrittenContents() {
    std::lock_guard lock(mutex_);
    return !followSession().isEmpty() && ours_;
}

bool PortalClipboard::giveBack(const std::vector<PasteboardItemContents>& items) {
    if (!holdsWrittenContents()) {
        return false;
    }
    return writeObjects(items) || items.empty();
}

void PortalClipboard::expectReadBy(std::uint64_t) {
    std::lock_guard lock(mutex_);
    followSession();
    requestsBeforeExpecting_ = requests_;
}

bool PortalClipboard::readAsExpected() {
    std::lock_guard lock(mutex_);
    followSession();
    return requests_ > requestsBeforeExpecting_;
}

void PortalClipboard::selectionOwnerChanged(const QDBusMessage& message) {
    const QVariantList arguments = message.arguments();
    if (arguments.size() < 2) {
        return;
    }
    const QVariantMap options = mapOf(arguments.at(1));
    std::lock_guard lock(mutex_);
    if (pathOf(arguments.at(0)) != followSession() || session_.isEmpty()) {
        return;
    }
    if (options.value(QStringLiteral("session_is_owner")).toBool()) {
        return;
    }
    if (offersSettled_ < offers_) {
        return; // from before our latest SetSelection
    }
    ours_ = false;
    offered_.clear();
    std::vector<std::string> types;
    for (const QString& type : options.value(QStringLiteral("mime_types")).toStringList()) {
        types.push_back(type.toStdString());
    }
    othersTypes_ = std::move(types);
}

void PortalClipboard::selectionTransfer(const QDBusMessage& message) {
    const QVariantList arguments = message.arguments();
    if (arguments.size() < 3) {
        return;
    }
    const QString session = pathOf(arguments.at(0));
    const std::string type = arguments.at(1).toString().toStdString();
    const std::uint32_t serial = arguments.at(2).toUInt();
    std::shared_ptr<const std::string> data;
    {
        std::lock_guard lock(mutex_);
        if (session != followSession() || session_.isEmpty()) {
            return;
        }
        ++requests_;
        if (ours_) {
            for (const auto& [name, bytes] : offered_) {
                if (name == type) {
                    data = std::make_shared<const std::string>(bytes);
                }
            }
        }
    }
    answer(session, serial, std::move(data));
}

void PortalClipboard::answer(const QString& session, std::uint32_t serial,
                             std::shared_ptr<const std::string> data) {
    std::erase_if(answers_, [](Answer& answer) {
        if (!answer.finished->load()) {
            return false;
        }
        answer.thread.join();
        return true;
    });
    auto finished = std::make_shared<std::atomic<bool>>(false);
    auto respond = [bus = bus_, session, serial, data = std::move(data), finished]() mutable {
        // A reader that closes early must not end the program.
        sigset_t pipeSignal;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
        bool written = false;
        if (data) {
            QDBusMessage call = clipboardCall("SelectionWrite");
            call << QVariant::fromValue(QDBusObjectPath(session)) << serial;
            if (FileDescriptor fd = descriptorOf(bus.call(call, QDBus::Block, callLimitMS))) {
                written = pour(fd.get(), *data, Clock::now() + answerLimit) && fd.close();
            }
        }
        bus.call(writeDone(session, serial, written), QDBus::Block, callLimitMS);
        *finished = true;
    };
    try {
        answers_.push_back({std::thread(std::move(respond)), std::move(finished)});
    } catch (const std::system_error&) {
        // No thread to write on: the application gets a clear no.
        bus_.call(writeDone(session, serial, false), QDBus::NoBlock);
    }
}

} // namespace tamsel
