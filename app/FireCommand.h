#pragma once

// `tamsel --fire PROMPT` hands a firing to the running instance: where no
// program may watch keys (most Wayland desktops), the desktop's own shortcut
// settings run this command instead. One request line goes over the
// single-instance socket and one reply line comes back:
//
//   fire send|insert PROMPT        ->  fired
//                                  ->  declined REASON
//
// PROMPT is the prompt's position in the list (from 1) or its id. Neither
// line carries a line break of its own: texts are flattened before sending.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/config/Config.h"
#include "core/config/Language.h"

namespace tamsel {

struct FireRequest {
    TriggerKind kind = TriggerKind::send;
    std::string prompt;
    bool operator==(const FireRequest&) const = default;
};

enum class FireDecline : std::uint8_t {
    unknownPrompt,
    paused,
    promptOff,
    promptEmpty,
    noKeyboard,
    notTarget,
};

struct FireReply {
    bool fired = false;
    // What the running instance said, ready to show; empty when fired.
    std::string reason;
    bool operator==(const FireReply&) const = default;
};

namespace FireCommand {

// A longer line is not ours: the connection is dropped rather than buffered.
inline constexpr std::size_t maximumLineBytes = 4096;

// Exit statuses of `tamsel --fire`.
inline constexpr int firedExitCode = 0;
inline constexpr int notRunningExitCode = 1;
inline constexpr int declinedExitCode = 3;

std::string requestLine(const FireRequest& request);
// No value for anything but a well-formed request (the line break removed).
std::optional<FireRequest> parseRequest(std::string_view line);

std::string replyLine(const FireReply& reply);
std::optional<FireReply> parseReply(std::string_view line);

// The rule PROMPT names: an exact id first, then a position from 1.
const Rule* resolve(const std::vector<Rule>& rules, std::string_view prompt);

std::string declineReason(FireDecline decline, std::string_view prompt, Language language);

// The command line that fires `rule` through `program`, quoted for a POSIX
// shell where needed; names the prompt by id, which survives reordering.
std::string commandFor(std::string_view program, const Rule& rule, TriggerKind kind);
// Single-quotes `word` unless every character is safe in a shell as is.
std::string shellQuoted(std::string_view word);

} // namespace FireCommand

// What the settings page says about the commands.
namespace FireCommandTexts {
std::string title(Language language);
// Where the desktops take a command as a shortcut.
std::string hint(Language language);
// Where the application in front cannot be known, so targets cannot apply.
std::string anyWindow(Language language);
std::string copy(Language language);
std::string copied(Language language);
} // namespace FireCommandTexts

} // namespace tamsel
