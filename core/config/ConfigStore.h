#pragma once

// Owns the configuration file: creates it on first run, reads it tolerantly,
// writes it atomically, keeps a file the user broke by hand until it is backed
// up, and notices when someone else changed it. Every failure comes back as a
// message ready to show; the caller keeps running on what it has.

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>

#include "core/config/Config.h"

namespace tamsel {

class ConfigStore {
public:
    struct LoadResult {
        Config config;
        std::optional<std::string> error;
        bool createdDefault = false;
    };

    // ~/.config/tamsel/config.json
    static std::filesystem::path defaultFileURL();
    static std::filesystem::path fileURL(const std::filesystem::path& home);
    // The damaged file's copy: "config.json.invalid" beside it.
    static std::filesystem::path backupURL(const std::filesystem::path& fileURL);

    explicit ConfigStore(std::filesystem::path fileURL);

    // `defaultLanguage` only picks the default prompts for a first run.
    LoadResult load(Language defaultLanguage);
    std::optional<std::string> save(const Config& config);
    // True when the file was modified after this store last read or wrote it.
    // A missing file is not a change.
    bool hasExternalChange() const;

    bool isDamaged() const { return isDamaged_; }
    const std::filesystem::path& fileURL() const { return fileURL_; }

private:
    std::optional<std::string> write(const Config& config);
    std::optional<std::string> backUpDamagedFile();

    std::filesystem::path fileURL_;
    std::optional<std::timespec> lastKnownModification_;
    bool isDamaged_ = false;
};

} // namespace tamsel
