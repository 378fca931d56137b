#pragma once

// What the Prompt Lab says about drafting through a model server on this
// computer, in English and Japanese.

#include <string>

#include "core/config/Language.h"
#include "platform/LanguageModel.h"

namespace tamsel::DraftingTexts {

std::string statusLine(const ModelServerStatus& status, Language language);
std::string checkAgain(Language language);
std::string chooseModel(Language language);
std::string sendTo(const std::string& host, Language language);
std::string cancelDraft(Language language);
std::string serverAddressLabel(Language language);
std::string serverAddressPlaceholder(Language language);

} // namespace tamsel::DraftingTexts
