#include "support/coredll_answers.h"

#include <array>
#include <optional>

#include "wince_facts/max_path.h"

namespace kestrum {
namespace {

constexpr int32_t kLedOff = 0;
constexpr int32_t kLedBlink = 2;
constexpr std::size_t kMaxPath = MAX_PATH;

bool BlinkTimesAddUp(const NLED_SETTINGS_INFO& settings) {
  return settings.TotalCycleTime >= 0 && settings.OnTime >= 0 && settings.OffTime >= 0 &&
         settings.MetaCycleOn >= 0 && settings.MetaCycleOff >= 0 &&
         int64_t{settings.OnTime} + settings.OffTime <= settings.TotalCycleTime;
}

constexpr std::uint32_t FourCc(std::string_view text) {
  return std::uint32_t{static_cast<unsigned char>(text[0])} |
         std::uint32_t{static_cast<unsigned char>(text[1])} << 8 |
         std::uint32_t{static_cast<unsigned char>(text[2])} << 16 |
         std::uint32_t{static_cast<unsigned char>(text[3])} << 24;
}

constexpr std::uint32_t kRiffId = FourCc("RIFF");
constexpr std::uint32_t kWaveId = FourCc("WAVE");
constexpr std::uint32_t kFormatId = FourCc("fmt ");
constexpr std::uint32_t kDataId = FourCc("data");
constexpr std::int64_t kRiffHeaderSize = 12;  // RIFF_FILEHEADER
constexpr std::int64_t kChunkHeaderSize = 8;  // RIFF_CHUNKHEADER
constexpr std::uint32_t kPcmFormatSize = 16;  // sizeof(PCMWAVEFORMAT)
constexpr std::uint32_t kWaveFormatPcm = 1;

std::uint32_t LittleEndian(std::span<const unsigned char> bytes) {
  std::uint32_t value = 0;
  for (auto byte = bytes.rbegin(); byte != bytes.rend(); ++byte) value = value << 8 | *byte;
  return value;
}

struct Chunk {
  std::int64_t body;  // where its bytes start
  std::uint32_t size;
};

// ScanForChunk in wavefileparser.cpp. position is both the stream's place
// and the reader's count of bytes passed, which it compares with the RIFF
// size from the header: that size counts from offset 8 and the count from
// 0, so no header in the file's last 8 bytes is read (an empty "data" chunk
// at the very end is not found). A chunk is skipped by its declared size, no
// pad byte; the skip is SetFilePointer with no high word, so a size of 2 GiB
// or more is a negative distance, and one that would end before the start
// fails the seek. The two stay equal for any file under 4 GiB, the most a phone's FAT
// holds. A scan that comes back to where it stood would go round for ever on
// the phone, inside PlaySoundW; Brent's cycle check ends it here, as no sound.
std::optional<Chunk> ScanForChunk(const ReadFileAt& read_at, std::uint32_t id,
                                  std::int64_t position, std::uint32_t riff_size) {
  std::int64_t mark = position;
  std::uint64_t steps = 0;
  std::uint64_t lap = 1;
  while (position < riff_size) {
    std::array<unsigned char, kChunkHeaderSize> header{};
    if (read_at(static_cast<std::uint64_t>(position), header) != header.size()) return {};
    position += kChunkHeaderSize;
    const std::uint32_t size = LittleEndian(std::span(header).subspan(4));
    if (LittleEndian(std::span(header).first(4)) == id) return Chunk{position, size};
    position += static_cast<std::int32_t>(size);
    if (position < 0 || position == mark) return {};
    if (++steps == lap) {
      mark = position;
      lap *= 2;
      steps = 0;
    }
  }
  return {};
}

// QueryWaveFileInfo fails a format chunk below 14 bytes (WAVEFORMAT); one
// of 14 or 15 holds no wBitsPerSample, which the phone then reads from past
// the chunk's copy (wavelib.cpp copies a PCMWAVEFORMAT), whatever is there:
// here such a file is no sound. A chunk cut short by the file's end needs no
// check of its own: the scan for "data" starts past the end, and fails.
// The fields judged are those of CAudPlay::Open and the drivers (the header).
bool IsPlayedFormat(const ReadFileAt& read_at, const Chunk& format) {
  std::array<unsigned char, kPcmFormatSize> fields{};
  if (format.size < kPcmFormatSize ||
      read_at(static_cast<std::uint64_t>(format.body), fields) != fields.size()) {
    return false;
  }
  const std::span<const unsigned char> field(fields);
  const std::uint32_t channels = LittleEndian(field.subspan(2, 2));
  const std::uint32_t bits = LittleEndian(field.subspan(14, 2));
  return LittleEndian(field.first(2)) == kWaveFormatPcm && (channels == 1 || channels == 2) &&
         (bits == 8 || bits == 16) && LittleEndian(field.subspan(8, 4)) != 0 &&
         LittleEndian(field.subspan(12, 2)) != 0;
}

}  // namespace

// QueryWaveFileInfo in wavefileparser.cpp, followed exactly: the header,
// the first "fmt " chunk from offset 12, then "data" from the end of it.
SoundFile JudgeOpenedSoundFile(const ReadFileAt& read_at) {
  std::array<unsigned char, kRiffHeaderSize> header{};
  const std::span<const unsigned char> field(header);
  if (read_at(0, header) != header.size() || LittleEndian(field.first(4)) != kRiffId ||
      LittleEndian(field.subspan(8, 4)) != kWaveId) {
    return SoundFile::kNotPlayable;
  }
  const std::uint32_t riff_size = LittleEndian(field.subspan(4, 4));
  const auto format = ScanForChunk(read_at, kFormatId, kRiffHeaderSize, riff_size);
  if (!format || !IsPlayedFormat(read_at, *format)) return SoundFile::kNotPlayable;
  const bool data =
      ScanForChunk(read_at, kDataId, format->body + format->size, riff_size).has_value();
  return data ? SoundFile::kPlayable : SoundFile::kNotPlayable;
}

PlaySoundAnswer AnswerPlaySound(bool stop, DWORD flags, SoundFile found, bool has_default_sound) {
  if (stop) return {1, SoundPlayed::kNothing};
  if ((flags & kSndAlias) != 0 && (flags & SND_FILENAME) == 0) found = SoundFile::kAbsent;
  if (found == SoundFile::kPlayable) return {1, SoundPlayed::kFile};
  const bool falls_back = found == SoundFile::kAbsent && (flags & kSndNoDefault) == 0;
  if (falls_back && has_default_sound) return {1, SoundPlayed::kDefaultSound};
  return {0, SoundPlayed::kNothing};
}

FoundSound FindSoundFile(std::u16string_view name,
                         const std::function<SoundFile(std::u16string_view)>& kind_of) {
  const std::u16string as_given(name);
  for (const std::u16string& candidate : {as_given, as_given + u".wav", u"\\Windows\\" + as_given,
                                          u"\\Windows\\" + as_given + u".wav"}) {
    if (candidate.size() >= kMaxPath) continue;
    const SoundFile kind = kind_of(candidate);
    if (kind != SoundFile::kAbsent) return {kind, candidate};
  }
  return {};
}

BOOL AnswerNLedSetDevice(UINT id, const NLED_SETTINGS_INFO* settings) {
  if (id != NLED_SETTINGS_INFO_ID || settings == nullptr) return 0;
  if (settings->LedNum >= kPhoneLedCount) return 0;
  if (settings->OffOnBlink < kLedOff || settings->OffOnBlink > kLedBlink) return 0;
  return settings->OffOnBlink != kLedBlink || BlinkTimesAddUp(*settings) ? 1 : 0;
}

BOOL AnswerFreeLibrary(bool module_held) { return module_held ? 1 : 0; }

}  // namespace kestrum
