#pragma once

// The request/response exchange every portal method that asks the desktop
// goes through: the call returns a Request object at once, and the answer
// comes later as that object's Response signal. The object's path is made
// from our unique bus name and a token of ours, so we subscribe to it before
// calling and cannot miss an answer that comes fast; a portal that returns a
// different path is followed there. Also: sessions, interface versions and
// the application id a host application registers.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include "core/config/Language.h"

class QDBusPendingCallWatcher;

namespace tamsel {

// What went wrong with a portal, for the user.
enum class PortalProblem : std::uint8_t {
    none,
    missing, // no portal answers on the session bus, or it lacks the interface
    denied,  // the user said no (or closed the desktop's dialog)
    failed,  // the desktop refused or ended the request
    closed,  // the desktop ended our session
};

struct PortalResponse {
    // 0 success, 1 cancelled by the user, 2 ended otherwise.
    std::uint32_t code = 2;
    QVariantMap results;
    // The D-Bus error of the call itself; empty when the portal answered.
    QString error;
    QString errorMessage;

    bool succeeded() const { return error.isEmpty() && code == 0; }
    PortalProblem problem() const;
};

// One shortcut as GlobalShortcuts sends and receives it: (sa{sv}).
struct PortalShortcutEntry {
    QString id;
    QVariantMap properties;
};
QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcutEntry& entry);
const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcutEntry& entry);

namespace Portal {

inline constexpr char service[] = "org.freedesktop.portal.Desktop";
inline constexpr char objectPath[] = "/org/freedesktop/portal/desktop";
inline constexpr char requestInterface[] = "org.freedesktop.portal.Request";
inline constexpr char sessionInterface[] = "org.freedesktop.portal.Session";
inline constexpr char applicationID[] = "io.tamsel.Tamsel";

// A token no other request or session of this process has used.
QString newToken(const char* prefix);
// "/org/freedesktop/portal/desktop/request/1_42/<token>" for ":1.42".
QString requestPath(const QDBusConnection& bus, const QString& token);
QString sessionPath(const QDBusConnection& bus, const QString& token);
// The interface's version property; no value when the portal or the
// interface is missing. Blocks for one round trip.
std::optional<std::uint32_t> version(const QDBusConnection& bus, const QString& interface);
// Tells the portal which application we are, so desktops that want an
// application id from host programs (GNOME) let us bind shortcuts. Portals
// older than the registry do without; their refusal is not a problem.
void registerApplication(const QDBusConnection& bus);
// Ends a session we hold; the portal then forgets its shortcuts or devices.
// Waiting (at most a second) makes sure the word is out before we exit.
void closeSession(const QDBusConnection& bus, const QString& sessionHandle, bool wait = false);

enum class Feature : std::uint8_t { shortcuts, keyboard };
// An a(sa{sv}) from a signal or a response.
std::vector<PortalShortcutEntry> readShortcuts(const QVariant& value);
// Teaches QtDBus the shortcut list's wire type; any thread, any number of times.
void registerTypes();

// What to tell the user, in their language; empty for PortalProblem::none.
std::string message(PortalProblem problem, Feature feature, Language language);

} // namespace Portal

class PortalRequest final : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(const PortalResponse&)>;

    // Calls `method` of `interface` with `arguments` and then `options`, which
    // gains our handle_token; `done` runs once, on this thread, with the
    // answer or the call's error. The request deletes itself afterwards; it
    // also goes (without calling `done`) with `parent`.
    static PortalRequest* start(const QDBusConnection& bus, const QString& interface,
                                const QString& method, const QVariantList& arguments,
                                QVariantMap options, QObject* parent, Done done);

    // Asks the desktop to drop the request (its dialog goes away) and
    // forgets it; `done` is not called.
    void cancel();

private:
    PortalRequest(const QDBusConnection& bus, QObject* parent, Done done);
    bool listenAt(const QString& path);
    void finish(const PortalResponse& response);

private Q_SLOTS:
    void response(const QDBusMessage& message);
    void called(QDBusPendingCallWatcher* watcher);

private:
    QDBusConnection bus_;
    QString path_;
    Done done_;
    bool finished_ = false;
};

} // namespace tamsel

Q_DECLARE_METATYPE(tamsel::PortalShortcutEntry)
