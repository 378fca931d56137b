#include "app/PromptLabModel.h"

#include <system_error>

#include "core/toolkit/TextToolkit.h"

namespace tamsel {

PromptLabModel::PromptLabModel(std::shared_ptr<OnDeviceDrafter> drafter,
                               std::shared_ptr<MainQueue> mainQueue, Pipeline pipeline)
    : drafter_(std::move(drafter)), mainQueue_(std::move(mainQueue)),
      pipeline_(std::move(pipeline)), availability_(drafter_->availability()),
      serverStatus_(drafter_->model().serverStatus()) {
    // The model is owned through the drafter and told to forget this observer
    // in the destructor, so it never calls a model that is gone.
    drafter_->model().setStatusObserver([this] { modelStatusChanged(); });
}

void PromptLabModel::modelStatusChanged() {
    const bool wasAvailable = availability_ == DrafterAvailability::available;
    publish(availability_, drafter_->availability());
    publish(serverStatus_, drafter_->model().serverStatus());
    const bool isAvailable = availability_ == DrafterAvailability::available;
    if (!isAvailable && (runningDraft_ || waitingDraft_)) {
        cancelDraft();
    }
    // A model that turns up (or another that was chosen) drafts the open suggestion.
    if (isAvailable && !wasAvailable && !textIsDrafted_ && !isDrafting_) {
        if (const PromptCandidate* candidate = selected()) {
            const PromptCandidate current = *candidate;
            select(current, selectionLanguage_);
        }
    }
}

void PromptLabModel::cancelDraft() {
    const bool wasRunning = runningDraft_.has_value();
    if (runningDraft_) {
        runningDraft_->cancellation.cancel();
    }
    if (waitingDraft_) {
        waitingDraft_->cancellation.cancel();
        waitingDraft_.reset();
    }
    publish(isDrafting_, false);
    if (wasRunning) {
        drafter_->model().cancelRequest();
    }
}

PromptLabModel::~PromptLabModel() {
    drafter_->model().setStatusObserver(nullptr);
    scanCancelled_->store(true);
    if (scanThread_.joinable()) {
        scanThread_.join();
    }
}

const PromptCandidate* PromptLabModel::selected() const {
    if (!selectedID_) {
        return nullptr;
    }
    for (const PromptCandidate& candidate : candidates_) {
        if (candidate.id == *selectedID_) {
            return &candidate;
        }
    }
    return nullptr;
}

void PromptLabModel::scan(std::vector<Rule> rules, Language language) {
    if (phase_ == Phase::scanning) {
        return;
    }
    publish(phase_, Phase::scanning);
    drafts_.clear();
    publish(adoptedIDs_, std::set<std::string>{});
    if (scanThread_.joinable()) {
        scanThread_.join(); // the previous scan has published already
    }
    std::weak_ptr<PromptLabModel> weakModel = weak_from_this();
    auto run = [weakModel, pipeline = pipeline_, mainQueue = mainQueue_, cancelled = scanCancelled_,
                rules = std::move(rules), language] {
        PromptLabOutcome outcome = pipeline(rules, [&cancelled] { return cancelled->load(); });
        mainQueue->post([weakModel, outcome = std::move(outcome), language]() mutable {
            if (auto strong = weakModel.lock()) {
                strong->publishOutcome(std::move(outcome), language);
            }
        });
    };
    try {
        scanThread_ = std::thread(run);
    } catch (const std::system_error&) {
        run(); // no thread to be had: the results still arrive, only later
    }
}

void PromptLabModel::publishOutcome(PromptLabOutcome outcome, Language language) {
    publish(candidates_, std::move(outcome.candidates));
    publish(usage_, std::move(outcome.usage));
    publish(promptCount_, outcome.promptCount);
    publish(dayCount_, outcome.dayCount);
    publish(sectionCount_, outcome.sectionCount);
    publish(foundTranscripts_, promptCount_ > 0);
    publish(phase_, Phase::ready);
    if (!candidates_.empty()) {
        const PromptCandidate first = candidates_.front();
        select(first, language);
    }
}

void PromptLabModel::select(const PromptCandidate& candidate, Language language) {
    publish(selectedID_, candidate.id);
    selectionLanguage_ = language;
    if (runningDraft_ && !runningDraft_->cancellation.isCancelled()) {
        runningDraft_->cancellation.cancel();
        // The next suggestion's draft should not wait for an answer nobody reads.
        drafter_->model().cancelRequest();
    }
    if (waitingDraft_) {
        waitingDraft_->cancellation.cancel();
        waitingDraft_.reset();
    }
    if (auto cached = drafts_.find(candidate.id); cached != drafts_.end()) {
        publish(editedName_, cached->second.name);
        publish(editedText_, cached->second.text);
        publish(textIsDrafted_, true);
        publish(isDrafting_, false);
        return;
    }
    publish(editedName_, candidate.fallbackName());
    publish(editedText_, candidate.fallbackText());
    publish(textIsDrafted_, false);
    if (availability_ != DrafterAvailability::available) {
        return;
    }
    publish(isDrafting_, true);
    waitingDraft_ = DraftJob{candidate, language, {}};
    if (!runningDraft_) {
        startNextDraft();
    }
}

void PromptLabModel::startNextDraft() {
    while (!runningDraft_ && waitingDraft_) {
        DraftJob job = std::move(*waitingDraft_);
        waitingDraft_.reset();
        if (job.cancellation.isCancelled()) {
            continue;
        }
        runningDraft_ = job;
        std::weak_ptr<PromptLabModel> weakModel = weak_from_this();
        drafter_->draft(job.candidate, job.language, job.cancellation,
                        [weakModel, job](std::optional<PromptDraftResult> result) {
                            if (auto strong = weakModel.lock()) {
                                strong->finishDraft(job, std::move(result));
                            }
                        });
    }
}

void PromptLabModel::finishDraft(const DraftJob& job, std::optional<PromptDraftResult> result) {
    runningDraft_.reset();
    // A newer selection owns the fields and the drafting flag.
    if (!job.cancellation.isCancelled()) {
        publish(isDrafting_, false);
        if (result) {
            drafts_[job.candidate.id] = *result;
            if (selectedID_ == job.candidate.id) {
                publish(editedName_, result->name);
                publish(editedText_, result->text);
                publish(textIsDrafted_, true);
            }
        }
    }
    startNextDraft();
}

void PromptLabModel::adopt(AppModel& appModel) {
    const PromptCandidate* candidate = selected();
    // A suggestion becomes one prompt: a second press adds no duplicate.
    if (candidate == nullptr || adoptedIDs_.count(candidate->id) > 0) {
        return;
    }
    std::string name(TextToolkit::trimWhitespaceAndNewlines(editedName_));
    std::string text(TextToolkit::trimWhitespaceAndNewlines(editedText_));
    if (text.empty()) {
        return;
    }
    if (name.empty()) {
        name = candidate->fallbackName();
    }
    const std::string id = candidate->id;
    appModel.appendRule(std::move(name), std::move(text));
    auto adopted = adoptedIDs_;
    adopted.insert(id);
    publish(adoptedIDs_, std::move(adopted));
}

} // namespace tamsel
