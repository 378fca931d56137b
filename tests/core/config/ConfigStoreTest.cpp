#include "core/config/ConfigStore.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "core/config/ConfigCodec.h"
#include "tests/support/TemporaryFolder.h"

using namespace tamsel;
using tamsel::testing::readFile;
using tamsel::testing::TemporaryFolder;
using tamsel::testing::UnprivilegedScope;
using tamsel::testing::writeFile;
namespace fs = std::filesystem;

namespace {

constexpr std::string_view brokenFile = "{\n  \"enabled\" : true,\n  \"rules\" : [\n";

// Moves the file's modification time into the future, as a later edit by
// another program would (file times can be coarser than two quick writes).
void touchLater(const fs::path& path, int seconds = 10) {
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    timespec times[2] = {info.st_atim, info.st_mtim};
    times[1].tv_sec += seconds;
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

Config customConfig() {
    Config config;
    config.preDelayMS = 123;
    config.rules = {{"ID-1", "Mine", true, "cmd+9", "", "keep this", std::nullopt}};
    return config;
}

} // namespace

TEST(ConfigStoreTest, DefaultLocations) {
    EXPECT_EQ(ConfigStore::backupURL("/a/b/config.json"), fs::path("/a/b/config.json.invalid"));
    EXPECT_TRUE(ConfigStore::defaultFileURL().string().ends_with("/.config/tamsel/config.json"));
}

TEST(ConfigStoreTest, FirstRunCreatesTheFolderChainAndDefaults) {
    TemporaryFolder home;
    const fs::path file = home / "deep/er/tamsel/config.json";
    ConfigStore store(file);
    auto result = store.load(Language::ja);
    EXPECT_TRUE(result.createdDefault);
    EXPECT_FALSE(result.error) << *result.error;
    ASSERT_EQ(result.config.rules.size(), 3u);
    EXPECT_EQ(result.config.rules[0].name, "ルール厳守");
    EXPECT_EQ(readFile(file), ConfigCodec::encode(result.config));
    EXPECT_FALSE(store.hasExternalChange());

    // The second start reads the same prompts, ids included.
    ConfigStore again(file);
    auto reloaded = again.load(Language::en);
    EXPECT_FALSE(reloaded.createdDefault);
    EXPECT_EQ(reloaded.config, result.config);
}

TEST(ConfigStoreTest, DamagedFileIsKeptUntilBackedUpOnFirstSave) {
    TemporaryFolder home;
    const fs::path file = home / "config.json";
    const fs::path backup = ConfigStore::backupURL(file);
    writeFile(file, brokenFile);
    writeFile(backup, "an older incident");

    ConfigStore store(file);
    auto result = store.load(Language::en);
    ASSERT_TRUE(result.error);
    EXPECT_TRUE(result.error->starts_with("The given data was not valid JSON.")) << *result.error;
    EXPECT_NE(result.error->find("line 4"), std::string::npos) << *result.error;
    EXPECT_TRUE(store.isDamaged());
    EXPECT_FALSE(result.createdDefault);
    EXPECT_EQ(result.config.rules.size(), 3u); // running on defaults
    EXPECT_EQ(readFile(file), brokenFile);     // untouched
    EXPECT_EQ(readFile(backup), "an older incident");
    EXPECT_FALSE(store.hasExternalChange()); // our own failed read is not a change

    EXPECT_FALSE(store.save(customConfig()));
    EXPECT_FALSE(store.isDamaged());
    EXPECT_EQ(readFile(backup), brokenFile); // byte for byte, replacing the old one
    EXPECT_EQ(readFile(file), ConfigCodec::encode(customConfig()));

    Config second = customConfig();
    second.postDelayMS = 5;
    EXPECT_FALSE(store.save(second));
    EXPECT_EQ(readFile(backup), brokenFile); // a second save leaves it alone
}

TEST(ConfigStoreTest, BackupOfAPrivateFileStaysPrivate) {
    TemporaryFolder home;
    const fs::path file = home / "config.json";
    const fs::path backup = ConfigStore::backupURL(file);
    writeFile(file, brokenFile);
    writeFile(backup, "an older incident");
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(backup, fs::perms::all);

    ConfigStore store(file);
    ASSERT_TRUE(store.load(Language::en).error);
    ASSERT_FALSE(store.save(customConfig()));
    EXPECT_EQ(readFile(backup), brokenFile);
    EXPECT_EQ(fs::status(backup).permissions() & fs::perms::mask,
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST(ConfigStoreTest, WholeFileFailuresHaveTheirMessages) {
    TemporaryFolder home;
    const fs::path file = home / "config.json";
    ConfigStore store(file);
    writeFile(file, "[1, 2]");
    EXPECT_EQ(store.load(Language::en).error, "Type mismatch at ");
    writeFile(file, R"({"rules": {"text": "x"}})");
    EXPECT_EQ(store.load(Language::en).error, "Type mismatch at rules");
    EXPECT_TRUE(store.isDamaged());
}

TEST(ConfigStoreTest, FileRepairedByHandClearsTheDamageWithoutBackup) {
    TemporaryFolder home;
    const fs::path file = home / "config.json";
    writeFile(file, brokenFile);
    ConfigStore store(file);
    ASSERT_TRUE(store.load(Language::en).error);

    writeFile(file, ConfigCodec::encode(customConfig()));
    touchLater(file);
    EXPECT_TRUE(store.hasExternalChange());
    auto result = store.load(Language::en);
    EXPECT_FALSE(result.error);
    EXPECT_EQ(result.config, customConfig());
    EXPECT_FALSE(store.isDamaged());
    EXPECT_FALSE(store.save(customConfig()));
    EXPECT_FALSE(fs::exists(ConfigStore::backupURL(file)));
}

TEST(ConfigStoreTest, ExternalChangesAfterOurSaveAnotherWriterAndDeletion) {
    TemporaryFolder home;
    const fs::path file = home / "config.json";
    ConfigStore store(file);
    EXPECT_FALSE(store.hasExternalChange()); // nothing there yet
    writeFile(file, "{}");
    EXPECT_TRUE(store.hasExternalChange()); // never read by us
    ASSERT_FALSE(store.save(customConfig()));
    EXPECT_FALSE(store.hasExternalChange());
    touchLater(file);
    EXPECT_TRUE(store.hasExternalChange());
    store.load(Language::en);
    EXPECT_FALSE(store.hasExternalChange());
    fs::remove(file);
    EXPECT_FALSE(store.hasExternalChange());
}

TEST(ConfigStoreTest, SavingTwiceGivesIdenticalBytesAndKeepsPermissions) {
    TemporaryFolder home;
    const fs::path file = home / "config.json";
    ConfigStore store(file);
    ASSERT_FALSE(store.save(customConfig()));
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    const std::string first = readFile(file);
    ASSERT_FALSE(store.save(customConfig()));
    EXPECT_EQ(readFile(file), first);
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::mask,
              fs::perms::owner_read | fs::perms::owner_write);
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(home.path()), fs::directory_iterator()), 1);
}

TEST(ConfigStoreTest, SaveIntoReadOnlyFolderFailsAndKeepsTheOldFile) {
    TemporaryFolder home;
    const fs::path folder = home / "tamsel";
    const fs::path file = folder / "config.json";
    fs::create_directory(folder);
    writeFile(file, ConfigCodec::encode(customConfig()));
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read |
                                fs::perms::others_exec);
    UnprivilegedScope unprivileged;
    ConfigStore store(file);
    ASSERT_FALSE(store.load(Language::en).error);
    auto error = store.save(Config{});
    ASSERT_TRUE(error);
    EXPECT_NE(error->find("Permission denied"), std::string::npos) << *error;
    EXPECT_NE(error->find(folder.string()), std::string::npos) << *error;
    EXPECT_EQ(readFile(file), ConfigCodec::encode(customConfig()));
}

TEST(ConfigStoreTest, UnreadableFileThatCannotBeBackedUpIsNeverReplaced) {
    TemporaryFolder home;
    const fs::path file = home / "config.json";
    writeFile(file, ConfigCodec::encode(customConfig()));
    fs::permissions(file, fs::perms::none);
    UnprivilegedScope unprivileged;
    ConfigStore store(file);
    auto result = store.load(Language::en);
    ASSERT_TRUE(result.error);
    EXPECT_NE(result.error->find("Permission denied"), std::string::npos) << *result.error;
    EXPECT_TRUE(store.isDamaged());

    auto error = store.save(Config{});
    ASSERT_TRUE(error);
    EXPECT_NE(error->find("could not be backed up"), std::string::npos) << *error;
    EXPECT_TRUE(store.isDamaged());
    EXPECT_FALSE(fs::exists(ConfigStore::backupURL(file)));
}

TEST(ConfigStoreTest, SymbolicLinkStaysALink) {
    TemporaryFolder home;
    fs::create_directories(home / "dotfiles");
    fs::create_directories(home / ".config/tamsel");
    const fs::path target = home / "dotfiles/tamsel.json";
    const fs::path link = home / ".config/tamsel/config.json";
    writeFile(target, "{}");
    fs::create_symlink("../../dotfiles/tamsel.json", link);

    ConfigStore store(link);
    ASSERT_FALSE(store.load(Language::en).error);
    ASSERT_FALSE(store.save(customConfig()));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
    EXPECT_EQ(readFile(target), ConfigCodec::encode(customConfig()));
    EXPECT_FALSE(store.hasExternalChange());
    // The temporary file lives beside the target, not beside the link.
    EXPECT_EQ(std::distance(fs::directory_iterator(home / "dotfiles"), fs::directory_iterator()),
              1);
}

TEST(ConfigStoreTest, DanglingLinkIsFilledOnFirstRun) {
    TemporaryFolder home;
    fs::create_directories(home / "dotfiles");
    const fs::path link = home / "config.json";
    fs::create_symlink(home / "dotfiles/missing.json", link);
    ConfigStore store(link);
    auto result = store.load(Language::en);
    EXPECT_TRUE(result.createdDefault);
    EXPECT_FALSE(result.error);
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
    EXPECT_EQ(readFile(home / "dotfiles/missing.json"), ConfigCodec::encode(result.config));
}
