#pragma once

// The desktop's clipboard through the portal's Clipboard interface, on the
// RemoteDesktop session PortalKeyboard opens: GNOME offers no data control,
// and this is its one way to let a program set and read the clipboard.
//
// The injector calls in on its worker thread and waits there for the bus.
// The portal's signals (a new owner, an application asking for our data)
// come to the object's thread, which must run an event loop; each answer is
// written on a short-lived thread of its own, so a slow reader holds up
// neither the signals nor the injector.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>

#include "platform/Pasteboard.h"

namespace tamsel {

class PortalKeyboard;

class PortalClipboard final : public QObject, public Pasteboard {
    Q_OBJECT
public:
    // Create and destroy on a thread with an event loop (the main thread).
    PortalClipboard(QDBusConnection bus, std::shared_ptr<PortalKeyboard> keyboard);
    ~PortalClipboard() override;

    // Only while the keyboard's session runs with the clipboard shared.
    bool available() override;
    std::optional<std::vector<std::unique_ptr<PasteboardItem>>> items() override;
    void clearContents() override;
    bool setString(std::string_view text) override;
    bool writeObjects(const std::vector<PasteboardItemContents>& items) override;
    bool holdsWrittenContents() override;
    bool offerTemporaryText(std::string_view text) override;
    // One SetSelection replaces what we offered: no empty moment between.
    bool giveBack(const std::vector<PasteboardItemContents>& items) override;
    // The portal does not say who reads: any request after this counts.
    void expectReadBy(std::uint64_t window) override;
    bool readAsExpected() override;

    // One total limit for reading every type of the previous contents; an
    // owner that sends nothing in time leaves the clipboard unreadable.
    static constexpr std::chrono::milliseconds captureLimit{1000};
    // How long an application may take to empty the pipe we write to.
    static constexpr std::chrono::milliseconds answerLimit{5000};

private Q_SLOTS:
    void selectionOwnerChanged(const QDBusMessage& message);
    void selectionTransfer(const QDBusMessage& message);

private:
    using Contents = std::vector<std::pair<std::string, std::string>>;
    struct Answer {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> finished;
    };

    // The session to talk in, with the state kept for it; empty without one.
    // Holds mutex_.
    QString followSession();
    bool offer(Contents contents);
    void answer(const QString& session, std::uint32_t serial,
                std::shared_ptr<const std::string> data);

    QDBusConnection bus_;
    std::shared_ptr<PortalKeyboard> keyboard_;

    std::mutex mutex_;
    // Everything below is guarded by mutex_ and belongs to session_; a new
    // session starts from nothing known.
    QString session_;
    Contents offered_; // what we serve while the selection is ours
    bool ours_ = false;
    // Bumped by each SetSelection; an owner change heard before the object's
    // thread has caught up with the latest one was sent before it.
    std::uint64_t offers_ = 0;
    std::uint64_t offersSettled_ = 0;
    // The types another owner offers; no value until the portal has said.
    std::optional<std::vector<std::string>> othersTypes_;
    int requests_ = 0;
    int requestsBeforeExpecting_ = 0;

    // Only on the object's thread.
    std::vector<Answer> answers_;
};

} // namespace tamsel
