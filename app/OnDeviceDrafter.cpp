#include "app/OnDeviceDrafter.h"

#include "core/config/Config.h"
#include "core/toolkit/TextToolkit.h"

namespace tamsel {

namespace tt = TextToolkit;

OnDeviceDrafter::OnDeviceDrafter(std::shared_ptr<LanguageModel> model) : model_(std::move(model)) {}

std::string OnDeviceDrafter::instructions(Language language) {
    if (language == Language::ja) {
        return "日本語で書くこと。AI への依頼文の末尾に付ける定型文を作る。\n"
               "名前は日本語の短い名詞句。本文は常体の命令文で、文末は「〜すること」。\n"
               "入力を一般化して言い換えること。例文を写さないこと。\n"
               "例: "
               "名前「調査と計画のみ」本文「調査と計画のみ行うこと。ファイルはまだ変更しないこと。"
               "」";
    }
    return "Write in English. Draft a reminder to append at the end of a request to an AI.\n"
           "The name is a short noun phrase. The text is 1-3 imperative sentences.\n"
           "Generalise the input; never copy the example.\n"
           "Example: name \"Plan only\" text \"Investigate and plan only. Do not edit any file "
           "yet.\"";
}

std::string OnDeviceDrafter::prompt(const PromptCandidate& candidate, Language language,
                                    int budget) {
    const auto total = static_cast<std::size_t>(std::max(budget, 0));
    const std::size_t half = total / 2;
    std::string examples;
    std::size_t used = 0;
    for (const std::string& example : candidate.examples) {
        std::string_view trimmed = tt::trimWhitespaceAndNewlines(example);
        if (trimmed.empty()) {
            continue;
        }
        std::string_view clipped = tt::graphemePrefix(trimmed, half);
        std::size_t length = tt::graphemeCount(clipped);
        if (used + length > total) {
            break;
        }
        used += length;
        if (!examples.empty()) {
            examples += '\n';
        }
        examples += "- ";
        examples += clipped;
    }
    if (examples.empty()) {
        examples = "- " + std::string(tt::graphemePrefix(candidate.representative, total));
    }
    std::string body = candidate.context ? *candidate.context + "\n" + examples : examples;

    const bool japanese = language == Language::ja;
    const bool isConvention = candidate.kind == CandidateKind::convention ||
                              candidate.kind == CandidateKind::unfollowedConvention;
    std::string leadIn;
    if (isConvention) {
        leadIn =
            japanese
                ? "次の規約を、依頼文の末尾に付ける短い定型文にまとめよ。\n"
                  "肯定と否定を取り違えないこと。原文が禁じていることは、禁止のまま書くこと。\n"
                : "Condense these rules into one short reminder.\n"
                  "Keep negations intact: what the source forbids must stay forbidden.\n";
    } else if (candidate.kind == CandidateKind::correction) {
        leadIn = japanese
                     ? "次の訂正が繰り返されていた。先回りして防ぐ定型文に言い換えよ。\n"
                     : "These corrections kept recurring. Draft a reminder that prevents them.\n";
    } else {
        leadIn = japanese ? "次の指示が繰り返されていた。定型文に言い換えよ。\n"
                          : "These instructions kept recurring. Draft a reusable reminder.\n";
    }
    std::string topic;
    if (isConvention && candidate.title) {
        topic = (japanese ? "主題: " : "Topic: ") + *candidate.title + "\n";
    }
    return topic + leadIn + body;
}

namespace {

// A drafted prompt may later be typed into a terminal: an escape sequence or
// a carriage return in it would act there, not read. Line feeds and tabs stay.
std::string withoutTerminalControls(std::string_view text) {
    std::string kept;
    kept.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if ((byte < 0x20 && byte != '\n' && byte != '\t') || byte == 0x7F) {
            continue;
        }
        // C1 controls (U+0080..U+009F) are C2 80..C2 9F in UTF-8.
        if (byte == 0xC2 && at + 1 < text.size() &&
            static_cast<unsigned char>(text[at + 1]) >= 0x80 &&
            static_cast<unsigned char>(text[at + 1]) <= 0x9F) {
            ++at;
            continue;
        }
        kept += text[at];
    }
    return kept;
}

} // namespace

bool OnDeviceDrafter::isInLanguage(const PromptDraftResult& draft, Language language) {
    if (language != Language::ja) {
        return true;
    }
    // Kana or kanji anywhere in the text: E3 81..E3 83 (kana), E3 90..E9 BF (CJK).
    const std::string& text = draft.text;
    for (std::size_t at = 0; at + 2 < text.size(); ++at) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const auto next = static_cast<unsigned char>(text[at + 1]);
        if ((lead == 0xE3 && next >= 0x81 && next <= 0x83) ||
            (lead == 0xE3 && next >= 0x90) || (lead >= 0xE4 && lead <= 0xE9)) {
            return true;
        }
    }
    return false;
}

std::optional<PromptDraftResult> OnDeviceDrafter::accept(const GeneratedPromptDraft& generated) {
    std::string name(tt::trimWhitespaceAndNewlines(withoutTerminalControls(generated.name)));
    std::string text(tt::trimWhitespaceAndNewlines(withoutTerminalControls(generated.text)));
    if (name.empty() || text.empty() || tt::graphemeCount(text) > maximumTextLength) {
        return std::nullopt;
    }
    // A copy of a built-in prompt is no suggestion at all.
    for (Language language : {Language::ja, Language::en}) {
        for (const Rule& rule : Rule::defaultRules(language)) {
            if (rule.text == text) {
                return std::nullopt;
            }
        }
    }
    return PromptDraftResult{std::move(name), std::move(text)};
}

void OnDeviceDrafter::generate(const std::shared_ptr<LanguageModel>& model,
                               const PromptCandidate& candidate, Language language, int budget,
                               std::function<void(std::optional<PromptDraftResult>)> completion) {
    model->respond(
        instructions(language), prompt(candidate, language, budget), GenerationOptions{},
        [completion = std::move(completion), language](std::optional<GeneratedPromptDraft> generated) {
            auto accepted = generated ? accept(*generated) : std::nullopt;
            if (accepted && !isInLanguage(*accepted, language)) {
                accepted.reset();
            }
            completion(std::move(accepted));
        });
}

void OnDeviceDrafter::draft(const PromptCandidate& candidate, Language language,
                            CancellationToken cancellation,
                            std::function<void(std::optional<PromptDraftResult>)> completion) {
    if (model_->availability() != DrafterAvailability::available || cancellation.isCancelled()) {
        completion(std::nullopt);
        return;
    }
    // The continuation waits inside the model, so it must not own the model.
    generate(model_, candidate, language, firstBudget,
             [weakModel = std::weak_ptr<LanguageModel>(model_), candidate, language, cancellation,
              completion = std::move(completion)](std::optional<PromptDraftResult> first) mutable {
                 auto model = weakModel.lock();
                 if (first || cancellation.isCancelled() || !model) {
                     completion(first);
                     return;
                 }
                 generate(model, candidate, language, secondBudget, std::move(completion));
             });
}

} // namespace tamsel
