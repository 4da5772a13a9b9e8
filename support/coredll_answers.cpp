#include "support/coredll_answers.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "wince_facts/max_path.h"

namespace kestrum {
namespace {

constexpr int32_t kLedOff = 0;
constexpr int32_t kLedBlink = 2;

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

constexpr std::uint32_t kMinSamplesPerSecond = 100;
constexpr std::uint32_t kMaxSamplesPerSecond = 192000;

std::uint32_t LittleEndian(std::span<const unsigned char> bytes) {
  std::uint32_t value = 0;
  for (auto byte = bytes.rbegin(); byte != bytes.rend(); ++byte) value = value << 8 | *byte;
  return value;
}

// The file as the reader's walk reads it: one window at a time, so that a
// walk over chunks near each other costs one read per window, and a jump
// away reads no more than a small window. Of the sizes tried on the files of
// benchmarks/crafted_sounds.py, 1 KiB was near the fastest for far jumps
// (256 bytes hardly faster, 16 KiB twice as slow) and 1 MiB the fastest for
// a long walk (64 KiB a third slower on a sparse 4 GiB file).
class FileBytes {
 public:
  explicit FileBytes(const ReadFileAt& read_at) : read_at_(read_at) {}

  // The bytes at offset, as far as the window holds them (at least count,
  // or the file has fewer); empty where the file has fewer.
  std::span<const unsigned char> At(std::int64_t offset, std::int64_t count) {
    const auto wanted = static_cast<std::size_t>(count);
    // Before the window, the difference wraps past any filled length.
    const auto from = static_cast<std::uint64_t>(offset - start_);
    if (from < filled_ && filled_ - from >= wanted) return Window().subspan(from);
    Fill(offset);
    return filled_ >= wanted ? Window() : std::span<const unsigned char>();
  }

  // Where 8-byte steps from offset over zero bytes end: at the first 8 bytes
  // that are not all zero, or where fewer than 8 remain.
  std::int64_t PastZeros(std::int64_t offset) {
    for (auto bytes = At(offset, kWord); !bytes.empty(); bytes = At(offset, kWord)) {
      std::size_t zeros = 0;
      std::uint64_t word = 0;
      while (bytes.size() - zeros >= kWord &&
             (std::memcpy(&word, bytes.data() + zeros, kWord), word == 0)) {
        zeros += kWord;
      }
      offset += static_cast<std::int64_t>(zeros);
      if (bytes.size() - zeros >= kWord) break;
    }
    return offset;
  }

 private:
  static constexpr std::size_t kWord = sizeof(std::uint64_t);
  static constexpr std::size_t kSmallest = 1024;
  static constexpr std::size_t kLargest = std::size_t{1024} * 1024;

  std::span<const unsigned char> Window() const { return std::span(window_).first(filled_); }

  // Reading on where the window ends doubles the next window; a jump
  // anywhere else starts small again. Before the start of the file (a
  // chunk skipped backwards too far) is past its end for read_at.
  void Fill(std::int64_t offset) {
    const bool onwards = offset >= start_ && offset - start_ < static_cast<std::int64_t>(2 * size_);
    size_ = onwards ? std::min(2 * size_, kLargest) : kSmallest;
    window_.resize(size_);
    start_ = offset;
    filled_ = read_at_(static_cast<std::uint64_t>(offset), window_);
  }

  const ReadFileAt& read_at_;
  std::vector<unsigned char> window_;
  std::int64_t start_ = 0;
  std::size_t filled_ = 0;
  std::size_t size_ = kSmallest / 2;
};

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
// fails the seek, as the read there fails here. The two stay equal for any
// file under 4 GiB, the most a phone's FAT holds. A scan that comes back to
// where it stood would go round for ever on the phone, inside PlaySoundW;
// Brent's cycle check ends it here, as no sound.
std::optional<Chunk> ScanForChunk(FileBytes& file, std::uint32_t id, std::int64_t position,
                                  std::uint32_t riff_size) {
  std::int64_t mark = position;
  std::uint64_t steps = 0;
  std::uint64_t lap = 1;
  while (position < riff_size) {
    const std::span<const unsigned char> header = file.At(position, kChunkHeaderSize);
    if (header.empty()) return {};
    const std::uint32_t name = LittleEndian(header.first(4));
    const std::uint32_t size = LittleEndian(header.subspan(4, 4));
    if (name == 0 && size == 0) {
      // Empty chunks named by zeros (a sparse file's holes) never match; a
      // run of them is one step here, which ends where the run does.
      position = file.PastZeros(position);
    } else if (name == id) {
      return Chunk{position + kChunkHeaderSize, size};
    } else {
      position += kChunkHeaderSize + static_cast<std::int32_t>(size);
    }
    if (position == mark) return {};
    if (++steps == lap) {
      mark = position;
      lap *= 2;
      steps = 0;
    }
  }
  return {};
}

bool IsPlayedRate(std::uint32_t samples_per_second) {
  return samples_per_second >= kMinSamplesPerSecond && samples_per_second <= kMaxSamplesPerSecond;
}

// QueryWaveFileInfo fails a format chunk below 14 bytes (WAVEFORMAT); one
// of 14 or 15 holds no wBitsPerSample, which the phone then reads from past
// the chunk's copy (wavelib.cpp copies a PCMWAVEFORMAT), whatever is there:
// here such a file is no sound. A chunk cut short by the file's end needs no
// check of its own: the scan for "data" starts past the end, and fails.
// The fields judged are the drivers' and the converter's (the header).
std::optional<PlayableSound> PlayedFormat(FileBytes& file, const Chunk& format) {
  if (format.size < kPcmFormatSize) return {};
  const std::span<const unsigned char> field = file.At(format.body, kPcmFormatSize);
  if (field.empty()) return {};
  const std::uint32_t channels = LittleEndian(field.subspan(2, 2));
  const std::uint32_t rate = LittleEndian(field.subspan(4, 4));
  const std::uint32_t bits = LittleEndian(field.subspan(14, 2));
  const std::uint32_t block = LittleEndian(field.subspan(12, 2));
  if (LittleEndian(field.first(2)) != kWaveFormatPcm || (channels != 1 && channels != 2) ||
      (bits != 8 && bits != 16) || !IsPlayedRate(rate) || block != channels * bits / 8 ||
      LittleEndian(field.subspan(8, 4)) != rate * block) {
    return {};
  }
  return PlayableSound{static_cast<std::uint16_t>(channels), rate, static_cast<std::uint16_t>(bits),
                       0, 0};
}

}  // namespace

// QueryWaveFileInfo in wavefileparser.cpp, followed exactly: the header,
// the first "fmt " chunk from offset 12, then "data" from the end of it.
std::optional<PlayableSound> JudgeOpenedSoundFile(const ReadFileAt& read_at) {
  FileBytes file(read_at);
  const std::span<const unsigned char> header = file.At(0, kRiffHeaderSize);
  if (header.empty() || LittleEndian(header.first(4)) != kRiffId ||
      LittleEndian(header.subspan(8, 4)) != kWaveId) {
    return {};
  }
  const std::uint32_t riff_size = LittleEndian(header.subspan(4, 4));
  const auto format = ScanForChunk(file, kFormatId, kRiffHeaderSize, riff_size);
  if (!format) return {};
  std::optional<PlayableSound> sound = PlayedFormat(file, *format);
  const auto data =
      sound ? ScanForChunk(file, kDataId, format->body + format->size, riff_size) : std::nullopt;
  if (!data) return {};
  sound->data_offset = static_cast<std::uint64_t>(data->body);
  sound->data_length = data->size;
  return sound;
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
    if (candidate.size() >= MAX_PATH) continue;
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
