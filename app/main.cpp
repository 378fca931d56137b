// The tamsel executable. The developer modes run without a display; the tray
// application itself is not there yet, so without a mode tamsel shows what it
// would work with: the configuration file and what each prompt would do.

#include <iostream>

#include "app/CommandLine.h"
#include "app/PromptLabPreview.h"
#include "core/ConfigStore.h"
#include "core/HomeDirectory.h"
#include "core/Language.h"
#include "core/Strings.h"
#include "core/Validator.h"

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
            return hotkey ? hotkey->displayString()
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
    std::cout << "\nThe tray application is not available yet.\n";
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const CommandLine commandLine = CommandLine::parse(std::vector<std::string>(argv, argv + argc));
    switch (commandLine.mode) {
    case CommandLine::Mode::renderUI:
        std::cerr << "tamsel: --render-ui is not available yet: the user interface has not "
                     "landed.\n";
        return 1;
    case CommandLine::Mode::promptLabPreview:
        return PromptLabPreview::run(
            commandLine.previewLimit,
            {homeDirectory(), systemPreferredLanguages(), std::make_shared<NoLanguageModel>()},
            std::cerr);
    case CommandLine::Mode::application:
        return listPrompts();
    }
    return 0;
}
