// One line on stderr per platform call, written with a single write so lines
// from the program and the stand-in phone library never interleave:
//   @<ms> <CallName> key=value ... [-> result]
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrum {

// Milliseconds since the host entry started the clock. TraceMilliseconds
// prefers the program's exported clock; OwnClockMilliseconds is the clock of
// this copy of the code, started on first use if nobody started it.
void StartTraceClock();
int64_t OwnClockMilliseconds();
int64_t TraceMilliseconds();

// The bytes in double quotes; '"' and '\\' escaped, and \xNN for control
// bytes, DEL and every byte that is not part of valid UTF-8.
std::string QuoteForTrace(std::string_view bytes);
std::string QuoteForTrace(std::u16string_view text);

std::string Hex32(uint32_t value);

class TraceLine {
 public:
  explicit TraceLine(std::string_view call);
  TraceLine& Field(std::string_view key, std::string_view value);
  TraceLine& Field(std::string_view key, int64_t value);
  TraceLine& Result(std::string_view result);
  TraceLine& Result(int64_t result);
  std::string Text() const;
  void Write() const;

 private:
  std::string call_;
  std::string rest_;
};

// Writes all of text to stderr in one write where the kernel allows,
// resuming after interruptions; output errors are ignored.
void WriteToStderr(std::string_view text);

}  // namespace kestrum
