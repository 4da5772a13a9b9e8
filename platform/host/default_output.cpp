// ALSA by dlopen, under the runtime package's soname; its headers (from the
// development package) give only the types of the few calls made here.
#include "platform/host/default_output.h"

#include <alsa/asoundlib.h>
#include <dlfcn.h>

#include <optional>

namespace kestrum {
namespace {

struct Alsa {
  decltype(&snd_lib_error_set_handler) set_error_handler;
  decltype(&snd_pcm_open) open;
  decltype(&snd_pcm_close) close;
  decltype(&snd_config_update_free_global) free_configuration;
};

template <typename Function>
Function Resolve(void* library, const char* name) {
  return reinterpret_cast<Function>(dlsym(library, name));
}

// Kept loaded once loaded: the process ends within a second.
std::optional<Alsa> LoadAlsa() {
  void* library = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return std::nullopt;
  const Alsa alsa{
      Resolve<decltype(Alsa::set_error_handler)>(library, "snd_lib_error_set_handler"),
      Resolve<decltype(Alsa::open)>(library, "snd_pcm_open"),
      Resolve<decltype(Alsa::close)>(library, "snd_pcm_close"),
      Resolve<decltype(Alsa::free_configuration)>(library, "snd_config_update_free_global")};
  if (alsa.set_error_handler == nullptr || alsa.open == nullptr || alsa.close == nullptr ||
      alsa.free_configuration == nullptr) {
    return std::nullopt;
  }
  return alsa;
}

// ALSA reports through this handler; its own default prints to stderr,
// where only the trace may go.
// NOLINTNEXTLINE(cert-dcl50-cpp): ALSA's handler type is C-variadic.
void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

// Non-blocking, so a busy device answers at once instead of holding up the
// vibration. The player opens it again a moment later; should it fail then,
// the sound is lost silently, as an asynchronous sound on the phone is once
// PlaySoundW has returned.
bool CanOpenDefaultOutput() {
  static const std::optional<Alsa> alsa = LoadAlsa();
  if (!alsa) return false;
  alsa->set_error_handler(IgnoreAlsaError);
  snd_pcm_t* output = nullptr;
  const bool opened =
      alsa->open(&output, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) == 0;
  if (opened) alsa->close(output);
  alsa->free_configuration();  // the parsed configuration is not needed again
  alsa->set_error_handler(nullptr);
  return opened;
}

}  // namespace kestrum
