#pragma once

// Stand-ins for a desktop on a test's bus, each on a thread of its own so a
// client on the test's thread may block on a call that passes through them.
//
// FakeDesktop is a portal back end as KDE's or GNOME's would be (the
// org.freedesktop.impl.portal interfaces), reached through the real
// frontend. FakeFrontend speaks the public RemoteDesktop interface itself, at
// version 2, for what Debian's frontend cannot yet pass on (persistence).

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QSet>
#include <QString>
#include <QThread>
#include <QVariantList>
#include <QVariantMap>

#include "platform/portal/PortalRequest.h"

namespace tamsel::testing {

struct RecordedCall {
    QString interface;
    QString member;
    QString path;
    QVariantList arguments;
    // When the call reached the fake (CLOCK_MONOTONIC).
    std::chrono::steady_clock::time_point at{};
};

// The part both fakes share: a thread, a connection, the calls heard.
class FakeBusObject : public QDBusVirtualObject {
public:
    FakeBusObject(const QString& address, const QString& connectionName, const QString& busName,
                  const QString& path = QStringLiteral("/org/freedesktop/portal/desktop"));
    ~FakeBusObject() override;

    bool owned() const { return owned_; }
    // Stops answering; each fake calls it first thing in its destructor, so
    // no call reaches a half-destroyed fake.
    void shutDown();
    std::vector<RecordedCall> calls() const;
    std::vector<RecordedCall> calls(const QString& member) const;
    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;
    QDBusConnection& bus() { return bus_; }

protected:
    // Answers one call; false when the fake does not know it.
    virtual bool answer(const QDBusMessage& message, QDBusConnection& bus) = 0;
    void record(const QDBusMessage& message);

    mutable std::mutex mutex_;

private:
    QString connectionName_;
    QString path_;
    QDBusConnection bus_;
    QThread thread_;
    bool owned_ = false;
    bool shutDown_ = false;
    std::vector<RecordedCall> calls_;
};

class FakeDesktop final : public FakeBusObject {
public:
    static constexpr char busName[] = "org.freedesktop.impl.portal.desktop.tamseltest";
    static constexpr char interfaces[] =
        "org.freedesktop.impl.portal.GlobalShortcuts;org.freedesktop.impl.portal.RemoteDesktop;";

    explicit FakeDesktop(const QString& address);
    ~FakeDesktop() override { shutDown(); }

    // What the next answers say.
    void setBindResponse(uint code);
    // The trigger the desktop says it assigned to a shortcut id, in place of
    // the one asked for (an empty text: bound without a trigger).
    void assignTrigger(const QString& id, const QString& description);
    void setStartResponse(uint code, uint devices);
    // As KDE Plasma 5.27 and 6.0: shortcuts are bound from CreateSession's
    // options and listed in its answer; BindShortcuts ignores its list and
    // answers with the session's.
    void setBindsAtCreation(bool atCreation);

    // The sessions opened through CreateSession, in order.
    std::vector<QString> sessions(const QString& interface) const;
    std::vector<QString> closedSessions() const;

    // As a desktop would: a shortcut pressed and let go, the triggers
    // changed in its settings, a session ended.
    void activate(const QString& session, const QString& id);
    void deactivate(const QString& session, const QString& id);
    void changeShortcuts(const QString& session,
                         const QList<std::pair<QString, QString>>& triggers);
    void closeSession(const QString& session);

private:
    bool answer(const QDBusMessage& message, QDBusConnection& bus) override;

    // The shortcuts as bound, with the triggers assigned; under mutex_.
    QList<PortalShortcutEntry> bindLocked(const QVariant& asked) const;

    uint bindResponse_ = 0;
    bool bindsAtCreation_ = false;
    std::map<QString, QList<PortalShortcutEntry>> sessionBindings_;
    std::vector<std::pair<QString, QString>> assigned_;
    uint startResponse_ = 0;
    uint startDevices_ = 1;
    std::vector<std::pair<QString, QString>> sessions_; // interface, path
    std::vector<QString> closed_;
};

class FakeFrontend final : public FakeBusObject {
public:
    explicit FakeFrontend(const QString& address);
    ~FakeFrontend() override { shutDown(); }

    // Tokens this desktop honours: a start with one of them asks nobody.
    void setStartDenied(bool denied);
    int consentDialogs() const;
    std::vector<QString> issuedTokens() const;

private:
    bool answer(const QDBusMessage& message, QDBusConnection& bus) override;
    void respond(QDBusConnection& bus, const QString& request, uint code,
                 const QVariantMap& results);

    bool denied_ = false;
    int dialogs_ = 0;
    int sessions_ = 0;
    std::vector<QString> tokens_;
    QString pendingToken_; // the token SelectDevices brought, for Start
};

// KWin's scripting interface, enough to load, start and unload a script.
class FakeKWin final : public FakeBusObject {
public:
    explicit FakeKWin(const QString& address);
    ~FakeKWin() override { shutDown(); }
    // The text of the last script loaded, read when it was loaded.
    QString loadedScript() const;

private:
    bool answer(const QDBusMessage& message, QDBusConnection& bus) override;
    QString script_;
    QSet<QString> loaded_;
};

} // namespace tamsel::testing
