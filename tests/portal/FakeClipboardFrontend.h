#pragma once

// A portal frontend speaking RemoteDesktop (version 2) and Clipboard
// (version 1) together, as newer frontends do and Debian's cannot, with a
// desktop clipboard behind it and an application in front that pastes when
// it gets Ctrl+Shift+V. Other applications copy when the test says so.

#include <map>
#include <optional>
#include <utility>
#include <vector>

#include <QByteArray>
#include <QStringList>

#include "core/toolkit/FileDescriptor.h"
#include "tests/portal/FakeDesktop.h"

namespace tamsel::testing {

using ClipboardContents = std::vector<std::pair<QString, QByteArray>>;

class FakeClipboardFrontend final : public FakeBusObject {
public:
    explicit FakeClipboardFrontend(const QString& address);
    ~FakeClipboardFrontend() override { shutDown(); }

    // Whether the portal has the Clipboard interface, and whether Start
    // shares the clipboard with a session that asked for it.
    void setClipboard(bool offered, bool shared);
    // Another application copies. `silent`: it never writes what is read
    // from it. `announced`: the portal tells the session (it says nothing
    // of what was there before the session started).
    void copyElsewhere(ClipboardContents contents, bool silent = false, bool announced = true);
    // Another application copies right after the next paste key.
    void copyElsewhereOnPaste(ClipboardContents contents);
    // Another application copies just before the portal takes the
    // session's next selection: the news comes before SetSelection's answer.
    void copyElsewhereBeforeNextOffer(ClipboardContents contents);
    // An application asks the session's selection for `type`; the answer
    // lands in transfers().
    void requestFromSession(const QString& type);

    QString session() const;
    bool sessionOwns() const;
    // What each SetSelection offered, in order.
    std::vector<QStringList> offers() const;
    // Each answer the session gave, in order: the type asked for and the
    // bytes, or no value for a refusal.
    std::vector<std::pair<QString, std::optional<QByteArray>>> transfers() const;

private:
    bool answer(const QDBusMessage& message, QDBusConnection& bus) override;
    bool answerClipboard(const QDBusMessage& message, QDBusConnection& bus);
    void respond(QDBusConnection& bus, const QString& request, uint code,
                 const QVariantMap& results);
    void announce(bool sessionIsOwner, const QStringList& types);
    // Holds mutex_.
    void requestFromSessionLocked(const QString& type);

    bool offered_ = true;
    bool shared_ = true;
    bool requested_ = false;
    QString session_;
    bool sessionOwns_ = false;
    ClipboardContents others_;
    bool silent_ = false;
    std::optional<ClipboardContents> copyOnPaste_;
    std::optional<ClipboardContents> copyBeforeOffer_;
    std::vector<QStringList> offers_;
    uint serial_ = 0;
    // Per transfer under way: the type asked for and our end of its pipe.
    std::map<uint, std::pair<QString, FileDescriptor>> pending_;
    std::vector<std::pair<QString, std::optional<QByteArray>>> transfers_;
    // The write ends of silent owners, open until the fake goes.
    std::vector<FileDescriptor> silentEnds_;
};

} // namespace tamsel::testing
