// PlaySoundW answers as the phone's does (support/coredll_answers.h): a
// playable WAV plays, a file that is none fails, and a name that opens no
// file sounds the default sound, here the terminal bell. A WAV plays only
// asynchronously and when the default ALSA output opens now; then ALSA's
// own player, aplay, plays it in its own session, so the sound outlives
// the program as it does on the phone, where the sound service plays it.
// aplay rather than a playback loop of our own: it is the maintained player
// and handles every PCM layout. No shell and no PATH search ever see the
// path or pick the player.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <optional>
#include <string>

#include "platform/coredll.h"
#include "platform/host/default_output.h"
#include "platform/host/file_window.h"
#include "platform/host/trace.h"
#include "support/coredll_answers.h"
#include "support/utf16_codec.h"

extern char** environ;

namespace {

using kestrum::SoundFile;

// The file's own bytes, read here: a sound library hides the fields the
// phone judges (libsndfile, say, gives extensible PCM the format of plain
// PCM, and a 12-bit width in a 16-bit container that of 16 bits).
SoundFile JudgeRegularFile(int descriptor) {
  kestrum::FileWindow file(descriptor);
  return kestrum::JudgeOpenedSoundFile(
      [&file](std::uint64_t offset, std::span<unsigned char> into) {
        return file.Read(offset, into);
      });
}

// What the phone would find under one of the names its lookup tries (those
// under \Windows name files in the current folder here, and names compare
// exactly, as in module_loading.cpp): it opens the file, and a name that
// opens nothing, or only a folder (which CreateFile does not open), holds no
// sound; so does a name that maps to no host path.
// O_NONBLOCK keeps a FIFO without a writer from blocking the open; only a
// regular file is read.
SoundFile WhatNameHolds(std::u16string_view name) {
  const std::optional<std::string> bytes = kestrum::Utf16ToBytes(name);
  if (!bytes) return SoundFile::kAbsent;
  const std::string& path = *bytes;
  const int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (descriptor < 0) return SoundFile::kAbsent;
  struct stat status {};
  const bool known = fstat(descriptor, &status) == 0;
  SoundFile kind = SoundFile::kNotPlayable;
  if (known && S_ISDIR(status.st_mode)) {
    kind = SoundFile::kAbsent;
  } else if (known && S_ISREG(status.st_mode)) {
    kind = JudgeRegularFile(descriptor);
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
  // sound short. Signal dispositions and mask start clean.
  bool Prepare() {
    sigset_t all;
    sigset_t none;
    sigfillset(&all);
    sigemptyset(&none);
    const short flags = POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    return posix_spawnattr_setflags(&attributes_, flags) == 0 &&
           posix_spawnattr_setsigdefault(&attributes_, &all) == 0 &&
           posix_spawnattr_setsigmask(&attributes_, &none) == 0 &&
           posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0) ==
               0 &&
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
// the meantime ends the player instead of leaving it waiting for it.
bool StartPlayer(const std::string& path) {
  SpawnSetup setup;
  if (!setup.Prepare()) return false;
  std::string program = kPlayer;
  std::string quiet = "-q";
  std::string nonblocking = "-N";
  std::string end_of_options = "--";
  std::string file = path;
  char* arguments[] = {program.data(),        quiet.data(), nonblocking.data(),
                       end_of_options.data(), file.data(),  nullptr};
  pid_t player = 0;
  return posix_spawn(&player, kPlayer, setup.Actions(), setup.Attributes(), arguments, environ) ==
         0;
}

}  // namespace

extern "C" BOOL PlaySoundW(LPCWSTR pszSound, HMODULE, DWORD fdwSound) {
  const auto text = kestrum::Utf16View(pszSound);
  const bool stop = pszSound == nullptr;
  const kestrum::FoundSound found =
      stop ? kestrum::FoundSound{} : kestrum::FindSoundFile(text, WhatNameHolds);
  // The bell is always there to stand in for a missing file.
  kestrum::PlaySoundAnswer answer = kestrum::AnswerPlaySound(stop, fdwSound, found.kind, true);
  // Only asynchronous sounds are played here, which is all the program asks.
  const bool async = (fdwSound & SND_ASYNC) != 0;
  const std::optional<std::string> path = kestrum::Utf16ToBytes(found.name);
  if (answer.played == kestrum::SoundPlayed::kFile &&
      !(async && path && kestrum::CanOpenDefaultOutput() && StartPlayer(*path))) {
    answer = {0, kestrum::SoundPlayed::kNothing};
  }
  const std::string quoted = stop ? std::string("null") : kestrum::QuoteForTrace(text);
  const kestrum::TraceLine line = kestrum::PlaySoundLine(quoted, fdwSound, "", answer);
  if (answer.played == kestrum::SoundPlayed::kDefaultSound) {
    kestrum::WriteTraceWithBell(line);
  } else {
    kestrum::WriteTrace(line);
  }
  return answer.result;
}
