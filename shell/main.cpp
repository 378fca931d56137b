// The tamsel executable: the tray application, or one of the two developer
// modes, which run without a display. Without a display the tray cannot
// start: the prompts are listed instead, so the user sees what is set up.

#include <iostream>
#include <optional>

#include "app/CommandLine.h"
#include "app/PromptLabPreview.h"
#include "core/config/ConfigStore.h"
#include "core/config/Language.h"
#include "core/config/Validator.h"
#include "core/strings/Strings.h"
#include "core/toolkit/HomeDirectory.h"
#include "platform/qt/SingleInstance.h"
#include "platform/qt/UnixSignals.h"
#include "platform/x11/X11Handle.h"
#include "shell/DraftCheck.h"
#include "shell/FireClient.h"
#include "shell/SessionEnd.h"
#include "shell/SessionProbe.h"
#include "shell/TrayApplication.h"
#include "shell/UISnapshot.h"

#include <QApplication>

using namespace tamsel;

namespace {

int listPrompts() {
    const auto preferred = systemPreferredLanguages();
    ConfigStore store(ConfigStore::defaultFileURL());
    auto loaded = store.load(languageFromSystem(preferred));
    const Language language = resolveLanguage(loaded.config.language, preferred);

    std::cout << "Configuration: " << store.fileURL().string()
              << (loaded.createdDefault ? " (created with the default prompts)" : "") << "\n";
    if (loaded.error) {
        std::cout << Strings::string(StringKey::configErrorTitle, language) << ": " << *loaded.error
                  << "\n"
                  << Strings::string(StringKey::configErrorBody, language) << "\n";
    }
    auto issues = Validator::issues(loaded.config.rules);
    for (const Rule& rule : loaded.config.rules) {
        auto shortcut = [&](TriggerKind kind) {
            auto hotkey = rule.hotkeyFor(kind);
            return hotkey ? hotkey->displayString(platformKeyNaming)
                          : std::string(Strings::string(StringKey::notSet, language));
        };
        std::cout << "\n"
                  << (rule.name.empty() ? Strings::string(StringKey::untitledPrompt, language)
                                        : std::string_view(rule.name))
                  << (rule.enabled ? "" : " (off)") << "\n  "
                  << Strings::string(StringKey::triggerSend, language) << ": "
                  << shortcut(TriggerKind::send) << "   "
                  << Strings::string(StringKey::triggerInsert, language) << ": "
                  << shortcut(TriggerKind::insert) << "\n";
        for (const RuleIssue& issue : issues[rule.id]) {
            std::cout << "  ! " << Strings::issueMessage(issue, language) << "\n";
        }
    }
    return 0;
}

int runTrayApplication(int argc, char** argv) {
    // Before Qt or anything else touches Xlib.
    initializeXlib();
    SessionOffer offer = SessionProbe::probe();
    const SessionKind kind = SessionPlan::choose(offer).kind;
    const Language language = languageFromSystem(systemPreferredLanguages());
    if (kind == SessionKind::none) {
        std::cerr << "Tamsel cannot start its tray application: " << openDisplay().error << "\n"
                  << Strings::keyboardAccessMissing(false, language) << "\n";
        listPrompts();
        return 1;
    }
    // The windows follow the keyboard: on X11 wherever X11 is there (the
    // popover can then sit by the tray icon), on Wayland where it is not.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM",
                kind == SessionKind::waylandOnly ? QByteArray("wayland") : QByteArray("xcb"));
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tamsel"));
    QApplication::setApplicationVersion(QStringLiteral(TAMSEL_VERSION));
    QApplication::setQuitOnLastWindowClosed(false);

    // Without a private folder there is no handing over, but Tamsel still runs.
    const SingleInstance::Folder folder = SingleInstance::privateFolder();
    std::optional<SingleInstance> instance;
    if (folder.path) {
        instance.emplace(*folder.path, kind == SessionKind::waylandOnly
                                           ? qEnvironmentVariable("WAYLAND_DISPLAY")
                                           : qEnvironmentVariable("DISPLAY"));
        std::string claimError;
        const auto role = instance->claim(claimError);
        if (role == SingleInstance::Role::later) {
            if (instance->notifyRunning()) {
                return 0; // the running one opens its popover
            }
            std::cerr
                << "Another Tamsel holds the lock but did not answer in time; this one leaves.\n";
            return 1;
        }
        if (!claimError.empty()) {
            std::cerr << "Tamsel: " << claimError << " A second start cannot reach this one.\n";
        }
        if (!role) {
            instance.reset();
        }
    } else {
        std::cerr << "Tamsel: " << folder.error << " A second start cannot reach this one.\n";
    }

    // KDE's and GNOME's portals are found on the session bus, which Qt opens
    // only once the application exists; a start that only hands over never asks.
    SessionProbe::probeDesktopBus(offer);
    const SessionPlan plan = SessionPlan::choose(offer);
    // Said by the instance that stays (a start that only hands over is quiet):
    // which backend serves what, and what does not work in this session.
    std::cerr << "Tamsel: " << SessionTexts::summary(plan, language) << "\n";
    for (const std::string& limit : SessionTexts::limits(plan, language)) {
        std::cerr << "Tamsel: " << limit << "\n";
    }

    std::string error;
    std::unique_ptr<TrayApplication> tray = TrayApplication::create(plan, error);
    if (!tray) {
        std::cerr << "Tamsel cannot start: " << error << "\n";
        return 1;
    }
    UnixSignals unixSignals;
    QObject::connect(&unixSignals, &UnixSignals::received, &application, &QApplication::quit);
    if (instance) {
        QObject::connect(&*instance, &SingleInstance::showRequested, tray.get(),
                         [&tray] { tray->showPopover(); });
        instance->setRequestHandler([&tray](const std::string& line) -> std::optional<std::string> {
            const std::optional<FireRequest> request = FireCommand::parseRequest(line);
            if (!request) {
                return std::nullopt;
            }
            std::string reply = FireCommand::replyLine(tray->fire(*request));
            reply.pop_back(); // the line break goes with the sending
            return reply;
        });
    }
    QObject::connect(&application, &QApplication::aboutToQuit, tray.get(),
                     [&tray] { tray->shutdown(); });
    tray->launch();
    // The grabs and the selections we own go with the server; what is left
    // to give back is the edit still waiting for its save and our socket.
    SessionEnd sessionEnd([&tray, &instance] {
        tray->model()->flushPendingSave();
        if (instance) {
            instance->close();
        }
    });
    return application.exec();
}

} // namespace

int main(int argc, char** argv) {
    const CommandLine commandLine = CommandLine::parse(std::vector<std::string>(argv, argv + argc));
    switch (commandLine.mode) {
    case CommandLine::Mode::help:
        std::cout << CommandLine::usage("tamsel", ConfigStore::defaultFileURL().string());
        return 0;
    case CommandLine::Mode::version:
        std::cout << "tamsel " << TAMSEL_VERSION << "\n";
        return 0;
    case CommandLine::Mode::unknownOption:
        std::cerr << "tamsel: unknown option \"" << commandLine.unknownOption << "\"\n\n"
                  << CommandLine::usage("tamsel", ConfigStore::defaultFileURL().string());
        return CommandLine::usageExitCode;
    case CommandLine::Mode::usageError:
        std::cerr << "tamsel: " << commandLine.usageProblem << "\n\n"
                  << CommandLine::usage("tamsel", ConfigStore::defaultFileURL().string());
        return CommandLine::usageExitCode;
    case CommandLine::Mode::fire:
        return FireClient::run(commandLine.fire, std::cerr);
    case CommandLine::Mode::renderUI:
        return UISnapshot::run(commandLine.renderDirectory, argc, argv);
    case CommandLine::Mode::promptLabPreview:
        return PromptLabPreview::run(
            commandLine.previewLimit,
            {homeDirectory(), systemPreferredLanguages(), std::make_shared<NoLanguageModel>()},
            std::cerr);
    case CommandLine::Mode::draftCheck:
        return DraftCheck::run(argc, argv, std::cout);
    case CommandLine::Mode::application:
        return runTrayApplication(argc, argv);
    }
    return 0;
}
