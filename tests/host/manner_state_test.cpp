#include "platform/host/shphonelib/manner_state.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tests/host/stderr_capture.h"

namespace kestrum {
namespace {

class MannerStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/kestrum-state-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    root_ = name;
    folder_ = root_ + "/kestrum";
  }
  void TearDown() override { std::filesystem::remove_all(root_); }

  std::string FilePath() const { return folder_ + "/manner-mode"; }

  void WriteFile(const std::string& content) const {
    mkdir(folder_.c_str(), 0700);
    std::ofstream(FilePath(), std::ios::binary) << content;
  }

  std::string ReadFile() const {
    std::ifstream in(FilePath(), std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
  }

  int EntriesInFolder() const {
    DIR* dir = opendir(folder_.c_str());
    int count = 0;
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") ++count;
    }
    closedir(dir);
    return count;
  }

  bool Exists(const std::string& name) const {
    struct stat status {};
    return lstat((folder_ + "/" + name).c_str(), &status) == 0;
  }

  std::string root_;
  std::string folder_;
};

TEST(MannerStateParse, TakesOneDecimalInt32) {
  EXPECT_EQ(ParseMannerMode("0\n"), 0);
  EXPECT_EQ(ParseMannerMode("1"), 1);
  EXPECT_EQ(ParseMannerMode("-2147483648\n"), INT32_MIN);
  for (const char* bad : {"", "\n", "+1", " 1", "1 ", "1\n\n", "2147483648", "0x1", "on"}) {
    EXPECT_FALSE(ParseMannerMode(bad).has_value()) << bad;
  }
  EXPECT_FALSE(ParseMannerMode(std::string_view("1\0", 2)).has_value());
}

TEST(MannerStateFolderTest, FollowsXdgThenHome) {
  const std::string saved_state =
      std::getenv("XDG_STATE_HOME") ? std::getenv("XDG_STATE_HOME") : "";
  const std::string saved_home = std::getenv("HOME") ? std::getenv("HOME") : "";
  setenv("XDG_STATE_HOME", "/x/state", 1);
  setenv("HOME", "/h", 1);
  EXPECT_EQ(MannerStateFolder(), "/x/state/kestrum");
  setenv("XDG_STATE_HOME", "relative", 1);  // not absolute: ignored, as XDG says
  EXPECT_EQ(MannerStateFolder(), "/h/.local/state/kestrum");
  unsetenv("XDG_STATE_HOME");
  setenv("HOME", "", 1);
  EXPECT_FALSE(MannerStateFolder().has_value());
  setenv("HOME", saved_home.c_str(), 1);
  if (!saved_state.empty()) setenv("XDG_STATE_HOME", saved_state.c_str(), 1);
}

TEST_F(MannerStateTest, MissingFileIsOffWithoutComplaint) {
  StderrCapture capture;
  EXPECT_EQ(LoadMannerMode(folder_), 0);
  EXPECT_EQ(capture.Text(), "");
}

TEST_F(MannerStateTest, StoredValuesComeBackAndLeaveNoTemporaryFile) {
  for (int32_t value : {1, 0, -7, 1}) {
    ASSERT_TRUE(StoreMannerMode(folder_, value));
    EXPECT_EQ(LoadMannerMode(folder_), value);
  }
  EXPECT_EQ(ReadFile(), "1\n");
  EXPECT_EQ(EntriesInFolder(), 1);
  struct stat status {};
  ASSERT_EQ(stat(folder_.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0700u);
}

TEST_F(MannerStateTest, GarbledOrOddFilesAreReportedAndReadAsOff) {
  for (const std::string& content : std::vector<std::string>{
           "", "yes\n", "1\n2\n", std::string(4096, '1'), std::string("\0", 1)}) {
    WriteFile(content);
    StderrCapture capture;
    EXPECT_EQ(LoadMannerMode(folder_), 0);
    EXPECT_NE(capture.Text().find("garbled manner mode"), std::string::npos);
  }
  unlink(FilePath().c_str());
  ASSERT_EQ(mkdir(FilePath().c_str(), 0700), 0);
  StderrCapture capture;
  EXPECT_EQ(LoadMannerMode(folder_), 0);
  EXPECT_NE(capture.Text().find(FilePath()), std::string::npos);
}

// Neither read without blocking nor written through: the next value
// replaces whatever stood in the file's place.
TEST_F(MannerStateTest, FifoOrLinkInPlaceOfTheFileIsNotReadAndGetsReplaced) {
  mkdir(folder_.c_str(), 0700);
  for (const bool fifo : {true, false}) {
    ASSERT_EQ(fifo ? mkfifo(FilePath().c_str(), 0600) : symlink("/dev/zero", FilePath().c_str()),
              0);
    StderrCapture capture;
    EXPECT_EQ(LoadMannerMode(folder_), 0);
    EXPECT_NE(capture.Text().find("garbled"), std::string::npos);
    ASSERT_TRUE(StoreMannerMode(folder_, 1));
    struct stat status {};
    ASSERT_EQ(lstat(FilePath().c_str(), &status), 0);
    EXPECT_TRUE(S_ISREG(status.st_mode)) << fifo;
    EXPECT_EQ(ReadFile(), "1\n");
    unlink(FilePath().c_str());
  }
}

TEST_F(MannerStateTest, FailedWriteIsReportedAndLeavesNoTemporaryFile) {
  ASSERT_TRUE(StoreMannerMode(folder_, 1));
  ASSERT_EQ(rename(FilePath().c_str(), (root_ + "/saved").c_str()), 0);
  ASSERT_EQ(mkdir(FilePath().c_str(), 0700), 0);  // rename cannot replace a folder
  const std::string blocker = FilePath() + "/x";
  std::ofstream(blocker) << "x";
  {
    StderrCapture capture;
    EXPECT_FALSE(StoreMannerMode(folder_, 0));
    EXPECT_NE(capture.Text().find("cannot store manner mode"), std::string::npos);
  }
  EXPECT_EQ(EntriesInFolder(), 1);  // the temporary file was removed

  const std::string file_as_folder = root_ + "/plain-file";
  std::ofstream(file_as_folder) << "x";
  StderrCapture capture;
  EXPECT_FALSE(StoreMannerMode(file_as_folder + "/kestrum", 0));
  EXPECT_NE(capture.Text().find("cannot store manner mode"), std::string::npos);
}

// Only regular files named exactly as mkostemp names ours are left-overs.
TEST_F(MannerStateTest, NextWriteRemovesLeftTemporariesAndNothingElse) {
  ASSERT_TRUE(StoreMannerMode(folder_, 0));
  const std::string outside = root_ + "/outside";
  std::ofstream(outside) << "keep";
  for (const char* name : {".manner-mode.Ab3xY9", ".manner-mode.000000"}) {
    std::ofstream(folder_ + "/" + name) << "1\n";
  }
  const std::vector<std::string> others = {
      ".manner-mode.abcde", ".manner-mode.abcdefg", ".manner-mode.ab-def", ".manner-mode.ab.def",
      "manner-mode.abcdef", ".manner-mode.",        ".manner-modeXabcdef", "notes.txt"};
  for (const std::string& name : others) std::ofstream(folder_ + "/" + name) << "x";
  ASSERT_EQ(mkdir((folder_ + "/.manner-mode.folder").c_str(), 0700), 0);
  ASSERT_EQ(symlink(outside.c_str(), (folder_ + "/.manner-mode.linked").c_str()), 0);

  ASSERT_TRUE(StoreMannerMode(folder_, 1));
  EXPECT_FALSE(Exists(".manner-mode.Ab3xY9"));
  EXPECT_FALSE(Exists(".manner-mode.000000"));
  for (const std::string& name : others) EXPECT_TRUE(Exists(name)) << name;
  EXPECT_TRUE(Exists(".manner-mode.folder"));
  EXPECT_TRUE(Exists(".manner-mode.linked"));
  std::ifstream kept(outside);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "keep");
  EXPECT_EQ(ReadFile(), "1\n");
}

// A writer between creating its file and renaming it holds the folder's lock
// shared; its file is not a left-over.
TEST_F(MannerStateTest, TemporaryOfAWriterStillAtWorkIsKept) {
  ASSERT_TRUE(StoreMannerMode(folder_, 0));
  std::ofstream(folder_ + "/.manner-mode.busy01") << "1\n";
  const int writer = open(folder_.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_EQ(flock(writer, LOCK_SH), 0);
  ASSERT_TRUE(StoreMannerMode(folder_, 1));
  EXPECT_TRUE(Exists(".manner-mode.busy01"));
  close(writer);
  ASSERT_TRUE(StoreMannerMode(folder_, 0));
  EXPECT_FALSE(Exists(".manner-mode.busy01"));
  EXPECT_EQ(EntriesInFolder(), 1);
}

// A writer killed at random moments must always leave a whole value behind,
// and the next write clears what the kills left.
TEST_F(MannerStateTest, KilledWriterLeavesOldOrNewValue) {
  ASSERT_TRUE(StoreMannerMode(folder_, 0));
  std::mt19937 random(11);
  std::uniform_int_distribution<int> delay_us(0, 3000);
  for (int round = 0; round < 30; ++round) {
    const pid_t writer = fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
      for (int32_t value = 0;; value ^= 1) StoreMannerMode(folder_, value);
    }
    usleep(static_cast<useconds_t>(delay_us(random)));
    kill(writer, SIGKILL);
    waitpid(writer, nullptr, 0);
    const std::string content = ReadFile();
    ASSERT_TRUE(content == "0\n" || content == "1\n")
        << "round " << round << ": '" << content << "'";
  }
  ASSERT_TRUE(StoreMannerMode(folder_, 1));
  EXPECT_EQ(EntriesInFolder(), 1);
}

}  // namespace
}  // namespace kestrum
