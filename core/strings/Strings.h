#pragma once

// Every text the user interface shows, in English and Japanese, and the
// messages built around inserted names and counts.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/analysis/CandidateKind.h"
#include "core/config/Config.h"
#include "core/config/InjectionProblem.h"
#include "core/config/Language.h"
#include "core/config/Validator.h"

namespace tamsel {

enum class StringKey : std::uint8_t {
    statusActive,
    statusPaused,
    statusNoPermission,
    statusNotWatching,
    enableToggleLabel,
    addPrompt,
    openSettings,
    untitledPrompt,
    noPrompts,
    notSet,
    lastFiredNone,
    fieldName,
    fieldText,
    triggerSend,
    triggerInsert,
    modifiers,
    mainKey,
    ruleEnabled,
    deletePrompt,
    moveUp,
    moveDown,
    expandRow,
    collapseRow,
    textPlaceholder,
    namePlaceholder,
    warnNoModifier,
    warnEmptyText,
    warnSameTriggers,
    warnNewlineConflict,
    warnNoTrigger,
    settingsTitle,
    back,
    injectionMethod,
    injectionPaste,
    injectionType,
    injectionTypeNote,
    preDelay,
    postDelay,
    delayUnit,
    targetApps,
    targetAppsHint,
    language,
    languageSystem,
    languageEnglish,
    languageJapanese,
    openConfigFile,
    revealConfigFile,
    showSetupGuide,
    launchAtLogin,
    quitApp,
    aboutSecureInput,
    setupTitle,
    setupWhy,
    setupStep1,
    setupStep2,
    setupStep3,
    setupOpenButton,
    setupWaiting,
    setupGranted,
    setupSkip,
    labTitle,
    labOpen,
    labScan,
    labRescan,
    labScanning,
    labDrafting,
    labNoCandidates,
    labNoTranscripts,
    labEvidence,
    labSource,
    labOriginal,
    labDraftNote,
    labAdopt,
    labAdopted,
    labUsageTitle,
    labUsageUnused,
    labUsageNever,
    labKindConvention,
    labKindUnfollowed,
    labKindCorrection,
    labKindRepeated,
    labModelAvailable,
    labModelUnsupportedOS,
    labModelDeviceNotEligible,
    labModelNotEnabled,
    labModelNotReady,
    labModelFallbackNote,
    labPrivacyNote,
    contactUs,
    contactNote,
    secureInputTitle,
    configErrorTitle,
    configErrorBody,
    saveErrorTitle,
    dismiss,
    reloadedFromDisk,
    configErrorKeptPrompts,
    undo,
    setupReadyTitle,
    setupReadyWhy,
    setupDone,
    trayOpen,
    trayPause,
    trayResume,
    trayQuit,
};

inline constexpr std::size_t stringKeyCount = 105;

// Every key, in declaration order.
extern const std::array<StringKey, stringKeyCount> allStringKeys;

// The key's case name.
std::string_view rawValue(StringKey key);

namespace Strings {

struct TextPair {
    std::string_view en;
    std::string_view ja;
    bool operator==(const TextPair&) const = default;
};

TextPair texts(StringKey key);
// Japanese falls back to English where it has no text.
std::string_view text(const TextPair& pair, Language language);
std::string_view string(StringKey key, Language language);

// Shown under a prompt whose shortcut another prompt also uses.
std::string warnDuplicate(std::string_view otherName, Language language);
std::string lastFired(std::string_view name, TriggerKind kind, Language language);
// `holder` is the application believed to hold secure input, when one is known.
std::string secureInputDetail(std::optional<std::string_view> holder, Language language);
// Shortcuts that another program holds, so that pressing them never reaches
// Tamsel; `shortcuts` are their symbol forms, in the order to list them.
std::string unavailableShortcuts(const std::vector<std::string>& shortcuts, Language language);
// Where the desktop holds the shortcuts: the keys it really fires ours on,
// as (our shortcut, the desktop's, empty for none) in the order to list them.
std::string desktopAssignedShortcuts(const std::vector<std::pair<std::string, std::string>>& pairs,
                                     Language language);
// Why keys can neither be watched nor typed, when the display says no.
std::string keyboardAccessMissing(bool displayReachable, Language language);
std::string injectionProblem(InjectionProblem problem, Language language);
std::string labSummary(int prompts, int days, int sections, Language language);
std::string labEvidenceDetail(CandidateKind kind, int count, Language language);
std::string labUsageEntry(std::string_view name, int count, Language language);
// Under a convention's example lines when only the first of them are shown.
std::string labExamplesShown(int shown, int total, Language language);
// The banner that offers to bring back a prompt just deleted.
std::string deletedPrompt(std::string_view name, Language language);
// The configuration file's problem as the user reads it: the reader's own
// messages in the user's language, anything else (the system's) as it came.
std::string configErrorDetail(std::string_view message, Language language);
// What the prompt row and the editor say about a finding of the validator.
std::string issueMessage(const RuleIssue& issue, Language language);

} // namespace Strings

} // namespace tamsel
