#include "support/coredll_answers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace kestrum {
namespace {

constexpr DWORD kFileAsync = SND_FILENAME | SND_ASYNC;

struct SoundCase {
  bool stop;
  DWORD flags;
  SoundFile found;
  bool has_default;
  BOOL result;
  SoundPlayed played;
};

TEST(AnswerPlaySound, FallsBackToTheDefaultSoundOnlyForAMissingFile) {
  const SoundCase cases[] = {
      {true, kFileAsync, SoundFile::kAbsent, false, 1, SoundPlayed::kNothing},
      {false, kFileAsync, SoundFile::kPlayable, false, 1, SoundPlayed::kFile},
      {false, kFileAsync, SoundFile::kNotPlayable, true, 0, SoundPlayed::kNothing},
      {false, kFileAsync, SoundFile::kAbsent, true, 1, SoundPlayed::kDefaultSound},
      {false, kFileAsync, SoundFile::kAbsent, false, 0, SoundPlayed::kNothing},
      {false, kFileAsync | kSndNoDefault, SoundFile::kAbsent, true, 0, SoundPlayed::kNothing},
      {false, kSndAlias | SND_ASYNC, SoundFile::kPlayable, true, 1, SoundPlayed::kDefaultSound},
      {false, kSndAlias | kFileAsync, SoundFile::kPlayable, true, 1, SoundPlayed::kFile},
  };
  for (const SoundCase& c : cases) {
    const PlaySoundAnswer answer = AnswerPlaySound(c.stop, c.flags, c.found, c.has_default);
    EXPECT_EQ(answer.result, c.result) << &c - cases;
    EXPECT_EQ(answer.played, c.played) << &c - cases;
  }
}

// A name its buffer cannot hold is not looked up at all.
TEST(FindSoundFile, TriesTheNamesOfThePhonesLookupInOrder) {
  std::vector<std::u16string> asked;
  const auto only_windows = [&asked](std::u16string_view name) {
    asked.emplace_back(name);
    return name == u"\\Windows\\x" ? SoundFile::kNotPlayable : SoundFile::kAbsent;
  };
  const FoundSound found = FindSoundFile(u"x", only_windows);
  EXPECT_EQ(found.kind, SoundFile::kNotPlayable);
  EXPECT_EQ(found.name, u"\\Windows\\x");
  EXPECT_EQ(asked, (std::vector<std::u16string>{u"x", u"x.wav", u"\\Windows\\x"}));
  asked.clear();
  EXPECT_EQ(FindSoundFile(std::u16string(251, u'x'), only_windows).kind, SoundFile::kAbsent);
  EXPECT_EQ(asked.size(), 2u);  // 251 and 255 units fit; 260 and 264 do not
}

std::string Le(std::uint32_t value, int size) {
  std::string bytes;
  for (int i = 0; i < size; ++i) bytes += static_cast<char>(value >> (8 * i));
  return bytes;
}

std::string Riff(const std::string& chunks, std::uint32_t size_short_by = 0) {
  return "RIFF" + Le(static_cast<std::uint32_t>(4 + chunks.size()) - size_short_by, 4) + "WAVE" +
         chunks;
}

std::string With(std::string bytes, std::size_t at, const std::string& patch) {
  return bytes.replace(at, patch.size(), patch);
}

SoundFile Judge(const std::string& file) {
  return JudgeOpenedSoundFile([&file](std::uint64_t offset, std::span<unsigned char> into) {
    const auto at = static_cast<std::size_t>(std::min<std::uint64_t>(offset, file.size()));
    return file.copy(reinterpret_cast<char*>(into.data()), into.size(), at);
  });
}

// Tags and widths beyond these: the host's PlaySoundCalls tests.
TEST(JudgeOpenedSoundFile, ReadsTheFileAsThePhonesWaveReaderDoes) {
  // PCM, mono, 8 kHz, 16 bits
  const std::string pcm =
      "fmt " + Le(16, 4) + Le(1, 2) + Le(1, 2) + Le(8000, 4) + Le(16000, 4) + Le(2, 2) + Le(16, 2);
  const std::string data = "data" + Le(2, 4) + std::string(2, '\0');
  const struct {
    std::string file;
    bool plays;
  } cases[] = {
      {Riff(pcm + data), true},
      {Riff(With(With(pcm, 10, Le(2, 2)), 22, Le(8, 2)) + data), true},  // stereo, 8 bits
      {Riff(With(pcm, 10, Le(3, 2)) + data), false},                     // 3 channels
      {Riff(With(pcm, 16, Le(0, 4)) + data), false},                     // no nAvgBytesPerSec
      {Riff(With(pcm, 20, Le(0, 2)) + data), false},                     // no nBlockAlign
      // 14 bytes, then what would read as 16 bits
      {Riff(With(pcm, 4, Le(14, 4)).substr(0, 22) + std::string("\x10\0ab", 4) + Le(0, 4) + data),
       false},
      {Riff(With(pcm, 4, Le(18, 4)) + data), false},  // declares more than it holds
      {Riff("LIST" + Le(99999, 4) + std::string(99999, 'x') + pcm + data), true},  // no pad byte
      {Riff("LIST" + Le(99999, 4) + std::string(99999, 'x') + '\0' + pcm + data), false},
      {Riff(pcm + data, 1), true},   // the RIFF size is the data header's offset + 1
      {Riff(pcm + data, 2), false},  // + 0, as where an empty "data" chunk ends the file
      {Riff(data + pcm), false},     // "data" is looked for after the format only
      // back 42 bytes, to the format chunk that the first chunk skipped
      {Riff("JUNK" + Le(34, 4) + pcm + data + "back" + Le(-42U, 4) + "x"), true},
      // 20 -> 28 -> 20 ...: the phone's scan would never end
      {Riff("JUNK" + Le(0, 4) + "ping" + Le(0, 4) + "back" + Le(-16U, 4) + pcm + data), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Judge(c.file), c.plays ? SoundFile::kPlayable : SoundFile::kNotPlayable)
        << &c - cases;
  }
}

TEST(AnswerNLedSetDevice, FailsWhatTheDriverRefuses) {
  const NLED_SETTINGS_INFO vibrator_on = {1, 1, 0, 0, 0, 0, 0};
  const NLED_SETTINGS_INFO blink = {0, 2, 1000, 400, 600, 0, 0};
  EXPECT_EQ(AnswerNLedSetDevice(NLED_SETTINGS_INFO_ID, &vibrator_on), 1);
  EXPECT_EQ(AnswerNLedSetDevice(NLED_SETTINGS_INFO_ID, &blink), 1);
  const NLED_SETTINGS_INFO refused[] = {
      {2, 1, 0, 0, 0, 0, 0},  // no third LED
      {1, 3, 0, 0, 0, 0, 0},  // no such state
      {1, -1, 0, 0, 0, 0, 0},
      {0, 2, 1000, 500, 600, 0, 0},    // on and off outlast the cycle
      {0, 2, 1000, 400, 600, -1, 0}};  // a negative meta cycle
  for (const NLED_SETTINGS_INFO& settings : refused) {
    EXPECT_EQ(AnswerNLedSetDevice(NLED_SETTINGS_INFO_ID, &settings), 0) << &settings - refused;
  }
  EXPECT_EQ(AnswerNLedSetDevice(NLED_SETTINGS_INFO_ID, nullptr), 0);
  EXPECT_EQ(AnswerNLedSetDevice(5, &vibrator_on), 0);
}

}  // namespace
}  // namespace kestrum
