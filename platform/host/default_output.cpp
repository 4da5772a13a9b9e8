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
  decltype(&snd_pcm_set_params) set_parameters;
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
      Resolve<decltype(Alsa::set_parameters)>(library, "snd_pcm_set_params"),
      Resolve<decltype(Alsa::free_configuration)>(library, "snd_config_update_free_global")};
  if (alsa.set_error_handler == nullptr || alsa.open == nullptr || alsa.close == nullptr ||
      alsa.set_parameters == nullptr || alsa.free_configuration == nullptr) {
    return std::nullopt;
  }
  return alsa;
}

// ALSA reports through this handler; its own default prints to stderr,
// where only the trace may go.
// NOLINTNEXTLINE(cert-dcl50-cpp): ALSA's handler type is C-variadic.
void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

// What the player will ask of the output: interleaved samples of the
// file's fields, resampled if need be, half a second of buffer.
bool TakesFormat(const Alsa& alsa, snd_pcm_t* output, const PlayableSound& sound) {
  constexpr unsigned kLatencyMicroseconds = 500000;
  const snd_pcm_format_t format =
      sound.bits_per_sample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
  return alsa.set_parameters(output, format, SND_PCM_ACCESS_RW_INTERLEAVED, sound.channels,
                             sound.samples_per_second, 1, kLatencyMicroseconds) == 0;
}

}  // namespace

// Non-blocking, so a busy device answers at once instead of holding up the
// vibration. The player opens it again a moment later; should it fail then,
// the sound is lost silently, as an asynchronous sound on the phone is once
// PlaySoundW has returned.
DefaultOutput CheckDefaultOutput(const PlayableSound& sound) {
  static const std::optional<Alsa> alsa = LoadAlsa();
  if (!alsa) return DefaultOutput::kNoAlsa;
  alsa->set_error_handler(IgnoreAlsaError);
  snd_pcm_t* output = nullptr;
  bool takes = alsa->open(&output, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) == 0;
  if (takes) {
    takes = TakesFormat(*alsa, output, sound);
    alsa->close(output);
  }
  alsa->free_configuration();  // the parsed configuration is not needed again
  alsa->set_error_handler(nullptr);
  return takes ? DefaultOutput::kTakesIt : DefaultOutput::kRefuses;
}

}  // namespace kestrum
