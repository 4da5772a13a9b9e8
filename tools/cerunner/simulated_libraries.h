// What the image sees of the phone: COREDLL.dll and the phone library
// shphonelib.dll. Each export the image may import has a stub address; a
// call there runs the matching member here.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "coredll_handlers.h"
#include "support/coredll_answers.h"
#include "support/trace_line.h"
#include "tools/cerunner/guest.h"
#include "tools/cerunner/pe_image.h"
#include "tools/cerunner/phone_setup.h"

namespace cerunner {

using kestrum::Hex32;
using kestrum::TraceLine;

struct CallResult {
  enum class Kind { kReturn, kExit, kFault };
  Kind kind = Kind::kReturn;
  uint32_t value = 0;  // r0 on return, the status on exit
  std::string fault;

  static CallResult Return(uint32_t value) { return {Kind::kReturn, value, ""}; }
  static CallResult Exit(int32_t status) {
    return {Kind::kExit, static_cast<uint32_t>(status), ""};
  }
  static CallResult Fault(std::string why) { return {Kind::kFault, 0, std::move(why)}; }
};

class SimulatedLibraries {
 public:
  explicit SimulatedLibraries(const PhoneSetup& setup) : setup_(setup), mode_(setup.manner_mode) {}

  // What the loader binds an import to: the export's entry point (with bit 0
  // set when the libraries are Thumb code), or nothing if COREDLL lacks it.
  // Every export of COREDLL binds, whether the runner answers it or not.
  static std::optional<uint32_t> Resolve(const ImageImport& import, bool thumb);

  std::string StubName(uint32_t address) const;
  CallResult Call(uint32_t address, const Guest& guest);
  // The platform ends the primary thread with what its entry returned.
  CallResult EntryReturned(int32_t status);

  // Null when the access lies inside a live heap block (or outside the heap).
  std::optional<std::string> CheckHeapAccess(uint32_t address, uint32_t size) const;

  int32_t manner_mode() const { return mode_; }
  uint64_t clock_ms() const { return clock_ms_; }
  uint32_t heap_in_use() const;
  const std::vector<std::string>& trace() const { return trace_; }

 private:
  using Handler = CallResult (SimulatedLibraries::*)(const Guest&);
  // A COREDLL export the runner answers.
  struct Simulated {
    std::string_view name;
    Handler handler;
  };
  static const Simulated kSimulated[];
  static std::optional<uint32_t> StubIndex(uint32_t address);

  void Trace(const TraceLine& line);
  std::optional<std::u16string> WideArgument(const Guest& guest, int index, const char* what,
                                             std::string& fault) const;
  uint32_t EntryPoint(uint32_t address) const { return address | (setup_.thumb_libraries ? 1 : 0); }
  bool LibraryLoaded(uint32_t module) const;
  kestrum::SoundFile FileKind(std::u16string_view name) const;

  // One per COREDLL import of the program, from the build's list: a missing
  // one stops the link, one for a name no longer imported the compile.
#define KESTRUM_HANDLER(name) CallResult name(const Guest& guest);
  KESTRUM_COREDLL_IMPORTS(KESTRUM_HANDLER)
#undef KESTRUM_HANDLER
  CallResult GetMannerMode(const Guest& guest);
  CallResult SetMannerMode(const Guest& guest);

  const PhoneSetup& setup_;
  int32_t mode_;
  uint32_t library_references_ = 0;
  uint64_t clock_ms_ = 0;
  uint32_t heap_next_ = 0;
  std::map<uint32_t, uint32_t> heap_blocks_;  // start -> size
  std::vector<std::string> trace_;
};

}  // namespace cerunner
