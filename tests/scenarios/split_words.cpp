// Prints the words the device start-up cuts a command line into, each ended
// by a NUL byte, so the host binary can be started with the very words the
// phone would hand the program. Usage: split_words COMMAND_LINE (UTF-8)
#include <cstdio>
#include <string>
#include <vector>

#include "platform/wince/command_line.h"
#include "support/utf16_codec.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: split_words COMMAND_LINE\n", stderr);
    return 2;
  }
  const std::u16string line = kestrum::BytesToUtf16(argv[1]);
  const WordCounts counts = SplitCommandLine(line.c_str(), nullptr, 0, nullptr, 0);
  std::vector<const char16_t*> words(counts.words);
  std::u16string text(counts.chars, u'\0');
  SplitCommandLine(line.c_str(), words.data(), counts.words, text.data(), counts.chars);
  for (const char16_t* word : words) {
    const auto bytes = kestrum::Utf16ToBytes(kestrum::Utf16View(word));
    if (!bytes) return 1;  // no such word can come from UTF-8 input
    std::fwrite(bytes->c_str(), 1, bytes->size() + 1, stdout);
  }
  return 0;
}
