#include "app/DraftingTexts.h"

namespace tamsel::DraftingTexts {

namespace {

std::string pick(Language language, std::string en, std::string ja) {
    return language == Language::ja ? std::move(ja) : std::move(en);
}

} // namespace

std::string statusLine(const ModelServerStatus& status, Language language) {
    using State = ModelServerStatus::State;
    switch (status.state) {
    case State::searching:
        return pick(language, "Looking for a model server on this computer…",
                    "このコンピュータのモデルサーバーを探しています…");
    case State::ready:
        if (!status.onThisComputer) {
            return pick(language, "Drafting with " + status.model + " on " + status.host,
                        status.host + " の " + status.model + " で起草します");
        }
        return pick(language, "Drafting with " + status.model + " on this computer",
                    "このコンピュータの " + status.model + " で起草します");
    case State::noServer:
        return pick(language, "No model server found on this computer",
                    "このコンピュータにモデルサーバーが見つかりません");
    case State::loading:
        return pick(language, "The model server is still loading its model",
                    "モデルサーバーがモデルを読み込んでいます");
    case State::noChatModel:
        return pick(language, "The model server has no model that can chat",
                    "モデルサーバーに対話できるモデルがありません");
    case State::chooseModel:
        return pick(language, "Choose the model to draft with", "起草に使うモデルを選んでください");
    case State::hostNotConfirmed:
        return pick(language,
                    "Drafting would send excerpts of your history to " + status.host +
                        ". Nothing is sent until you allow it.",
                    "起草すると履歴の抜粋が " + status.host +
                        " に送られます。許可するまで何も送りません。");
    case State::invalidAddress:
        return pick(language, "The model server address in the settings cannot be used",
                    "設定のモデルサーバーのアドレスは使えません");
    }
    return {};
}

std::string checkAgain(Language language) { return pick(language, "Check again", "再確認"); }

std::string chooseModel(Language language) { return pick(language, "Model", "モデル"); }

std::string sendTo(const std::string& host, Language language) {
    return pick(language, "Allow sending to " + host, host + " への送信を許可");
}

std::string cancelDraft(Language language) { return pick(language, "Cancel", "中止"); }

std::string serverAddressLabel(Language language) {
    return pick(language, "Model server for Prompt Lab drafts", "Prompt Lab の起草に使うモデルサーバー");
}

std::string serverAddressPlaceholder(Language language) {
    return pick(language, "Found on this computer by itself, e.g. http://127.0.0.1:11434",
                "自動で探します（例: http://127.0.0.1:11434）");
}

} // namespace tamsel::DraftingTexts
