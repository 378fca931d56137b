#include "platform/qt/DesktopServices.h"

#include <cstdlib>
#include <fstream>
#include <system_error>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QUrl>

#include "core/toolkit/HomeDirectory.h"

namespace tamsel {

namespace Autostart {

std::filesystem::path folder() {
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    if (configHome != nullptr && *configHome == '/') {
        return std::filesystem::path(configHome) / "autostart";
    }
    return homeDirectory() / ".config" / "autostart";
}

std::string entry(const std::filesystem::path& executable) {
    // Exec quoting: inside double quotes, quote, backtick, dollar and
    // backslash take a backslash; then the value's own escaping doubles every
    // backslash, and a percent sign is written twice (field codes).
    std::string quoted = "\"";
    for (char c : executable.string()) {
        if (c == '"' || c == '`' || c == '$') {
            quoted += "\\\\";
            quoted += c;
        } else if (c == '\\') {
            quoted += "\\\\\\\\";
        } else if (c == '%') {
            quoted += "%%";
        } else {
            quoted += c;
        }
    }
    quoted += '"';
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Tamsel\n"
           "Comment=Append saved prompts with a shortcut\n"
           "Exec=" +
           quoted +
           "\n"
           "Icon=io.tamsel.Tamsel\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

std::optional<std::string> setEnabled(bool enabled, const std::filesystem::path& entryFile,
                                      const std::filesystem::path& executable) {
    std::error_code error;
    if (!enabled) {
        std::filesystem::remove(entryFile, error);
        if (error) {
            return "Cannot remove " + entryFile.string() + ": " + error.message();
        }
        return std::nullopt;
    }
    std::filesystem::create_directories(entryFile.parent_path(), error);
    if (error) {
        return "Cannot create " + entryFile.parent_path().string() + ": " + error.message();
    }
    const std::filesystem::path temporary = entryFile.string() + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << entry(executable);
        out.flush();
        if (!out) {
            std::filesystem::remove(temporary, error);
            return "Cannot write " + entryFile.string() + ".";
        }
    }
    std::filesystem::rename(temporary, entryFile, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        return "Cannot write " + entryFile.string() + ": " + error.message();
    }
    return std::nullopt;
}

bool isEnabled(const std::filesystem::path& entryFile) {
    std::ifstream in(entryFile);
    if (!in) {
        return false;
    }
    // The desktop's own switch writes Hidden=true rather than deleting the entry.
    std::string line;
    while (std::getline(in, line)) {
        if (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false") {
            return false;
        }
    }
    return true;
}

} // namespace Autostart

std::optional<std::string> DesktopServices::setLaunchAtLogin(bool enabled) {
    return Autostart::setEnabled(enabled, Autostart::folder() / entryName,
                                 QCoreApplication::applicationFilePath().toStdString());
}

bool DesktopServices::launchesAtLogin() const {
    return Autostart::isEnabled(Autostart::folder() / entryName);
}

void DesktopServices::openFile(const std::filesystem::path& file) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(file.string())));
}

void DesktopServices::revealFile(const std::filesystem::path& file) {
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.FileManager1",
                                                       "/org/freedesktop/FileManager1",
                                                       "org.freedesktop.FileManager1", "ShowItems");
    call << QStringList{QUrl::fromLocalFile(QString::fromStdString(file.string())).toString()}
         << QString();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        const QDBusMessage reply = bus.call(call, QDBus::Block, 2000);
        if (reply.type() == QDBusMessage::ReplyMessage) {
            return;
        }
    }
    openFile(file.parent_path());
}

} // namespace tamsel
