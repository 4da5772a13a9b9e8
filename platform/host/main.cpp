// The host entry: argument words as UTF-16 that map back to the very bytes
// given, the trace clock started, then the program's own entry.
#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "app/toggle_manner_mode.h"
#include "platform/host/trace.h"
#include "platform/host/trace_clock_hook.h"
#include "support/utf16_codec.h"

extern "C" int64_t KestrumTraceClockMs() noexcept { return kestrum::OwnClockMilliseconds(); }

int main(int argc, char** argv) {
  kestrum::StartTraceClock();
  std::vector<std::u16string> words;
  words.reserve(static_cast<std::size_t>(argc));
  for (int i = 0; i < argc; ++i) words.push_back(kestrum::BytesToUtf16(argv[i]));
  std::vector<const char16_t*> pointers;
  pointers.reserve(words.size() + 1);
  std::transform(words.begin(), words.end(), std::back_inserter(pointers),
                 [](const std::u16string& word) { return word.c_str(); });
  pointers.push_back(nullptr);
  return KestrumMain(argc, pointers.data());
}
