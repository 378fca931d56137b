#pragma once

// The application in front on KDE Plasma under Wayland. Only KWin knows it,
// so we load a small script into KWin (through org.kde.kwin.Scripting) that
// calls us back over D-Bus with the active window's resource class each
// time the focus moves. The script is built into Tamsel, written to
// $XDG_RUNTIME_DIR for KWin to read, and unloaded when Tamsel goes; a copy
// a crashed run left loaded is unloaded first.

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include "platform/FrontWindow.h"

namespace tamsel {

class KWinActiveWindow final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "io.tamsel.Tamsel.KWin")
public:
    static constexpr char pluginName[] = "tamsel-active-window";
    static constexpr char objectPath[] = "/io/tamsel/Tamsel/KWin";

    explicit KWinActiveWindow(QDBusConnection bus);
    ~KWinActiveWindow() override;

    // The script's text with our bus name in it.
    static QString scriptText(const QString& service);
    // Registers our object, writes the script into `folder` and has KWin
    // run it. The reason when any step fails.
    std::optional<std::string> load(const std::string& folder);
    void unload();

    // The resource class KWin last reported; any thread.
    std::optional<std::string> application() const;
    // KWin lowercases the class of X11 windows ("xterm"), while the target
    // list names them as X11 spells them ("XTerm"), and targets are compared
    // exactly. Given the list, a class that matches one of its names but for
    // case is reported as the list spells it. Any thread; onChange hears the
    // result when the spelling changes what is reported.
    void setKnownNames(std::vector<std::string> names);
    // Main thread, on every report. KWin 5.27 reports no window on its way
    // from one window to the next, the next window right after.
    std::function<void(const std::optional<std::string>&)> onChange;

public Q_SLOTS:
    // Called by the script.
    Q_SCRIPTABLE void activeWindowChanged(const QString& resourceClass, const QString& caption);

private:
    QDBusConnection bus_;
    QString scriptFile_;
    bool registered_ = false;
    bool loaded_ = false;
    // Holds mutex_.
    std::optional<std::string> spelled(const std::optional<std::string>& reported) const;

    mutable std::mutex mutex_;
    std::optional<std::string> application_; // as KWin reported it
    std::vector<std::string> knownNames_;
};

// What the injector asks just before it types: the window KWin says is in
// front. KWin gives no window id over this path, so only the application
// can be checked.
class KWinFrontWindowProbe final : public FrontWindowProbe {
public:
    explicit KWinFrontWindowProbe(std::shared_ptr<KWinActiveWindow> window)
        : window_(std::move(window)) {}
    std::optional<FrontWindow> frontWindow() override {
        return FrontWindow{0, window_->application()};
    }

private:
    std::shared_ptr<KWinActiveWindow> window_;
};

} // namespace tamsel
