#include "core/analysis/TranscriptScanner.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <simdjson.h>

#include "core/analysis/AppendedRuleMatcher.h"
#include "core/analysis/LenientJson.h"
#include "core/toolkit/HomeDirectory.h"
#include "core/toolkit/LineReader.h"
#include "core/toolkit/TextToolkit.h"

namespace tamsel::TranscriptScanner {

namespace {

namespace dom = simdjson::dom;

static_assert(simdjson::SIMDJSON_PADDING <= LineReader::padding,
              "lines are parsed where they lie in the reader's buffer");

// Lines longer than this leave the parser holding memory in proportion; such
// a parser is replaced once the line is done.
constexpr std::size_t largeLine = std::size_t{16} << 20;

// ---------------------------------------------------------------------------
// Pre-filter

// Both markers begin with "type":, which is rarer in a line than a quote.
bool hasUserMarker(std::string_view line) {
    static constexpr std::string_view key = "\"type\":";
    const char* at = line.data();
    const char* const stop = line.data() + line.size();
    while (static_cast<std::size_t>(stop - at) >= key.size()) {
        const void* hit = ::memmem(at, static_cast<std::size_t>(stop - at), key.data(), key.size());
        if (hit == nullptr) {
            return false;
        }
        std::string_view rest(static_cast<const char*>(hit) + key.size(),
                              static_cast<std::size_t>(stop - static_cast<const char*>(hit)) -
                                  key.size());
        if (rest.starts_with("\"user\"") || rest.starts_with(" \"user\"")) {
            return true;
        }
        at = static_cast<const char*>(hit) + 1;
    }
    return false;
}

// ---------------------------------------------------------------------------
// JSON

// The last of duplicate keys is the one that counts, so objects are walked
// whole rather than looked up.
template <typename Visit> void forEachField(dom::object object, Visit&& visit) {
    for (dom::key_value_pair field : object) {
        visit(field.key, field.value);
    }
}

std::optional<std::string_view> stringOf(const std::optional<dom::element>& value) {
    std::string_view text;
    if (value && value->get_string().get(text) == simdjson::SUCCESS) {
        return text;
    }
    return std::nullopt;
}

bool isTrue(const std::optional<dom::element>& value) {
    bool flag = false;
    return value && value->get_bool().get(flag) == simdjson::SUCCESS && flag;
}

std::optional<std::string> plainTextOf(const std::optional<dom::element>& content) {
    if (!content) {
        return std::nullopt;
    }
    std::string_view text;
    if (content->get_string().get(text) == simdjson::SUCCESS) {
        return std::string(text);
    }
    dom::array parts;
    if (content->get_array().get(parts) != simdjson::SUCCESS) {
        return std::nullopt;
    }
    for (dom::element part : parts) {
        if (!part.is_object()) {
            return std::nullopt;
        }
    }
    std::optional<std::string> joined;
    for (dom::element part : parts) {
        std::optional<dom::element> type;
        std::optional<dom::element> partText;
        forEachField(part.get_object().value_unsafe(),
                     [&](std::string_view key, dom::element value) {
                         if (key == "type") {
                             type = value;
                         } else if (key == "text") {
                             partText = value;
                         }
                     });
        const auto typeName = stringOf(type);
        const auto piece = stringOf(partText);
        if (typeName == "text" && piece) {
            if (joined) {
                joined->append("\n").append(*piece);
            } else {
                joined.emplace(*piece);
            }
        }
    }
    return joined;
}

std::optional<PromptRecord> makeRecord(dom::object line, const AppendedRuleMatcher& matcher,
                                       std::int64_t indexInSession) {
    std::optional<dom::element> type, userType, isSidechain, isMeta, isCompactSummary, promptSource,
        message, sessionID, cwd, gitBranch, timestamp;
    forEachField(line, [&](std::string_view key, dom::element value) {
        if (key == "type") {
            type = value;
        } else if (key == "userType") {
            userType = value;
        } else if (key == "isSidechain") {
            isSidechain = value;
        } else if (key == "isMeta") {
            isMeta = value;
        } else if (key == "isCompactSummary") {
            isCompactSummary = value;
        } else if (key == "promptSource") {
            promptSource = value;
        } else if (key == "message") {
            message = value;
        } else if (key == "sessionId") {
            sessionID = value;
        } else if (key == "cwd") {
            cwd = value;
        } else if (key == "gitBranch") {
            gitBranch = value;
        } else if (key == "timestamp") {
            timestamp = value;
        }
    });
    if (stringOf(type) != "user" || stringOf(userType) != "external") {
        return std::nullopt;
    }
    if (isTrue(isSidechain) || isTrue(isMeta) || isTrue(isCompactSummary)) {
        return std::nullopt;
    }
    if (const auto source = stringOf(promptSource); source == "sdk" || source == "system") {
        return std::nullopt;
    }
    if (!message || !message->is_object()) {
        return std::nullopt;
    }
    std::optional<dom::element> content;
    forEachField(message->get_object().value_unsafe(),
                 [&](std::string_view key, dom::element value) {
                     if (key == "content") {
                         content = value;
                     }
                 });
    const std::optional<std::string> text = plainTextOf(content);
    if (!text) {
        return std::nullopt;
    }
    const std::string_view trimmed = TextToolkit::trimWhitespaceAndNewlines(*text);
    if (trimmed.empty() || isMachineGenerated(trimmed)) {
        return std::nullopt;
    }
    SeparatedText separated = matcher.separate(trimmed);
    if (separated.body.empty()) {
        return std::nullopt;
    }
    PromptRecord record;
    record.sessionID = std::string(stringOf(sessionID).value_or(""));
    record.project = std::string(stringOf(cwd).value_or(""));
    if (const auto branch = stringOf(gitBranch); branch && !branch->empty()) {
        record.gitBranch.emplace(*branch);
    }
    record.timestamp = date(stringOf(timestamp)).value_or(distantPast);
    record.text = std::move(separated.body);
    record.firedRuleID = std::move(separated.ruleID);
    record.indexInSession = indexInSession;
    return record;
}

// ---------------------------------------------------------------------------
// Files

// What one scanning thread keeps from file to file.
struct Worker {
    LineReader reader;
    dom::parser parser;
    std::string relaxed;

    // Parses `line` in place; the reader guarantees the padding behind it.
    std::optional<dom::object> parseObject(std::string_view line) {
        dom::element root;
        simdjson::error_code error = parser.parse(line.data(), line.size(), false).get(root);
        if (error == simdjson::STRING_ERROR || error == simdjson::NUMBER_ERROR) {
            relaxed.assign(line);
            if (LenientJson::relaxTokens(relaxed)) {
                relaxed.reserve(relaxed.size() + simdjson::SIMDJSON_PADDING);
                error = parser.parse(relaxed.data(), relaxed.size(), false).get(root);
            }
        }
        dom::object object;
        if (error != simdjson::SUCCESS || root.get_object().get(object) != simdjson::SUCCESS) {
            return std::nullopt;
        }
        return object;
    }

    void releaseLargeBuffers(std::size_t lineSize) {
        if (lineSize > largeLine) {
            parser = dom::parser();
            relaxed = std::string();
        }
    }
};

FileResult scanWith(Worker& worker, const std::filesystem::path& file,
                    const AppendedRuleMatcher& matcher) {
    FileResult result;
    if (!worker.reader.open(file)) {
        return result;
    }
    try {
        while (const std::optional<std::string_view> line = worker.reader.nextLine()) {
            if (!hasUserMarker(*line)) {
                continue;
            }
            const std::optional<dom::object> object = worker.parseObject(*line);
            if (!object) {
                ++result.skippedLines;
            } else if (auto record = makeRecord(*object, matcher,
                                                static_cast<std::int64_t>(result.records.size()))) {
                result.records.push_back(std::move(*record));
            }
            worker.releaseLargeBuffers(line->size());
        }
    } catch (const std::exception&) {
        // Out of memory in the middle of a file: keep what it gave so far.
        worker.parser = dom::parser();
    }
    result.skippedLines += worker.reader.overlongLines();
    worker.reader.close();
    return result;
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

} // namespace

std::optional<DateRange> Result::period() const {
    if (records.empty()) {
        return std::nullopt;
    }
    const auto [earliest, latest] = std::minmax_element(
        records.begin(), records.end(),
        [](const PromptRecord& a, const PromptRecord& b) { return a.timestamp < b.timestamp; });
    return DateRange{earliest->timestamp, latest->timestamp};
}

std::filesystem::path defaultRoot() {
    return homeDirectory() / ".claude" / "projects";
}

std::vector<std::filesystem::path> transcriptFiles(const std::filesystem::path& root) {
    std::string base = root.native();
    while (base.size() > 1 && base.ends_with('/')) {
        base.pop_back();
    }
    std::vector<std::string> found;
    // Folders still to list, as paths below the root ("" is the root itself);
    // a stack rather than recursion, since nesting has no limit.
    std::vector<std::string> pending{""};
    while (!pending.empty()) {
        const std::string relative = std::move(pending.back());
        pending.pop_back();
        const std::string folder = relative.empty() ? base : base + relative;
        std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
        if (!dir) {
            continue;
        }
        while (const dirent* entry = ::readdir(dir.get())) {
            const std::string_view name = entry->d_name;
            if (name.empty() || name.front() == '.') {
                continue;
            }
            std::string below = relative;
            below.append("/").append(name);
            bool isFolder = entry->d_type == DT_DIR;
            if (entry->d_type == DT_UNKNOWN) {
                struct stat status {};
                const std::string full = base + below;
                isFolder = ::lstat(full.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
            }
            // Judged below the root, so that a home folder that happens to sit
            // under a "subagents" folder keeps its history.
            if (name.ends_with(".jsonl") && below.find("/subagents/") == std::string::npos) {
                found.push_back(base == "/" ? below : base + below);
            }
            if (isFolder) {
                pending.push_back(std::move(below));
            }
        }
    }
    std::sort(found.begin(), found.end());
    return {found.begin(), found.end()};
}

FileResult scanFile(const std::filesystem::path& file, const std::vector<Rule>& rules) {
    Worker worker;
    return scanWith(worker, file, AppendedRuleMatcher(rules));
}

Result scan(const std::optional<std::filesystem::path>& root, const std::vector<Rule>& rules,
            const std::function<bool()>& isCancelled, unsigned workers) {
    const std::vector<std::filesystem::path> files = transcriptFiles(root ? *root : defaultRoot());
    const AppendedRuleMatcher matcher(rules);
    std::vector<FileResult> perFile(files.size());

    // Files are handed out in path order and the cancellation test is asked
    // under the same lock, so a cancelled scan covers exactly the files a
    // sequential one would have.
    std::mutex claimLock;
    std::size_t claimed = 0;
    bool cancelled = false;
    auto claim = [&]() -> std::optional<std::size_t> {
        std::lock_guard lock(claimLock);
        if (cancelled || claimed == files.size()) {
            return std::nullopt;
        }
        if (isCancelled && isCancelled()) {
            cancelled = true;
            return std::nullopt;
        }
        return claimed++;
    };
    auto work = [&] {
        Worker worker;
        while (const std::optional<std::size_t> index = claim()) {
            perFile[*index] = scanWith(worker, files[*index], matcher);
        }
    };

    // Past a few threads the scan only waits on memory, and each holds buffers.
    std::size_t threads =
        workers != 0 ? workers : std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
    threads = std::max<std::size_t>(1, std::min(threads, files.size()));
    {
        std::vector<std::jthread> helpers;
        for (std::size_t i = 1; i < threads; ++i) {
            helpers.emplace_back(work);
        }
        work();
    }

    Result result;
    result.scannedFiles = static_cast<std::int64_t>(claimed);
    std::size_t total = 0;
    for (std::size_t i = 0; i < claimed; ++i) {
        total += perFile[i].records.size();
    }
    result.records.reserve(total);
    for (std::size_t i = 0; i < claimed; ++i) {
        result.skippedLines += perFile[i].skippedLines;
        std::move(perFile[i].records.begin(), perFile[i].records.end(),
                  std::back_inserter(result.records));
        perFile[i] = FileResult();
    }
    std::stable_sort(
        result.records.begin(), result.records.end(),
        [](const PromptRecord& a, const PromptRecord& b) { return a.timestamp < b.timestamp; });
    return result;
}

std::optional<std::string> plainText(std::optional<std::string_view> contentJson) {
    if (!contentJson) {
        return std::nullopt;
    }
    try {
        dom::parser parser;
        std::string json(*contentJson);
        simdjson::padded_string padded(json);
        dom::element content;
        simdjson::error_code error = parser.parse(padded).get(content);
        // Read as a transcript line is: lone surrogates and huge numbers pass.
        if ((error == simdjson::STRING_ERROR || error == simdjson::NUMBER_ERROR) &&
            LenientJson::relaxTokens(json)) {
            padded = simdjson::padded_string(json);
            error = parser.parse(padded).get(content);
        }
        if (error != simdjson::SUCCESS) {
            return std::nullopt;
        }
        return plainTextOf(content);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

bool isMachineGenerated(std::string_view text) {
    for (std::string_view tag : {"<command-name>", "<local-command-stdout>", "<command-message>",
                                 "<bash-input>", "<bash-stdout>", "<bash-stderr>"}) {
        if (text.find(tag) != std::string_view::npos) {
            return true;
        }
    }
    return TextToolkit::hasGraphemePrefix(text, "[Request interrupted by user") ||
           (TextToolkit::hasGraphemePrefix(text, "<system-reminder>") &&
            TextToolkit::hasGraphemeSuffix(text, "</system-reminder>"));
}

SeparatedText separateAppendedRule(std::string_view text, const std::vector<Rule>& rules) {
    return AppendedRuleMatcher(rules).separate(text);
}

std::optional<Timestamp> date(std::optional<std::string_view> text) {
    if (!text) {
        return std::nullopt;
    }
    const std::string_view s = *text;
    auto number = [&](std::size_t at, std::size_t digits) -> std::optional<int> {
        if (at + digits > s.size()) {
            return std::nullopt;
        }
        int value = 0;
        for (std::size_t i = at; i < at + digits; ++i) {
            if (s[i] < '0' || s[i] > '9') {
                return std::nullopt;
            }
            value = value * 10 + (s[i] - '0');
        }
        return value;
    };
    auto separator = [&](std::size_t at, char expected) {
        return at < s.size() && s[at] == expected;
    };
    const auto year = number(0, 4), month = number(5, 2), day = number(8, 2);
    const auto hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
    if (!year || !month || !day || !hour || !minute || !second || !separator(4, '-') ||
        !separator(7, '-') || !separator(10, 'T') || !separator(13, ':') || !separator(16, ':')) {
        return std::nullopt;
    }
    std::size_t at = 19;
    std::int64_t micros = 0;
    if (separator(at, '.')) {
        ++at;
        const std::size_t digitsStart = at;
        std::int64_t scale = 100000;
        while (at < s.size() && s[at] >= '0' && s[at] <= '9') {
            micros += (s[at] - '0') * scale;
            scale /= 10;
            ++at;
        }
        if (at == digitsStart) {
            return std::nullopt;
        }
    }
    int offsetMinutes = 0;
    if (separator(at, 'Z')) {
        ++at;
    } else if (separator(at, '+') || separator(at, '-')) {
        const int sign = s[at] == '-' ? -1 : 1;
        const auto offsetHour = number(at + 1, 2), offsetMinute = number(at + 4, 2);
        if (!offsetHour || !offsetMinute || !separator(at + 3, ':') || *offsetHour > 23 ||
            *offsetMinute > 59) {
            return std::nullopt;
        }
        offsetMinutes = sign * (*offsetHour * 60 + *offsetMinute);
        at += 6;
    } else {
        return std::nullopt;
    }
    if (at != s.size()) {
        return std::nullopt;
    }
    using namespace std::chrono;
    const year_month_day calendarDay{std::chrono::year(*year),
                                     std::chrono::month(static_cast<unsigned>(*month)),
                                     std::chrono::day(static_cast<unsigned>(*day))};
    if (!calendarDay.ok() || *hour > 23 || *minute > 59 || *second > 59) {
        return std::nullopt;
    }
    return Timestamp(sys_days(calendarDay)) + hours(*hour) + minutes(*minute) + seconds(*second) +
           microseconds(micros) - minutes(offsetMinutes);
}

} // namespace tamsel::TranscriptScanner
