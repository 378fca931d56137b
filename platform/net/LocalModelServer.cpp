#include "platform/net/LocalModelServer.h"

#include <algorithm>
#include <iostream>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTimer>
#include <QUrl>

#include "platform/net/ModelServerProtocol.h"

namespace tamsel {

namespace Protocol = ModelServerProtocol;

namespace {

QUrl urlOf(const ModelServerAddress& address, const char* path) {
    return QUrl(QString::fromStdString(address.baseURL()) + QLatin1String(path));
}

std::string joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) {
        text += (text.empty() ? "" : ", ") + item;
    }
    return text;
}

bool contains(const std::vector<std::string>& items, const std::string& item) {
    return std::find(items.begin(), items.end(), item) != items.end();
}

} // namespace

std::filesystem::path LocalModelServer::defaultStateFile(const std::filesystem::path& home) {
    const char* stateHome = std::getenv("XDG_STATE_HOME");
    const std::filesystem::path base = stateHome && stateHome[0] == '/'
                                           ? std::filesystem::path(stateHome)
                                           : home / ".local/state";
    return base / "tamsel/drafting.json";
}

LocalModelServer::LocalModelServer(Settings settings) : settings_(std::move(settings)) {
    if (!settings_.report) {
        settings_.report = [](const std::string& line) {
            std::cerr << "tamsel: drafting: " << line << "\n";
        };
    }
    remembered_ = readRemembered();
    if (!remembered_.confirmedHost.empty()) {
        http_.setAllowedHost(remembered_.confirmedHost);
    }
}

void LocalModelServer::tell(const std::string& line) const { settings_.report(line); }

DrafterAvailability LocalModelServer::availability() const {
    return status_.state == ModelServerStatus::State::ready ? DrafterAvailability::available
                                                            : DrafterAvailability::notReady;
}

void LocalModelServer::setStatus(ModelServerStatus status) {
    if (status == status_) {
        return;
    }
    status_ = std::move(status);
    if (observer_) {
        observer_();
    }
}

void LocalModelServer::setConfiguredURL(std::optional<std::string> url) {
    if (url == settings_.configuredURL) {
        return;
    }
    settings_.configuredURL = std::move(url);
    discoverAgain();
}

void LocalModelServer::start() { discoverAgain(); }

std::vector<LocalModelServer::Candidate> LocalModelServer::candidates() {
    std::vector<Candidate> list;
    auto add = [&list](const ModelServerAddress& address,
                       std::optional<ModelServerFlavour> flavour) {
        const bool known = std::any_of(list.begin(), list.end(), [&](const Candidate& c) {
            return c.address == address;
        });
        if (!known) {
            list.push_back({address, flavour});
        }
    };
    if (settings_.ollamaHost) {
        if (auto address = ModelServerAddresses::parseOllamaHost(*settings_.ollamaHost);
            address && address->isLoopback()) {
            add(*address, ModelServerFlavour::ollama);
        } else if (address) {
            report_.push_back("OLLAMA_HOST names " + address->hostAndPort() +
                              ", which is not this computer: not used (set it as the server "
                              "address in the settings to use it)");
        }
    }
    for (const auto& port : settings_.defaultPorts) {
        ModelServerAddress address;
        address.host = settings_.defaultHost;
        address.port = port.port;
        add(address, port.flavour);
    }
    return list;
}

void LocalModelServer::discoverAgain() {
    cancelRequest();
    ++generation_;
    report_.clear();
    chosenAddress_.reset();
    found_.clear();
    probing_.clear();

    if (settings_.configuredURL) {
        auto parsed = ModelServerAddresses::parseURL(*settings_.configuredURL);
        if (!parsed.address) {
            report_.push_back("the configured server address cannot be used: " + parsed.error);
            setStatus({ModelServerStatus::State::invalidAddress, {}, {}, {}, {}});
            return;
        }
        if (!parsed.address->isLoopback() && parsed.address->host != remembered_.confirmedHost) {
            report_.push_back("the configured server " + parsed.address->hostAndPort() +
                              " is not on this computer; nothing is sent until you confirm it");
            setStatus({ModelServerStatus::State::hostNotConfirmed, {}, {}, {}, parsed.address->host});
            return;
        }
        probing_.push_back({*parsed.address, std::nullopt});
    } else {
        probing_ = candidates();
    }
    setStatus({ModelServerStatus::State::searching, {}, {}, {}, {}});
    found_.assign(probing_.size(), std::nullopt);
    const int generation = generation_;
    for (std::size_t index = 0; index < probing_.size(); ++index) {
        probe(index, probing_[index], generation);
    }
}

void LocalModelServer::probe(std::size_t index, const Candidate& candidate, int generation) {
    if (candidate.flavour == ModelServerFlavour::openAICompatible) {
        probeOpenAI(index, candidate, generation);
    } else {
        probeOllama(index, candidate, generation);
    }
}

// Ollama answers /api/version with its version; any other server does not,
// and a configured address of unknown kind then gets the OpenAI-compatible try.
void LocalModelServer::probeOllama(std::size_t index, const Candidate& candidate, int generation) {
    std::weak_ptr<LocalModelServer> weak = weak_from_this();
    const int timeout = settings_.probeTimeoutMS;
    http_.get(urlOf(candidate.address, "/api/version"), timeout,
              [weak, index, candidate, generation, timeout](HttpResult version) {
        auto self = weak.lock();
        if (!self || generation != self->generation_) {
            return;
        }
        auto number = version.ok() ? Protocol::parseOllamaVersion(version.body) : std::nullopt;
        if (!number) {
            if (!candidate.flavour && version.failure == HttpResult::Failure::none) {
                self->probeOpenAI(index, candidate, generation);
                return;
            }
            Found nothing;
            nothing.detail = version.failure == HttpResult::Failure::none
                                 ? "answers, but not as Ollama does (HTTP " +
                                       std::to_string(version.status) + ")"
                                 : version.detail;
            self->finishProbe(index, std::move(nothing), generation);
            return;
        }
        Found found;
        found.kind = Found::Kind::server;
        found.flavour = ModelServerFlavour::ollama;
        found.label = "Ollama " + *number + " at " + candidate.address.hostAndPort();
        self->http_.get(urlOf(candidate.address, "/api/tags"), timeout,
                        [weak, index, candidate, generation, timeout,
                         found = std::move(found)](HttpResult tags) mutable {
            auto self = weak.lock();
            if (!self || generation != self->generation_) {
                return;
            }
            auto list = tags.ok() ? Protocol::parseOllamaTags(tags.body) : std::nullopt;
            if (!list) {
                found.detail = "its list of models could not be read";
                self->finishProbe(index, std::move(found), generation);
                return;
            }
            found.chatModels = std::move(list->chatModels);
            found.skipped = std::move(list->skipped);
            self->http_.get(urlOf(candidate.address, "/api/ps"), timeout,
                            [weak, index, generation, found = std::move(found)](
                                HttpResult running) mutable {
                auto self = weak.lock();
                if (!self || generation != self->generation_) {
                    return;
                }
                if (auto loaded = running.ok() ? Protocol::parseOllamaLoaded(running.body)
                                               : std::nullopt) {
                    found.loaded = std::move(*loaded);
                }
                self->finishProbe(index, std::move(found), generation);
            });
        });
    });
}

// Port 8080 often belongs to an unrelated development server: only a reply
// with the shape of a model list counts.
void LocalModelServer::probeOpenAI(std::size_t index, const Candidate& candidate, int generation) {
    std::weak_ptr<LocalModelServer> weak = weak_from_this();
    http_.get(urlOf(candidate.address, "/v1/models"), settings_.probeTimeoutMS,
              [weak, index, candidate, generation](HttpResult models) {
        auto self = weak.lock();
        if (!self || generation != self->generation_) {
            return;
        }
        Found found;
        found.flavour = ModelServerFlavour::openAICompatible;
        found.label = "the model server at " + candidate.address.hostAndPort();
        if (models.status == 503 && Protocol::errorMessage(models.body)) {
            found.kind = Found::Kind::loading;
            found.detail = "still loading: " + *Protocol::errorMessage(models.body);
        } else if (auto list = models.ok() ? Protocol::parseOpenAIModels(models.body)
                                           : std::nullopt) {
            found.kind = Found::Kind::server;
            found.chatModels = std::move(list->chatModels);
            found.skipped = std::move(list->skipped);
            // A server that serves one model has it loaded.
            if (found.chatModels.size() == 1) {
                found.loaded = found.chatModels;
            }
        } else {
            found.detail = models.failure == HttpResult::Failure::none
                               ? "answers, but not as a model server does (HTTP " +
                                     std::to_string(models.status) + ")"
                               : models.detail;
        }
        self->finishProbe(index, std::move(found), generation);
    });
}

void LocalModelServer::finishProbe(std::size_t index, Found found, int generation) {
    if (generation != generation_ || index >= found_.size()) {
        return;
    }
    found_[index] = std::move(found);
    if (std::all_of(found_.begin(), found_.end(), [](const auto& f) { return f.has_value(); })) {
        decide();
    }
}

void LocalModelServer::decide() {
    const Remembered& remembered = remembered_;
    std::optional<std::size_t> chosen;
    bool anyLoading = false;
    bool anyServer = false;
    for (std::size_t index = 0; index < found_.size(); ++index) {
        const Found& found = *found_[index];
        const std::string where = probing_[index].address.hostAndPort();
        switch (found.kind) {
        case Found::Kind::nothing:
            report_.push_back(where + ": no model server (" + found.detail + ")");
            break;
        case Found::Kind::loading:
            anyLoading = true;
            report_.push_back(where + ": a model server, " + found.detail);
            break;
        case Found::Kind::server:
            anyServer = true;
            report_.push_back(where + ": " + found.label + "; chat models: " +
                              (found.chatModels.empty() ? "none" : joined(found.chatModels)) +
                              (found.skipped.empty() ? "" : "; skipped: " + joined(found.skipped)) +
                              (found.loaded.empty() ? "" : "; loaded: " + joined(found.loaded)));
            if (!chosen && !found.chatModels.empty()) {
                chosen = index;
            }
            break;
        }
    }
    if (!chosen) {
        using State = ModelServerStatus::State;
        const State state = anyLoading ? State::loading
                            : anyServer ? State::noChatModel
                                        : State::noServer;
        report_.push_back(state == State::loading       ? "no model can draft yet: loading"
                          : state == State::noChatModel ? "no model can draft: no chat model"
                                                        : "no model can draft: no server found");
        setStatus({state, {}, {}, {}, {}});
        return;
    }

    const Found& found = *found_[*chosen];
    chosenAddress_ = probing_[*chosen].address;
    chosenFlavour_ = found.flavour;
    std::string model;
    std::string why;
    for (const std::string& loaded : found.loaded) {
        if (contains(found.chatModels, loaded)) {
            model = loaded;
            why = "it is loaded";
            break;
        }
    }
    if (model.empty() && contains(found.chatModels, remembered.model)) {
        model = remembered.model;
        why = "you picked it before";
    }
    if (model.empty() && found.chatModels.size() == 1) {
        model = found.chatModels.front();
        why = "it is the only chat model";
    }
    if (model.empty()) {
        report_.push_back("several chat models on " + found.label +
                          " and none loaded or picked before: pick one in the Prompt Lab");
        setStatus({ModelServerStatus::State::chooseModel, found.label, {}, found.chatModels, {}});
        return;
    }
    report_.push_back("drafting with " + model + " on " + found.label + ", because " + why);
    setStatus({ModelServerStatus::State::ready, found.label, model, found.chatModels,
               chosenAddress_->host, chosenAddress_->isLoopback()});
}

void LocalModelServer::chooseModel(const std::string& model) {
    if (!chosenAddress_ || !contains(status_.models, model)) {
        return;
    }
    remembered_.model = model;
    writeRemembered(remembered_);
    ModelServerStatus status = status_;
    status.state = ModelServerStatus::State::ready;
    status.model = model;
    setStatus(std::move(status));
}

void LocalModelServer::confirmHost(const std::string& host) {
    if (status_.state != ModelServerStatus::State::hostNotConfirmed || host != status_.host) {
        return;
    }
    remembered_.confirmedHost = host;
    writeRemembered(remembered_);
    http_.setAllowedHost(host);
    discoverAgain();
}

void LocalModelServer::respond(const std::string& instructions, const std::string& prompt,
                               const GenerationOptions& options,
                               std::function<void(std::optional<GeneratedPromptDraft>)> completion) {
    if (status_.state != ModelServerStatus::State::ready || !chosenAddress_ || request_) {
        // One request at a time: a second would make some servers load the model twice.
        QTimer::singleShot(0, [completion = std::move(completion)] { completion(std::nullopt); });
        return;
    }
    const QByteArray body =
        Protocol::chatRequest(chosenFlavour_, status_.model, instructions, prompt, options);
    std::weak_ptr<LocalModelServer> weak = weak_from_this();
    const ModelServerFlavour flavour = chosenFlavour_;
    request_ = http_.postJSON(
        urlOf(*chosenAddress_, Protocol::chatPath(flavour)), body, settings_.draftTimeoutMS,
        [weak, flavour, completion = std::move(completion)](HttpResult result) {
            auto self = weak.lock();
            if (!self) {
                completion(std::nullopt);
                return;
            }
            self->request_.reset();
            if (result.failure == HttpResult::Failure::cancelled) {
                completion(std::nullopt);
                return;
            }
            if (result.failure != HttpResult::Failure::none) {
                self->tell(result.detail);
                if (result.failure == HttpResult::Failure::connection) {
                    self->discoverAgain(); // the server went away; look again
                }
                completion(std::nullopt);
                return;
            }
            auto reply = Protocol::parseChatReply(flavour, result.body);
            if (!reply.draft) {
                self->tell(reply.failure + (result.ok() ? ""
                                                        : " (HTTP " +
                                                              std::to_string(result.status) + ")"));
            }
            completion(std::move(reply.draft));
        });
}

void LocalModelServer::cancelRequest() {
    if (auto request = std::move(request_)) {
        request->abort();
    }
}

LocalModelServer::Remembered LocalModelServer::readRemembered() const {
    Remembered remembered;
    QFile file(QString::fromStdString(settings_.stateFile.string()));
    if (settings_.stateFile.empty() || !file.open(QIODevice::ReadOnly)) {
        return remembered;
    }
    const QJsonObject object = QJsonDocument::fromJson(file.read(64 * 1024)).object();
    remembered.model = object.value("model").toString().toStdString();
    remembered.confirmedHost = object.value("confirmedHost").toString().toStdString();
    return remembered;
}

void LocalModelServer::writeRemembered(const Remembered& remembered) const {
    if (settings_.stateFile.empty()) {
        return;
    }
    std::error_code error;
    std::filesystem::create_directories(settings_.stateFile.parent_path(), error);
    QSaveFile file(QString::fromStdString(settings_.stateFile.string()));
    const QJsonObject object{{"model", QString::fromStdString(remembered.model)},
                             {"confirmedHost", QString::fromStdString(remembered.confirmedHost)}};
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(QJsonDocument(object).toJson()) < 0 || !file.commit()) {
        tell("could not remember the choice in " + settings_.stateFile.string() + ": " +
             file.errorString().toStdString());
    }
}

} // namespace tamsel
