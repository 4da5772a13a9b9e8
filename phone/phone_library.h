// Run-time binding to the phone maker's client library, which holds the
// phone's manner mode. Every failing step ends the process with status -1.
#pragma once

#include <stdint.h>

#include "platform/coredll.h"

class PhoneLibrary {
 public:
  void Open();
  int32_t ReadMannerMode();
  void ResolveSetter();
  void WriteMannerMode(int32_t value) const;
  void Close();

 private:
  using GetMannerModeFn = int32_t (*)();
  using SetMannerModeFn = void (*)(int32_t);

  [[noreturn]] void CloseAndFail();

  HMODULE module_ = nullptr;
  GetMannerModeFn getter_ = nullptr;
  SetMannerModeFn setter_ = nullptr;
};
