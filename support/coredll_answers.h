// How a phone's COREDLL answers the calls whose results the simulated
// platforms must give as the phone does. Written once: the host stand-ins,
// the recording platform of the unit tests and the emulated phone all answer
// through these; each only finds out what its phone holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/coredll.h"

namespace kestrum {

// PlaySoundW flags that the program never passes.
inline constexpr DWORD kSndNoDefault = 0x00000002;  // SND_NODEFAULT
inline constexpr DWORD kSndAlias = 0x00010000;      // SND_ALIAS

// What a phone holds under a sound's file name.
enum class SoundFile { kAbsent, kNotPlayable, kPlayable };
enum class SoundPlayed { kNothing, kFile, kDefaultSound };

struct PlaySoundAnswer {
  BOOL result;
  SoundPlayed played;
};

// PlaySoundW as the wave API manager serves it on Windows CE (its shared
// source, sndplay.cpp: sndPlaySound_I, LoadSoundInfo, AudiopGetName; and the
// CE 6 guide to PlaySound with waveform files: "If the specified file does
// not exist ..., the PlaySound function plays the default system sound. If
// you have not defined a default system sound, PlaySound fails without
// playing a sound."):
// - a null name stops any sound and succeeds;
// - a file that opens plays if it is a playable WAV; if not, the call fails
//   and no default sound stands in, since that choice was made on opening;
// - a name that opens no file plays the default sound ("SystemDefault") and
//   succeeds, unless SND_NODEFAULT is set or the phone has none: it fails.
// Not simulated: sound event aliases (an alias without SND_FILENAME finds
// nothing, and falls back as a missing file does), resources, and the
// muting of the volume settings.
PlaySoundAnswer AnswerPlaySound(bool stop, DWORD flags, SoundFile found, bool has_default_sound);

// Reads bytes of one file from offset into into; returns how many it read,
// fewer only at the file's end or on a read error.
using ReadFileAt = std::function<std::size_t(std::uint64_t offset, std::span<unsigned char> into)>;

// What the phone's wave reader found in a file it plays: PCM of these
// fields, whose samples are the data chunk's bytes.
struct PlayableSound {
  std::uint16_t channels;
  std::uint32_t samples_per_second;
  std::uint16_t bits_per_sample;
  std::uint64_t data_offset;
  std::uint32_t data_length;  // as declared; the file may end sooner
};

// Whether the phone plays a file that opens, as its wave API judges it once
// PlaySoundW has opened it (CE 7 shared source, wavelib: sndplay.cpp
// CSoundInfo::Play opens the player; audplay.cpp CAudPlay::Open reads the
// file with QueryWaveFileInfo, fails a zero nAvgBytesPerSec or nBlockAlign,
// and opens WAVE_MAPPER; a failure makes PlaySoundW fail, with no default
// sound). It plays when it is RIFF/WAVE (not RIFX), its format chunk, found
// as the reader finds it (coredll_answers.cpp), is one the phone's audio
// driver or its PCM converter takes, and a "data" chunk follows it:
// - PCM (tag 1) of 8 or 16 bits and 1 or 2 channels, and 100 to 192000
//   samples a second: the CE 5 and 6 A2DP wave driver (devctxt.cpp,
//   DeviceContext::IsSupportedFormat). WAVE_MAPPER opens the driver with
//   the file's format first, and only when it refuses tries the ACM
//   (wavelib mmwave.cpp, waveCommonOpen), whose converters keep the rate
//   (mmacm waveproxyacm.cpp DriverEnumCallback; pcm.c acmdFormatSuggest):
//   no converter rescues a rate the driver refuses.
// - nBlockAlign equal to channels times bytes per sample, nAvgBytesPerSec to
//   the rate times nBlockAlign: the CE 6 PCM converter (PCMCONV pcm.c,
//   pcmIsValidFormat), as Compact 7's ACM says they "should be"
//   (mmacm/acmfmt.cpp).
// No wave API or audio driver source of these phones (WM5/6, PXA270) is
// published, nor found for the PXA27x reference boards. Every published
// driver found takes these widths and channels; the rate's bounds are the
// platform's own drivers', where copies in other makers' board packages
// stop at 48000 or 96000: whether these phones' drivers refuse the rates
// between is not known. The block rules bind only where the converter is
// asked, which a driver that takes the format directly never does: such a
// phone would play a file whose blocks are wrong, with CAudPlay's buffers
// cut at the wrong sizes. Chosen: no sound here (low certainty for these
// phones), so that the owner hears the beep and saves the file again, as
// every phone plays it then. Nothing in wavelib knows
// WAVE_FORMAT_EXTENSIBLE. A compressed file (A-law, ADPCM, GSM) may play
// on a phone whose maker built in that ACM codec, and not on others; which
// codecs a phone has is not published, so here it is no sound.
std::optional<PlayableSound> JudgeOpenedSoundFile(const ReadFileAt& read_at);

struct FoundSound {
  SoundFile kind = SoundFile::kAbsent;
  std::u16string name;  // the name it was found under
};

// The lookup (AudiopGetName and g_aFormatString in sndplay.cpp) tries the
// name, then "<name>.wav", "\Windows\<name>" and "\Windows\<name>.wav", and
// skips each that does not fit its MAX_PATH buffer; kind_of tells what the
// phone holds under one name.
FoundSound FindSoundFile(std::u16string_view name,
                         const std::function<SoundFile(std::u16string_view)>& kind_of);

// The phone's notification LEDs: 0 the light, 1 the vibrator.
inline constexpr UINT kPhoneLedCount = 2;

// NLedSetDevice: COREDLL passes NLED_SETTINGS_INFO_ID on to the LED driver
// and fails any other id (ERROR_INVALID_PARAMETER); the driver
// (NLedDriverSetDevice, as the platform's BSP drivers check it) fails a
// null record, an LED it does not have, an OffOnBlink outside 0..2, and
// blink times that do not add up.
BOOL AnswerNLedSetDevice(UINT id, const NLED_SETTINGS_INFO* settings);

// MessageBeep queues the sound and returns: "If it cannot play the specified
// alert sound, MessageBeep attempts to play the system default sound. If it
// cannot play the system default sound, the function produces a standard
// beep sound" (the CE 5 reference), so it always has something to play.
inline constexpr BOOL kMessageBeepAnswer = 1;

// FreeLibrary fails for a handle that is no module this process holds a
// reference to (never loaded, already freed, null) and succeeds otherwise
// (FreeOneLibrary in the CE 5 kernel's loader.c).
BOOL AnswerFreeLibrary(bool module_held);

}  // namespace kestrum
