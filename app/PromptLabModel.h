#pragma once

// The state behind the Prompt Lab: one scan at a time off the main thread,
// its published results, the selection with its editable name and text, the
// drafting of the selected suggestion (one draft at a time, cached), and the
// adoption of a suggestion as a new prompt. Main thread only.

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/AppModel.h"
#include "app/Observable.h"
#include "app/OnDeviceDrafter.h"
#include "app/PromptLabPipeline.h"
#include "platform/MainQueue.h"

namespace tamsel {

class PromptLabModel final : public Observable,
                             public std::enable_shared_from_this<PromptLabModel> {
public:
    enum class Phase { idle, scanning, ready };

    // Runs on the background thread; the real one reads the user's home folder.
    // `isCancelled` answers true only once the model is going away.
    using Pipeline = std::function<PromptLabOutcome(const std::vector<Rule>&,
                                                    const std::function<bool()>& isCancelled)>;

    PromptLabModel(
        std::shared_ptr<OnDeviceDrafter> drafter, std::shared_ptr<MainQueue> mainQueue,
        Pipeline pipeline = [](const std::vector<Rule>& rules,
                               const std::function<bool()>& isCancelled) {
            return PromptLabPipeline::run(rules, std::nullopt, isCancelled);
        });
    // Waits for a scan under way, which it first cuts short: its thread must
    // not outlive the model, and nobody is left to see its results.
    ~PromptLabModel();

    Phase phase() const { return phase_; }
    const std::vector<PromptCandidate>& candidates() const { return candidates_; }
    const std::vector<RuleUsage>& usage() const { return usage_; }
    std::int64_t promptCount() const { return promptCount_; }
    std::int64_t dayCount() const { return dayCount_; }
    std::int64_t sectionCount() const { return sectionCount_; }
    bool foundTranscripts() const { return foundTranscripts_; }
    const std::optional<std::string>& selectedID() const { return selectedID_; }
    const std::string& editedName() const { return editedName_; }
    const std::string& editedText() const { return editedText_; }
    bool isDrafting() const { return isDrafting_; }
    bool textIsDrafted() const { return textIsDrafted_; }
    const std::set<std::string>& adoptedIDs() const { return adoptedIDs_; }
    DrafterAvailability availability() const { return availability_; }
    // Present when drafting goes through a model server on this computer.
    const std::optional<ModelServerStatus>& serverStatus() const { return serverStatus_; }
    const PromptCandidate* selected() const;

    void setEditedName(std::string name) { publish(editedName_, std::move(name)); }
    void setEditedText(std::string text) { publish(editedText_, std::move(text)); }

    // A second request while a scan runs is ignored.
    void scan(std::vector<Rule> rules, Language language);
    void select(const PromptCandidate& candidate, Language language);
    void adopt(AppModel& appModel);
    // Stops the draft under way; the suggestion keeps its source wording.
    void cancelDraft();
    // The model server's choices, passed on; the status follows when they land.
    void discoverModelAgain() { drafter_->model().discoverAgain(); }
    void chooseModel(const std::string& model) { drafter_->model().chooseModel(model); }
    void confirmModelHost(const std::string& host) { drafter_->model().confirmHost(host); }

private:
    struct DraftJob {
        PromptCandidate candidate;
        Language language = Language::en;
        CancellationToken cancellation;
    };

    void publishOutcome(PromptLabOutcome outcome, Language language);
    void modelStatusChanged();
    void startNextDraft();
    void finishDraft(const DraftJob& job, std::optional<PromptDraftResult> result);

    std::shared_ptr<OnDeviceDrafter> drafter_;
    std::shared_ptr<MainQueue> mainQueue_;
    Pipeline pipeline_;
    DrafterAvailability availability_;
    std::optional<ModelServerStatus> serverStatus_;
    // The language of the last selection, to draft in when the model turns up.
    Language selectionLanguage_ = Language::en;

    Phase phase_ = Phase::idle;
    std::vector<PromptCandidate> candidates_;
    std::vector<RuleUsage> usage_;
    std::int64_t promptCount_ = 0;
    std::int64_t dayCount_ = 0;
    std::int64_t sectionCount_ = 0;
    bool foundTranscripts_ = true;
    std::optional<std::string> selectedID_;
    std::string editedName_;
    std::string editedText_;
    bool isDrafting_ = false;
    bool textIsDrafted_ = false;
    std::set<std::string> adoptedIDs_;

    std::map<std::string, PromptDraftResult> drafts_;
    // Drafts run one at a time: the running job, and the latest selection's
    // job waiting behind it (an older waiting job is simply replaced).
    std::optional<DraftJob> runningDraft_;
    std::optional<DraftJob> waitingDraft_;
    std::thread scanThread_;
    std::shared_ptr<std::atomic<bool>> scanCancelled_ = std::make_shared<std::atomic<bool>>(false);
};

} // namespace tamsel
