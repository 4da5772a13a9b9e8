// PlaySoundW answers as the phone's does (support/coredll_answers.h): a
// playable WAV plays, a file that is none fails, and a name that opens no
// file sounds the default sound, here the terminal bell. A WAV plays only
// asynchronously and when the default ALSA output opens now and takes its
// format; then ALSA's own player, aplay, plays it in its own session, so
// the sound outlives the program as it does on the phone, where the sound
// service plays it. aplay gets only the data chunk's bytes, as raw PCM of
// the fields the phone's reader found, from the file that was judged: it
// plays what the phone plays, however the file's other chunks are laid
// out. No shell and no PATH search ever see the file or pick the player.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <optional>
#include <string>
#include <string_view>

#include "platform/coredll.h"
#include "platform/host/default_output.h"
#include "platform/host/trace.h"
#include "support/coredll_answers.h"
#include "support/utf16_codec.h"

extern char** environ;

namespace {

using kestrum::PlayableSound;
using kestrum::SoundFile;

// The file found under one of the names, kept open when it is a sound, so
// that the bytes played are those judged.
class JudgedFile {
 public:
  JudgedFile() = default;
  ~JudgedFile() {
    if (descriptor_ >= 0) close(descriptor_);
  }
  JudgedFile(const JudgedFile&) = delete;
  JudgedFile& operator=(const JudgedFile&) = delete;

  void Keep(int descriptor, const PlayableSound& sound) {
    descriptor_ = descriptor;
    sound_ = sound;
  }
  int descriptor() const { return descriptor_; }
  const PlayableSound& sound() const { return sound_; }

 private:
  int descriptor_ = -1;
  PlayableSound sound_{};
};

// Fewer bytes only at the end of the file or on a read error (an offset
// before the file's start, as the scan may ask, is one: EINVAL).
std::size_t ReadAt(int descriptor, std::uint64_t offset, std::span<unsigned char> into) {
  std::size_t done = 0;
  while (done < into.size()) {
    const ssize_t got = pread(descriptor, into.data() + done, into.size() - done,
                              static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;  // a guard: no local file system interrupts
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

// The file's own bytes, read here: a sound library hides the fields the
// phone judges (libsndfile, say, gives extensible PCM the format of plain
// PCM, and a 12-bit width in a 16-bit container that of 16 bits).
std::optional<PlayableSound> JudgeRegularFile(int descriptor) {
  return kestrum::JudgeOpenedSoundFile(
      [descriptor](std::uint64_t offset, std::span<unsigned char> into) {
        return ReadAt(descriptor, offset, into);
      });
}

// What the phone would find under one of the names its lookup tries (those
// under \Windows name files in the current folder here, and names compare
// exactly, as in module_loading.cpp): it opens the file, and a name that
// opens nothing, or only a folder (which CreateFile does not open), holds no
// sound; so does a name that maps to no host path.
// O_NONBLOCK keeps a FIFO without a writer from blocking the open; only a
// regular file is read.
SoundFile WhatNameHolds(std::u16string_view name, JudgedFile& judged) {
  const std::optional<std::string> path = kestrum::Utf16ToBytes(name);
  if (!path) return SoundFile::kAbsent;
  const int descriptor = open(path->c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (descriptor < 0) return SoundFile::kAbsent;
  struct stat status {};
  const bool known = fstat(descriptor, &status) == 0;
  SoundFile kind = SoundFile::kNotPlayable;
  if (known && S_ISDIR(status.st_mode)) {
    kind = SoundFile::kAbsent;
  } else if (known && S_ISREG(status.st_mode)) {
    const std::optional<PlayableSound> sound = JudgeRegularFile(descriptor);
    if (sound) {
      judged.Keep(descriptor, *sound);
      return SoundFile::kPlayable;
    }
  }
  close(descriptor);
  return kind;
}

// Debian's alsa-utils puts it here; an absent player fails the call.
constexpr const char* kPlayer = "/usr/bin/aplay";

class SpawnSetup {
 public:
  SpawnSetup() {
    posix_spawnattr_init(&attributes_);
    posix_spawn_file_actions_init(&actions_);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attributes_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  // Own session: a hangup or Ctrl-C aimed at our terminal does not cut the
  // sound short. Signal dispositions and mask start clean. The samples come
  // on stdin, from the sound's file.
  bool Prepare(int samples) {
    sigset_t all;
    sigset_t none;
    sigfillset(&all);
    sigemptyset(&none);
    const short flags = POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    return posix_spawnattr_setflags(&attributes_, flags) == 0 &&
           posix_spawnattr_setsigdefault(&attributes_, &all) == 0 &&
           posix_spawnattr_setsigmask(&attributes_, &none) == 0 &&
           posix_spawn_file_actions_adddup2(&actions_, samples, STDIN_FILENO) == 0 &&
           posix_spawn_file_actions_addopen(&actions_, STDOUT_FILENO, "/dev/null", O_WRONLY, 0) ==
               0 &&
           posix_spawn_file_actions_addopen(&actions_, STDERR_FILENO, "/dev/null", O_WRONLY, 0) ==
               0;
  }

  const posix_spawnattr_t* Attributes() const { return &attributes_; }
  const posix_spawn_file_actions_t* Actions() const { return &actions_; }

 private:
  posix_spawnattr_t attributes_{};
  posix_spawn_file_actions_t actions_{};
};

// The player is not waited for: the pass ends within a second and the
// player, reparented then, is reaped by the system. -N: a device taken in
// the meantime ends the player instead of leaving it waiting for it. -s:
// whole frames of the data chunk, and not one byte of what follows it; the
// file may end sooner, as the phone's reader then stops too.
bool StartPlayer(const JudgedFile& judged, std::uint64_t frames) {
  const PlayableSound& sound = judged.sound();
  SpawnSetup setup;
  if (lseek(judged.descriptor(), static_cast<off_t>(sound.data_offset), SEEK_SET) < 0 ||
      !setup.Prepare(judged.descriptor())) {
    return false;
  }
  std::string words[] = {kPlayer,
                         "-q",
                         "-N",
                         "-t",
                         "raw",
                         "-f",
                         sound.bits_per_sample == 8 ? "U8" : "S16_LE",
                         "-c",
                         std::to_string(sound.channels),
                         "-r",
                         std::to_string(sound.samples_per_second),
                         "-s",
                         std::to_string(frames)};
  char* arguments[std::size(words) + 1] = {};
  for (std::size_t i = 0; i < std::size(words); ++i) arguments[i] = words[i].data();
  pid_t player = 0;
  return posix_spawn(&player, kPlayer, setup.Actions(), setup.Attributes(), arguments, environ) ==
         0;
}

// Why this machine does not play a sound the phone plays; empty once it
// started. An empty data chunk is a sound that is over once it started: aplay
// reads "-s 0" as no limit, so it is not started at all.
std::string_view PlayHere(const JudgedFile& judged, DWORD flags) {
  // Only asynchronous sounds are played here, which is all the program asks.
  if ((flags & SND_ASYNC) == 0) return "not-async";
  const PlayableSound& sound = judged.sound();
  switch (kestrum::CheckDefaultOutput(sound)) {
    case kestrum::DefaultOutput::kNoAlsa:
      return "no-alsa";
    case kestrum::DefaultOutput::kRefuses:
      return "no-output";
    case kestrum::DefaultOutput::kTakesIt:
      break;
  }
  const std::uint64_t frames = sound.data_length / (sound.channels * sound.bits_per_sample / 8U);
  return frames == 0 || StartPlayer(judged, frames) ? "" : "no-player";
}

}  // namespace

extern "C" BOOL PlaySoundW(LPCWSTR pszSound, HMODULE module, DWORD fdwSound) {
  const auto text = kestrum::Utf16View(pszSound);
  const bool stop = pszSound == nullptr;
  JudgedFile judged;
  const auto kind_of = [&judged](std::u16string_view name) { return WhatNameHolds(name, judged); };
  const kestrum::FoundSound found =
      stop ? kestrum::FoundSound{} : kestrum::FindSoundFile(text, kind_of);
  // The bell is always there to stand in for a missing file.
  kestrum::PlaySoundAnswer answer = kestrum::AnswerPlaySound(stop, fdwSound, found.kind, true);
  const std::string_view unplayed =
      answer.played == kestrum::SoundPlayed::kFile ? PlayHere(judged, fdwSound) : "";
  if (!unplayed.empty()) answer = {0, kestrum::SoundPlayed::kNothing};
  const std::string quoted = stop ? std::string("null") : kestrum::QuoteForTrace(text);
  const kestrum::TraceLine line = kestrum::PlaySoundLine(
      quoted, fdwSound, reinterpret_cast<uintptr_t>(module), answer, unplayed);
  if (answer.played == kestrum::SoundPlayed::kDefaultSound) {
    kestrum::WriteTraceWithBell(line);
  } else {
    kestrum::WriteTrace(line);
  }
  return answer.result;
}
