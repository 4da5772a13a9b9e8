// The emulated PXA270 with the image mapped, watched by hooks that stop the
// run on anything the phone's processor or kernel would not let pass.
#pragma once

#include <unicorn/unicorn.h>

#include <string>

#include "tools/cerunner/guest.h"
#include "tools/cerunner/pe_image.h"
#include "tools/cerunner/phone_setup.h"
#include "tools/cerunner/run_image.h"
#include "tools/cerunner/simulated_libraries.h"

namespace cerunner {

class Machine {
 public:
  Machine(const LoadedImage& image, const PhoneSetup& setup);
  ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  // Throws std::logic_error when the emulator cannot be set up.
  RunReport Run();

  // Called from the hooks.
  void OnImageInstruction(uint32_t address);
  void OnLibraryCall(uint32_t address);
  void OnAccess(bool write, uint32_t address, int size);
  void OnInvalidAccess(uc_mem_type type, uint32_t address);
  void OnException(uint32_t number);

 private:
  uc_err Setup();
  uc_err Map(uint64_t address, size_t size, uint32_t protection, const void* bytes, size_t length);
  uc_err MapImage();
  uc_err MapRuntime();
  uc_err AddHooks();
  void SetEntryRegisters();
  void Stop(const std::string& why);
  // The run ends with the result of a call that does not return.
  void Ended(const CallResult& result, const std::string& where = "");
  void Finish(uc_err result);
  std::string At() const;  // " at pc=0x..."

  const LoadedImage& image_;
  const PhoneSetup& setup_;
  uc_engine* uc_ = nullptr;
  Guest guest_{nullptr};
  SimulatedLibraries libraries_;
  RunReport report_;
  bool finished_ = false;
  bool exited_ = false;
  uint32_t stack_base_ = 0;
  uint32_t initial_sp_ = 0;
  uint32_t lowest_stack_access_ = 0;
  bool doubleword_transfer_ = false;
  int accesses_this_instruction_ = 0;
};

}  // namespace cerunner
