#include "shell/FireClient.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/qt/SingleInstance.h"

namespace tamsel::FireClient {

std::string programForCommands() {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path running = fs::canonical("/proc/self/exe", error);
    if (error) {
        return "tamsel";
    }
    const char* path = std::getenv("PATH");
    std::istringstream folders(path != nullptr ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');) {
        if (folder.empty()) {
            continue;
        }
        const fs::path candidate = fs::path(folder) / "tamsel";
        if (::access(candidate.c_str(), X_OK) == 0) {
            // The first one the shell would run decides.
            return fs::canonical(candidate, error) == running && !error ? "tamsel"
                                                                         : running.string();
        }
    }
    return running.string();
}

int run(const FireRequest& request, std::ostream& error) {
    // An XWayland session's instance goes by DISPLAY, a bare Wayland one by
    // WAYLAND_DISPLAY: the same choice the instance made at its start.
    std::vector<QString> displays;
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        if (const char* value = std::getenv(variable); value != nullptr && value[0] != '\0') {
            displays.push_back(QString::fromLocal8Bit(value));
        }
    }
    if (displays.empty()) {
        error << "tamsel: no Tamsel can run here: neither DISPLAY nor WAYLAND_DISPLAY is set.\n";
        return FireCommand::notRunningExitCode;
    }
    const SingleInstance::Folder folder = SingleInstance::privateFolder();
    if (!folder.path) {
        error << "tamsel: " << folder.error << "\n";
        return FireCommand::notRunningExitCode;
    }
    std::string line = FireCommand::requestLine(request);
    line.pop_back(); // the line break goes with the sending
    std::string lastError;
    for (const QString& display : displays) {
        const SingleInstance::Answer answer = SingleInstance::ask(
            SingleInstance::socketPathFor(*folder.path, display), line, answerTimeoutMS);
        if (!answer.reached) {
            lastError = answer.error;
            continue;
        }
        const std::optional<FireReply> reply =
            answer.line ? FireCommand::parseReply(*answer.line) : std::nullopt;
        if (!reply) {
            error << "tamsel: "
                  << (answer.line ? "the running Tamsel gave an answer this one does not know: \"" +
                                        *answer.line + "\"."
                                  : answer.error)
                  << "\n";
            return FireCommand::notRunningExitCode;
        }
        if (!reply->fired) {
            error << "tamsel: " << reply->reason << "\n";
            return FireCommand::declinedExitCode;
        }
        return FireCommand::firedExitCode;
    }
    error << "tamsel: no Tamsel is running in this session (" << lastError
          << "); start it first.\n";
    return FireCommand::notRunningExitCode;
}

} // namespace tamsel::FireClient
