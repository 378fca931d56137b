#pragma once

// The Prompt Lab without a window: analyse the user's history, draft the first
// few suggestions and print it all to standard error.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "platform/LanguageModel.h"

namespace tamsel::PromptLabPreview {

struct Environment {
    std::filesystem::path home;
    std::vector<std::string> preferredLanguages;
    std::shared_ptr<LanguageModel> languageModel;
};

// Returns the exit status: 0, whatever was found.
int run(std::int64_t limit, const Environment& environment, std::ostream& out);

} // namespace tamsel::PromptLabPreview
