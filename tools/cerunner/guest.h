// The emulated CPU's registers and memory as a platform call sees them.
#pragma once

#include <unicorn/unicorn.h>

#include <cstdint>
#include <optional>
#include <string>

namespace cerunner {

class Guest {
 public:
  explicit Guest(uc_engine* uc) : uc_(uc) {}

  uint32_t Register(int reg) const;
  void SetRegister(int reg, uint32_t value);

  // Argument n of the ARM procedure call: r0-r3, then the stack.
  std::optional<uint32_t> Argument(int index) const;

  bool Read(uint32_t address, void* out, size_t size) const;
  // Const: a Guest is a handle; the memory it reaches is not its state.
  bool Write(uint32_t address, const void* in, size_t size) const;
  // Whether the program itself could write there; Write ignores protection.
  bool IsWritable(uint32_t address, size_t size) const;

  // A NUL-terminated UTF-16 string; nothing if it is misaligned, unreadable
  // or longer than any path or message the phone accepts.
  std::optional<std::u16string> ReadWideString(uint32_t address) const;

 private:
  uc_engine* uc_;
};

}  // namespace cerunner
