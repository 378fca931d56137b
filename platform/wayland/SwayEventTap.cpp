#include "platform/wayland/SwayEventTap.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <iostream>

#include <QJsonArray>
#include <QJsonDocument>


namespace tamsel {

SwayEventTap::SwayEventTap(std::unique_ptr<SwayIpc> commands, std::unique_ptr<SwayIpc> events,
                           EventTapClient& client, std::shared_ptr<SwayFocus> focus,
                           FileDescriptor wakeRead, FileDescriptor wakeWrite)
    : commands_(std::move(commands)), events_(std::move(events)), client_(client),
      focus_(std::move(focus)), wakeRead_(std::move(wakeRead)), wakeWrite_(std::move(wakeWrite)) {}

SwayEventTap::~SwayEventTap() { unbindAll(); }

std::vector<std::string> SwayEventTap::keysymNames(MainKey key) {
    switch (key) {
    case MainKey::enter:
        return {"Return", "KP_Enter"};
    case MainKey::space:
        return {"space"};
    case MainKey::minus:
        return {"minus"};
    case MainKey::equal:
        return {"equal"};
    case MainKey::backslash:
        return {"backslash"};
    case MainKey::semicolon:
        return {"semicolon"};
    case MainKey::quote:
        return {"apostrophe"};
    case MainKey::comma:
        return {"comma"};
    case MainKey::period:
        return {"period"};
    case MainKey::slash:
        return {"slash"};
    case MainKey::grave:
        return {"grave"};
    default:
        // The digits, n0 to n9, in order.
        return {std::to_string(static_cast<int>(key) - static_cast<int>(MainKey::n0))};
    }
}

std::string SwayEventTap::chord(const Hotkey& hotkey, const std::string& keysym) {
    std::string text;
    const std::pair<Modifiers, const char*> names[] = {
        {Modifiers::control, "Control"},
        {Modifiers::option, "Mod1"},
        {Modifiers::shift, "Shift"},
        {Modifiers::command, "Mod4"},
    };
    for (const auto& [member, name] : names) {
        if (hotkey.modifiers.contains(member)) {
            text += std::string(name) + "+";
        }
    }
    return text + keysym;
}

void SwayEventTap::wake() {
    const char byte = 0;
    [[maybe_unused]] ssize_t ignored = ::write(wakeWrite_.get(), &byte, 1);
}

void SwayEventTap::setEnabled(bool enabled) {
    enabled_ = enabled;
    rebindDue_ = true;
    wake();
}

void SwayEventTap::stop() {
    stopped_ = true;
    wake();
}

void SwayEventTap::watchedHotkeysChanged() {
    rebindDue_ = true;
    wake();
}

void SwayEventTap::refreshFocus() {
    if (auto tree = commands_->request(SwayIpc::getTree, "")) {
        focus_->set(SwayIpc::focused(tree->object));
    }
}

void SwayEventTap::unbindAll() {
    std::string commands;
    for (const auto& [chord, hotkey] : bound_) {
        commands += "unbindsym " + chord + ";";
    }
    if (!commands.empty()) {
        commands_->run(commands);
    }
    bound_.clear();
}

void SwayEventTap::rebind() {
    std::vector<std::pair<std::string, Hotkey>> wanted;
    if (enabled_ && client_.firesIn(focus_->application())) {
        for (const Hotkey& hotkey : client_.watchedHotkeys()) {
            for (const std::string& keysym : keysymNames(hotkey.key)) {
                wanted.emplace_back(chord(hotkey, keysym), hotkey);
            }
        }
    }
    if (wanted == wanted_) {
        return;
    }
    wanted_ = wanted;
    unbindAll();
    std::vector<Hotkey> refused;
    for (const auto& [chord, hotkey] : wanted) {
        // One command per binding, so that a refused chord refuses only itself.
        auto errors = commands_->run("bindsym --no-repeat " + chord + " nop " + commandPrefix +
                                     " " + chord);
        if (errors.empty()) {
            bound_.emplace_back(chord, hotkey);
        } else if (std::find(refused.begin(), refused.end(), hotkey) == refused.end()) {
            refused.push_back(hotkey);
        }
    }
    client_.watchedHotkeysUnavailable(refused);
}

void SwayEventTap::handle(const SwayIpc::Message& message) {
    if (message.type == SwayIpc::windowEvent || message.type == SwayIpc::workspaceEvent) {
        // Terminals retitle their windows with every command: only a change
        // of focus (or the focused window closing) can change what we bind.
        const QString change = message.object.value("change").toString();
        if (change == QLatin1String("focus") || change == QLatin1String("close")) {
            refreshFocus();
            rebind();
        }
        return;
    }
    if (message.type != SwayIpc::bindingEvent) {
        return;
    }
    const std::string command =
        message.object.value("binding").toObject().value("command").toString().toStdString();
    const std::string prefix = std::string("nop ") + commandPrefix + " ";
    if (command.rfind(prefix, 0) != 0) {
        return;
    }
    const std::string pressed = command.substr(prefix.size());
    for (const auto& [chord, hotkey] : bound_) {
        if (chord != pressed) {
            continue;
        }
        TapEvent event;
        event.type = TapEventType::keyDown;
        event.keyCode = MainKeys::keyCode(hotkey.key);
        event.flags = hotkey.modifiers.eventFlags();
        refreshFocus();
        if (auto window = focus_->window()) {
            event.frontWindow = FrontWindow{window->id, window->application};
        }
        // sway has taken the key already: the verdict cannot give it back.
        client_.handleTapEvent(event);
        return;
    }
}

void SwayEventTap::run() {
    if (!events_->request(SwayIpc::subscribe, R"(["window","workspace","binding","shutdown"])")) {
        std::cerr << "tamsel: sway did not accept the subscription to its events\n";
        return;
    }
    refreshFocus();
    rebind();
    while (!stopped_) {
        pollfd waiting[2] = {{events_->fd(), POLLIN, 0}, {wakeRead_.get(), POLLIN, 0}};
        if (poll(waiting, 2, -1) < 0) {
            continue;
        }
        if (waiting[1].revents & POLLIN) {
            char drained[64];
            while (::read(wakeRead_.get(), drained, sizeof drained) > 0) {
            }
        }
        if (stopped_) {
            break;
        }
        if (rebindDue_.exchange(false)) {
            rebind();
        }
        if (waiting[0].revents & (POLLHUP | POLLERR)) {
            break; // sway is gone
        }
        if (waiting[0].revents & POLLIN) {
            auto message = events_->read(std::chrono::seconds(1));
            if (!message) {
                break;
            }
            if (message->type == SwayIpc::shutdownEvent) {
                break;
            }
            handle(*message);
        }
    }
    unbindAll();
}

std::shared_ptr<SwayFrontWindowProbe> SwayFrontWindowProbe::create(std::string& error) {
    auto ipc = SwayIpc::connect(error);
    return ipc ? std::make_shared<SwayFrontWindowProbe>(std::move(ipc)) : nullptr;
}

std::optional<FrontWindow> SwayFrontWindowProbe::frontWindow() {
    std::lock_guard lock(mutex_);
    auto tree = ipc_->request(SwayIpc::getTree, "");
    if (!tree) {
        return std::nullopt;
    }
    auto window = SwayIpc::focused(tree->object);
    return window ? FrontWindow{window->id, window->application} : FrontWindow{};
}

std::shared_ptr<EventTap> SwayEventTapService::createTap(EventTapClient& client) {
    std::string error;
    auto commands = SwayIpc::connect(error);
    auto events = commands ? SwayIpc::connect(error) : nullptr;
    int wake[2];
    if (!commands || !events || pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::cerr << "tamsel: " << error << "\n";
        return nullptr;
    }
    return std::make_shared<SwayEventTap>(std::move(commands), std::move(events), client, focus_,
                                          FileDescriptor(wake[0]), FileDescriptor(wake[1]));
}

} // namespace tamsel
