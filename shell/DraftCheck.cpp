#include "shell/DraftCheck.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include <QCoreApplication>

#include "core/config/ConfigCodec.h"
#include "core/config/ConfigStore.h"
#include "core/toolkit/HomeDirectory.h"
#include "platform/net/LocalModelServer.h"

namespace tamsel::DraftCheck {

namespace {

// The configured address, read without writing anything: a check must not
// create the configuration file.
std::optional<std::string> configuredURL(std::ostream& out) {
    const std::filesystem::path file = ConfigStore::defaultFileURL();
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    auto decoded = ConfigCodec::decode(bytes.str());
    if (!decoded.config) {
        out << "configuration: " << file.string() << " cannot be read (" << decoded.error
            << "); looking for a server on this computer\n";
        return std::nullopt;
    }
    return decoded.config->modelServerURL;
}

} // namespace

int run(int argc, char** argv, std::ostream& out) {
    QCoreApplication application(argc, argv);
    LocalModelServer::Settings settings;
    settings.configuredURL = configuredURL(out);
    if (const char* ollamaHost = std::getenv("OLLAMA_HOST")) {
        settings.ollamaHost = ollamaHost;
    }
    settings.stateFile = LocalModelServer::defaultStateFile(homeDirectory());
    settings.report = [&out](const std::string& line) { out << line << "\n"; };
    auto server = std::make_shared<LocalModelServer>(std::move(settings));
    server->setStatusObserver([&server] {
        if (!server->isDiscovering()) {
            QCoreApplication::quit();
        }
    });
    out << "configured server: " << server->configuredURL().value_or("none (looking on this computer)")
        << "\n";
    server->start();
    if (server->isDiscovering()) {
        QCoreApplication::exec();
    }
    for (const std::string& line : server->discoveryReport()) {
        out << line << "\n";
    }
    const bool canDraft = server->availability() == DrafterAvailability::available;
    out << "can draft: " << (canDraft ? "yes" : "no") << "\n";
    return canDraft ? 0 : 1;
}

} // namespace tamsel::DraftCheck
