// Until the tray application lands, tamsel shows what it would work with: the
// configuration file (created on first run) and what each prompt would do.

#include <cstdio>
#include <iostream>

#include "core/ConfigStore.h"
#include "core/Language.h"
#include "core/Strings.h"
#include "core/Validator.h"

using namespace tamsel;

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::string_view argument = argv[i];
        if (argument == "--render-ui" || argument == "--prompt-lab-preview") {
            std::cerr << "tamsel: " << argument << " is not available yet.\n";
            return 1;
        }
    }
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
