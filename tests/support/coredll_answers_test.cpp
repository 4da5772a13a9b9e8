#include "support/coredll_answers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
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

std::optional<PlayableSound> Judge(const std::string& file) {
  return JudgeOpenedSoundFile([&file](std::uint64_t offset, std::span<unsigned char> into) {
    const auto at = static_cast<std::size_t>(std::min<std::uint64_t>(offset, file.size()));
    return file.copy(reinterpret_cast<char*>(into.data()), into.size(), at);
  });
}

std::string Format(std::uint32_t tag, std::uint32_t channels, std::uint32_t rate,
                   std::uint32_t bytes_per_second, std::uint32_t block, std::uint32_t bits) {
  return "fmt " + Le(16, 4) + Le(tag, 2) + Le(channels, 2) + Le(rate, 4) + Le(bytes_per_second, 4) +
         Le(block, 2) + Le(bits, 2);
}

// Tags and widths beyond these: the host's PlaySoundCalls tests.
TEST(JudgeOpenedSoundFile, ReadsTheFileAsThePhonesWaveReaderDoes) {
  const std::string pcm = Format(1, 1, 8000, 16000, 2, 16);
  const std::string data = "data" + Le(2, 4) + std::string(2, '\0');
  const struct {
    std::string file;
    bool plays;
  } cases[] = {
      {Riff(pcm + data), true},
      {"RIFF" + Le(40, 4) + "WAVX" + pcm + data, false},
      {Riff(Format(1, 2, 8000, 16000, 2, 8) + data), true},
      {Riff(Format(1, 3, 8000, 48000, 6, 16) + data), false},
      {Riff(Format(1, 0, 8000, 0, 0, 16) + data), false},
      // the driver's rates
      {Riff(Format(1, 1, 99, 198, 2, 16) + data), false},
      {Riff(Format(1, 1, 100, 200, 2, 16) + data), true},
      {Riff(Format(1, 1, 192000, 384000, 2, 16) + data), true},
      {Riff(Format(1, 1, 192001, 384002, 2, 16) + data), false},
      // the converter's blocks
      {Riff(Format(1, 1, 8000, 24000, 3, 16) + data), false},
      {Riff(Format(1, 1, 8000, 16001, 2, 16) + data), false},
      {Riff(With(pcm, 16, Le(0, 4)) + data), false},  // no nAvgBytesPerSec
      {Riff(With(pcm, 20, Le(0, 2)) + data), false},  // no nBlockAlign
      // 14 bytes, then what would read as 16 bits
      {Riff(With(pcm, 4, Le(14, 4)).substr(0, 22) + std::string("\x10\0ab", 4) + Le(0, 4) + data),
       false},
      {Riff(With(pcm, 4, Le(18, 4)) + data), false},  // declares more than it holds
      {Riff("LIST" + Le(99999, 4) + std::string(99999, 'x') + pcm + data), true},  // no pad byte
      {Riff("LIST" + Le(99999, 4) + std::string(99999, 'x') + '\0' + pcm + data), false},
      {Riff(pcm + data, 1), true},   // the RIFF size is the data header's offset + 1
      {Riff(pcm + data, 2), false},  // + 0, as where an empty "data" chunk ends the file
      {Riff(data + pcm), false},     // "data" is looked for after the format only
      // back to the format chunk that the first chunk skipped, near and far
      {Riff("JUNK" + Le(34, 4) + pcm + data + "back" + Le(-42U, 4) + "x"), true},
      {Riff("JUNK" + Le(5034, 4) + pcm + data + std::string(5000, 'x') + "back" + Le(-5042U, 4) +
            "x"),
       true},
      {Riff("JUNK" + Le(0x80000000U, 4) + pcm + data), false},  // back past the start
      // 20 -> 28 -> 20 ...: the phone's scan would never end
      {Riff("JUNK" + Le(0, 4) + "ping" + Le(0, 4) + "back" + Le(-16U, 4) + pcm + data), false},
      // empty chunks named by zeros, 8 bytes each, and a loop through them
      {Riff(std::string(5000, '\0') + pcm + data), true},
      {Riff(std::string(5004, '\0') + pcm + data), false},
      {Riff(std::string(64, '\0') + "back" + Le(-72U, 4) + pcm + data), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Judge(c.file).has_value(), c.plays) << &c - cases;
  }
}

// Past an odd chunk with no pad byte before the format and one after it.
TEST(JudgeOpenedSoundFile, GivesTheFormatAndWhereTheSamplesLie) {
  const std::string chunks = "LIST" + Le(3, 4) + "abc" + Format(1, 2, 22050, 44100, 2, 8) + "JUNK" +
                             Le(5, 4) + "12345" + "data" + Le(6, 4) + "samples";
  const std::optional<PlayableSound> sound = Judge(Riff(chunks));
  ASSERT_TRUE(sound);
  EXPECT_EQ(std::tuple(sound->channels, sound->samples_per_second, sound->bits_per_sample,
                       sound->data_offset, sound->data_length),
            std::tuple(2, 22050U, 8, 68U, 6U));
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
