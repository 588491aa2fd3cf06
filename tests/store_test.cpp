#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <fstream>
#include <nlohmann/json.hpp>

#include "bundle_info.h"
#include "store/atomic_file.h"
#include "store/color_archive.h"
#include "store/screen_saver_defaults.h"
#include "test_support.h"

namespace orbelune {
namespace {

class StoreTest : public test::IsolatedTest {
 protected:
  ScreenSaverDefaults open() { return ScreenSaverDefaults(storeFile()); }
};

TEST_F(StoreTest, EveryTypeRoundTripsExactlyThroughTheFile) {
  const DefaultsDictionary values = {
      {"Int", std::int64_t{-9007199254740993}},
      {"Big", std::int64_t{INT64_MAX}},
      {"Real", 0.1 + 0.2},
      {"Tiny", 5e-324},
      {"Whole", 20.0},
      {"Yes", true},
      {"No", false},
      {"Blob", Bytes{0x00, 0xff, 0x10}},
      {"Empty", Bytes{}},
      {"Text", std::string("grüße \"quoted\"")},
  };
  {
    auto s = open();
    for (const auto& [k, v] : values) s.setObject(v, k);
    ASSERT_TRUE(test::succeeded(s.synchronize()));
  }
  auto s = open();
  EXPECT_EQ(s.storedValues(), values);
  EXPECT_EQ(s.real("Whole"), 20.0);
  EXPECT_EQ(s.integer("Real"), 0);
  EXPECT_TRUE(s.boolean("Int"));
}

TEST_F(StoreTest, ReadsFallBackToRegisteredDefaultsWhichAreNeverWritten) {
  auto s = open();
  s.registerDefaults({{"A", 1.0}, {"B", true}});
  EXPECT_EQ(s.integer("A"), 1);
  EXPECT_TRUE(s.boolean("B"));
  EXPECT_EQ(s.value("C"), std::nullopt);
  ASSERT_TRUE(s.synchronize());
  EXPECT_FALSE(std::filesystem::exists(storeFile()));
  s.setObject(2.5, "A");
  ASSERT_TRUE(s.synchronize());
  auto doc = nlohmann::json::parse(readStoreFile());
  EXPECT_EQ(doc.size(), 1u);
  EXPECT_EQ(doc["A"]["real"], 2.5);
}

TEST_F(StoreTest, KeysAndEntriesTheProgramDoesNotKnowSurviveARewrite) {
  writeStoreFile(R"({"Other": {"integer": 3}, "Future": {"matrix": [1, 2]}, "Plain": 7})");
  auto s = open();
  s.setObject(1.5, "FigureSize");
  ASSERT_TRUE(s.synchronize());
  auto doc = nlohmann::json::parse(readStoreFile());
  EXPECT_EQ(doc["Other"]["integer"], 3);
  EXPECT_EQ(doc["Future"]["matrix"], nlohmann::json::array({1, 2}));
  EXPECT_EQ(doc["Plain"], 7);
  EXPECT_EQ(doc["FigureSize"]["real"], 1.5);
}

TEST_F(StoreTest, AWriteMergesWithWhatAnotherProgramStoredMeanwhile) {
  auto mine = open();
  auto theirs = open();
  theirs.setObject(true, "Theirs");
  ASSERT_TRUE(theirs.synchronize());
  mine.setObject(false, "Mine");
  ASSERT_TRUE(mine.synchronize());
  auto s = open();
  EXPECT_TRUE(s.boolean("Theirs"));
  EXPECT_EQ(s.storedValues().size(), 2u);
}

TEST_F(StoreTest, ACorruptFileReadsEmptyWarnsOnceAndIsMovedAsideBeforeTheNextWrite) {
  writeStoreFile("{ this is not json");
  testing::internal::CaptureStderr();
  auto s = open();
  ASSERT_TRUE(test::succeeded(s.synchronize()));
  // The warning goes to the caller, once; the store prints nothing itself.
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  const auto warnings = s.takeWarnings();
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0], "cannot read settings file " + storeFile().string() +
                             " (not valid JSON); using defaults, the file will be kept as " + storeFile().string() +
                             ".corrupt");
  EXPECT_TRUE(s.takeWarnings().empty());
  EXPECT_TRUE(s.storedValues().empty());
  EXPECT_EQ(readStoreFile(), "{ this is not json");  // reading changes nothing
  s.setObject(std::int64_t{1}, "SweepMethod");
  ASSERT_TRUE(test::succeeded(s.synchronize()));
  std::ifstream aside(storeFile().string() + ".corrupt");
  std::string kept((std::istreambuf_iterator<char>(aside)), {});
  EXPECT_EQ(kept, "{ this is not json");
  EXPECT_EQ(open().integer("SweepMethod"), 1);
}

// Every open the store makes, by its flags: a read-only store must make none
// that could write or create.
int g_writingOpens = 0;
int countWritingOpens(const char* path, int flags, mode_t mode) {
  if ((flags & O_ACCMODE) != O_RDONLY || (flags & (O_CREAT | O_TRUNC))) ++g_writingOpens;
  return ::open(path, flags, mode);
}

TEST_F(StoreTest, AReadOnlyStoreOnlyReadsEvenACorruptFileWithChangesPending) {
  writeStoreFile("{ this is not json");
  atomic_file::Syscalls calls = atomic_file::realSyscalls();
  calls.open = countWritingOpens;
  atomic_file::setSyscallsForTesting(&calls);
  g_writingOpens = 0;
  ScreenSaverDefaults s(storeFile(), ScreenSaverDefaults::Access::ReadOnly);
  EXPECT_EQ(s.takeWarnings().size(), 1u);
  s.setObject(std::int64_t{2}, "SweepMethod");
  const auto written = s.synchronize();
  atomic_file::setSyscallsForTesting(nullptr);
  EXPECT_FALSE(written.ok());
  EXPECT_EQ(g_writingOpens, 0);
  EXPECT_EQ(s.integer("SweepMethod"), 2);  // the change still acts on this run
  EXPECT_EQ(readStoreFile(), "{ this is not json");
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(storeFile().parent_path())) {
    names.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(names, std::vector<std::string>{storeFile().filename().string()});  // no .corrupt, lock or temporary
}

TEST_F(StoreTest, AFileChangedSinceTheLastReadIsToldUntilItIsReadAgain) {
  auto s = open();
  EXPECT_FALSE(s.fileChanged());  // no file, still none
  {
    auto other = open();
    other.setObject(1.0, "A");
    ASSERT_TRUE(test::succeeded(other.synchronize()));
    EXPECT_FALSE(other.fileChanged());  // its own write is what it holds
  }
  EXPECT_TRUE(s.fileChanged());
  ASSERT_TRUE(test::succeeded(s.synchronize()));
  EXPECT_FALSE(s.fileChanged());
  EXPECT_EQ(s.real("A"), 1.0);
  // Rewritten in place at the same size, past the file system's clock tick.
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  writeStoreFile(readStoreFile());
  EXPECT_TRUE(s.fileChanged());
  ASSERT_TRUE(test::succeeded(s.synchronize()));
  std::filesystem::remove(storeFile());
  EXPECT_TRUE(s.fileChanged());
}

TEST_F(StoreTest, AStoreThatCannotBeReadIsNeverReplaced) {
  // A FIFO stands in for any file that cannot be read (a permission, an I/O
  // error): its contents may be fine, so a write must not overwrite them.
  std::filesystem::create_directories(storeFile().parent_path());
  ASSERT_EQ(::mkfifo(storeFile().c_str(), 0600), 0);
  auto s = open();
  EXPECT_EQ(s.real("A"), 0.0);
  const auto warnings = s.takeWarnings();
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("; using defaults"), std::string::npos) << warnings[0];
  s.setObject(2.0, "A");
  auto written = s.synchronize();
  ASSERT_FALSE(written.ok());
  EXPECT_NE(written.error().message.find(storeFile().string()), std::string::npos) << written.error().message;
  EXPECT_TRUE(std::filesystem::is_fifo(storeFile()));
  EXPECT_FALSE(std::filesystem::exists(storeFile().string() + ".corrupt"));
}

TEST_F(StoreTest, AFolderInPlaceOfTheStoreIsNamedAsSuch) {
  std::filesystem::create_directories(storeFile());
  auto s = open();
  const auto warnings = s.takeWarnings();
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("is a directory"), std::string::npos) << warnings[0];
  s.setObject(2.0, "A");
  auto written = s.synchronize();
  ASSERT_FALSE(written.ok());
  EXPECT_NE(written.error().message.find("is a directory"), std::string::npos) << written.error().message;
  EXPECT_TRUE(std::filesystem::is_directory(storeFile()));
}

TEST_F(StoreTest, ALinkedStoreIsUpdatedThroughItsLink) {
  const auto real = configHome() / "elsewhere.json";
  std::ofstream(real) << R"({"A": {"real": 1.0}})";
  std::filesystem::create_directories(storeFile().parent_path());
  std::filesystem::create_symlink(real, storeFile());
  auto s = open();
  s.setObject(2.0, "A");
  ASSERT_TRUE(test::succeeded(s.synchronize()));
  EXPECT_TRUE(std::filesystem::is_symlink(storeFile()));
  EXPECT_EQ(open().real("A"), 2.0);

  // A link into folders that do not exist: the write fails, and makes none.
  std::filesystem::remove(storeFile());
  const auto nowhere = configHome() / "not" / "there" / "settings.json";
  std::filesystem::create_symlink(nowhere, storeFile());
  auto dangling = open();
  dangling.setObject(3.0, "A");
  auto written = dangling.synchronize();
  ASSERT_FALSE(written.ok());
  EXPECT_NE(written.error().message.find("is a link into"), std::string::npos) << written.error().message;
  EXPECT_FALSE(std::filesystem::exists(configHome() / "not"));
}

TEST_F(StoreTest, OneNumberJsonCannotHoldReadsAsNotStoredAndTheRestIsKept) {
  const std::string text = R"({"A": {"real": 1e999}, "B": {"real": NaN}, "C": {"integer": 3}, "D": {"real": -Infinity}})";
  writeStoreFile(text);
  auto s = open();
  const auto warnings = s.takeWarnings();
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("out of range"), std::string::npos) << warnings[0];
  EXPECT_EQ(s.integer("C"), 3);
  EXPECT_FALSE(s.value("A").has_value());
  EXPECT_FALSE(s.value("B").has_value());
  s.setObject(std::int64_t{4}, "E");
  ASSERT_TRUE(test::succeeded(s.synchronize()));
  EXPECT_EQ(open().integer("C"), 3);
  EXPECT_EQ(open().integer("E"), 4);
  std::ifstream aside(storeFile().string() + ".corrupt");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(aside), {}), text);  // the original, byte for byte
}

TEST_F(StoreTest, AnEntryNestedTooDeepMakesTheFileCorruptWithoutOverflowingTheStack) {
  const int depth = 100000;
  const std::string text = R"({"A": {"integer": 1}, "Deep": )" + std::string(depth, '[') + std::string(depth, ']') + "}";
  writeStoreFile(text);
  auto s = open();
  const auto warnings = s.takeWarnings();
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("levels deep"), std::string::npos) << warnings[0];
  s.setObject(std::int64_t{2}, "A");
  ASSERT_TRUE(test::succeeded(s.synchronize()));
  EXPECT_EQ(open().integer("A"), 2);
  EXPECT_EQ(std::filesystem::file_size(storeFile().string() + ".corrupt"), text.size());
}

TEST_F(StoreTest, ConcurrentWritersEachKeepWhatTheOthersWrote) {
  writeStoreFile("{}");
  constexpr int kWriters = 3, kKeys = 40;
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t pid = fork();
    if (pid == 0) {
      for (int k = 0; k < kKeys; ++k) {
        // A fresh store each time, as separate `defaults write` runs are.
        ScreenSaverDefaults store(storeFile());
        store.setObject(std::int64_t{k}, "W" + std::to_string(w) + "K" + std::to_string(k));
        if (!store.synchronize()) _exit(1);
      }
      _exit(0);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
  EXPECT_EQ(open().storedValues().size(), static_cast<std::size_t>(kWriters * kKeys));
}

TEST_F(StoreTest, AWriterThatKeepsTheLockMakesAWriteFailWithinTheWaitAndKeepsTheChangePending) {
  writeStoreFile(R"({"A": {"real": 1.0}})");
  test::StoppedLockHolder holder(storeFile().parent_path(), std::chrono::seconds(4));
  ASSERT_TRUE(holder.holding());
  auto s = open();
  s.setLockWait(std::chrono::milliseconds(300));
  s.setObject(2.0, "A");
  const auto start = std::chrono::steady_clock::now();
  auto written = s.synchronize();
  const auto waited = std::chrono::steady_clock::now() - start;
  ASSERT_FALSE(written.ok());
  EXPECT_EQ(written.error().message, "the settings file is locked by another program");
  EXPECT_GE(waited, std::chrono::milliseconds(300));
  EXPECT_LT(waited, std::chrono::seconds(2));
  EXPECT_EQ(readStoreFile(), R"({"A": {"real": 1.0}})");
  EXPECT_EQ(s.real("A"), 2.0);  // still this store's, written once the lock is free
}

TEST_F(StoreTest, AWriteWaitsForALockThatIsReleasedWithinTheWait) {
  writeStoreFile(R"({"A": {"real": 1.0}})");
  test::StoppedLockHolder holder(storeFile().parent_path(), std::chrono::milliseconds(200));
  ASSERT_TRUE(holder.holding());
  auto s = open();
  s.setLockWait(std::chrono::seconds(3));
  s.setObject(2.0, "A");
  ASSERT_TRUE(test::succeeded(s.synchronize()));
  EXPECT_EQ(open().real("A"), 2.0);
}

TEST_F(StoreTest, AGroupIsWrittenOnlyIntoAFileHoldingNoneOfItsKeys) {
  const DefaultsDictionary group{{"A", 1.0}, {"B", 2.0}, {"C", 3.0}};
  {
    auto s = open();
    s.setObjectsIfNoneStored(group);
    s.setObject(9.0, "B");  // a change of the store's own comes first
    ASSERT_TRUE(test::succeeded(s.synchronize()));
  }
  auto written = open();
  EXPECT_EQ(written.storedValues(), (DefaultsDictionary{{"A", 1.0}, {"B", 9.0}, {"C", 3.0}}));

  writeStoreFile(R"({"C": {"real": 5.0}, "D": {"integer": 1}})");
  auto s = open();
  s.setObjectsIfNoneStored(group);
  s.setObject(7.0, "A");
  ASSERT_TRUE(test::succeeded(s.synchronize()));
  EXPECT_EQ(open().storedValues(), (DefaultsDictionary{{"A", 7.0}, {"C", 5.0}, {"D", std::int64_t{1}}}));
}

TEST_F(StoreTest, TemporariesThatKilledWritersLeftAreCleared) {
  writeStoreFile("{}");
  const auto stale = storeFile().parent_path() / ("." + storeFile().filename().string() + ".tmp-0123456789ab");
  const auto fresh = storeFile().parent_path() / ("." + storeFile().filename().string() + ".tmp-ba9876543210");
  std::ofstream(stale) << "half";
  std::ofstream(fresh) << "being written";
  std::filesystem::last_write_time(stale, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
  auto s = open();
  s.setObject(1.0, "A");
  ASSERT_TRUE(s.synchronize());
  EXPECT_FALSE(std::filesystem::exists(stale));
  EXPECT_TRUE(std::filesystem::exists(fresh));  // perhaps another writer's, still at work
}

TEST_F(StoreTest, AnUnwritableFolderFailsTheWriteAndKeepsTheOldFile) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  writeStoreFile(R"({"A": {"real": 1.0}})");
  std::filesystem::permissions(storeFile().parent_path(), std::filesystem::perms::owner_read |
                                                              std::filesystem::perms::owner_exec);
  auto s = open();
  s.setObject(2.0, "A");
  auto written = s.synchronize();
  ASSERT_FALSE(written.ok());
  EXPECT_NE(written.error().message, "");
  EXPECT_EQ(readStoreFile(), R"({"A": {"real": 1.0}})");
}

TEST_F(StoreTest, AFolderThatCannotBeCreatedFailsTheWrite) {
  // A file where the config folder should be: creating it fails even for root.
  std::ofstream(configHome() / "orbelune") << "in the way";
  auto s = open();
  s.setObject(2.0, "A");
  auto written = s.synchronize();
  ASSERT_FALSE(written.ok());
  EXPECT_NE(written.error().message.find("orbelune"), std::string::npos);
}

TEST_F(StoreTest, AWriteInterruptedBeforeTheRenameLeavesTheOldFileAndNoTemporary) {
  writeStoreFile(R"({"A": {"real": 1.0}})");
  auto failing = std::make_unique<test::FailingRenames>();
  auto s = open();
  s.setObject(2.0, "A");
  EXPECT_FALSE(s.synchronize());
  EXPECT_EQ(readStoreFile(), R"({"A": {"real": 1.0}})");
  int entries = 0;
  for (auto& e : std::filesystem::directory_iterator(storeFile().parent_path())) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 1);
  failing.reset();
  EXPECT_TRUE(s.synchronize());  // the change is still pending and lands now
  EXPECT_EQ(open().real("A"), 2.0);
}

TEST_F(StoreTest, TheStoreLivesUnderXdgConfigHomeOrHomeConfig) {
  EXPECT_EQ(ScreenSaverDefaults::configDirectory(), configHome() / "orbelune");
  setenv("XDG_CONFIG_HOME", "relative/path", 1);
  setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(ScreenSaverDefaults::configDirectory(), std::filesystem::path("/home/someone/.config/orbelune"));
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(ScreenSaverDefaults::fileForModule("m"), std::filesystem::path("/home/someone/.config/orbelune/m.json"));
  EXPECT_EQ(ScreenSaverDefaults::forModule("../escape"), nullptr);
  // Each call opens a store of its own: nothing is shared behind the caller's back.
  setenv("XDG_CONFIG_HOME", configHome().c_str(), 1);
  auto first = ScreenSaverDefaults::forModule("m");
  auto second = ScreenSaverDefaults::forModule("m");
  ASSERT_TRUE(first && second);
  EXPECT_NE(first, second);
  EXPECT_EQ(first->file(), configHome() / "orbelune" / "m.json");
  EXPECT_EQ(ScreenSaverDefaults::forModule(""), nullptr);
}

TEST(ColorArchiveTest, BothFormatsRoundTripAndRejectWhatIsNotTheirs) {
  const Color c{0.1, 0.25, 1.0 / 3.0, 0.5};
  EXPECT_EQ(KeyedUnarchiver::unarchiveColor(KeyedArchiver::archive(c)), c);
  EXPECT_EQ(Unarchiver::unarchive(Archiver::archive(c)), c);
  EXPECT_EQ(Archiver::archive(c).size(), 40u);
  // Each decoder refuses the other's format.
  EXPECT_EQ(KeyedUnarchiver::unarchiveColor(Archiver::archive(c)), std::nullopt);
  EXPECT_EQ(Unarchiver::unarchive(KeyedArchiver::archive(c)), std::nullopt);

  auto legacy = Archiver::archive(c);
  auto truncated = legacy;
  truncated.pop_back();
  EXPECT_EQ(Unarchiver::unarchive(truncated), std::nullopt);
  auto badVersion = legacy;
  badVersion[4] = 2;
  EXPECT_EQ(Unarchiver::unarchive(badVersion), std::nullopt);
  EXPECT_EQ(Unarchiver::unarchive(Archiver::archive({2, 0, 0, 1})), std::nullopt);
  EXPECT_EQ(Unarchiver::unarchive(Archiver::archive({NAN, 0, 0, 1})), std::nullopt);

  auto keyed = [](const std::string& s) { return KeyedUnarchiver::unarchiveColor(Bytes(s.begin(), s.end())); };
  const std::string root = R"("$archiver":"OrbeluneKeyedArchiver","$version":1,"root":)";
  EXPECT_EQ(keyed("{" + root + R"({"$class":"Color","space":"sRGB","red":1,"green":0,"blue":0,"alpha":1}})"),
            (Color{1, 0, 0, 1}));
  EXPECT_EQ(keyed("{" + root + R"({"$class":"Font","space":"sRGB","red":1,"green":0,"blue":0,"alpha":1}})"),
            std::nullopt);
  EXPECT_EQ(keyed("{" + root + R"({"$class":"Color","space":"sRGB","red":1,"green":0,"blue":0}})"), std::nullopt);
  EXPECT_EQ(keyed("{" + root + R"({"$class":"Color","space":"sRGB","red":-0.5,"green":0,"blue":0,"alpha":1}})"),
            std::nullopt);
  EXPECT_EQ(keyed("{" + root + R"({"$class":"Color","space":"sRGB","red":"1","green":0,"blue":0,"alpha":1}})"),
            std::nullopt);
  EXPECT_EQ(keyed(""), std::nullopt);
  EXPECT_EQ(keyed(std::string(5000, ' ')), std::nullopt);
}

}  // namespace
}  // namespace orbelune
