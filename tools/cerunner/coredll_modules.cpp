// Module loading and the ends of the process.
#include <algorithm>

#include "support/file_lookup.h"
#include "tools/cerunner/memory_layout.h"
#include "tools/cerunner/simulated_libraries.h"
#include "tools/cerunner/wide_text.h"

namespace cerunner {
namespace {

constexpr char16_t kGetterExport[] = u"?GetMannerMode@CshphoneClientlib@@SAHXZ";
constexpr char16_t kSetterExport[] = u"?SetMannerMode@CshphoneClientlib@@SAXH@Z";
using kestrum::kPhoneLibraryPath;

}  // namespace

CallResult SimulatedLibraries::LoadLibraryW(const Guest& guest) {
  std::string fault;
  const std::optional<std::u16string> name = WideArgument(guest, 0, "library name", fault);
  if (!name) return CallResult::Fault("LoadLibraryW: " + fault);
  // The phone holds one library beside COREDLL: its phone library.
  const bool found = setup_.library_present &&
                     kestrum::LoadsLibraryAt(*name, setup_.module_path, kPhoneLibraryPath);
  if (found) ++library_references_;
  Trace(kestrum::LoadLibraryLine(QuoteWideForTrace(*name), found));
  return CallResult::Return(found ? kPhoneLibraryBase : 0);
}

CallResult SimulatedLibraries::GetProcAddressW(const Guest& guest) {
  const uint32_t module = guest.Argument(0).value_or(0);
  const uint32_t name_pointer = guest.Argument(1).value_or(0);
  const bool loaded = LibraryLoaded(module);
  if (name_pointer < 0x10000) {  // an ordinal, which the phone library does not export by
    Trace(kestrum::GetProcAddressLine("", name_pointer, module, loaded, false));
    return CallResult::Return(0);
  }
  std::string fault;
  const std::optional<std::u16string> name = WideArgument(guest, 1, "export name", fault);
  if (!name) return CallResult::Fault("GetProcAddressW: " + fault);
  uint32_t address = 0;
  if (loaded && setup_.has_getter && *name == kGetterExport) address = EntryPoint(kGetterAddress);
  if (loaded && setup_.has_setter && *name == kSetterExport) address = EntryPoint(kSetterAddress);
  Trace(kestrum::GetProcAddressLine(QuoteWideForTrace(*name), 0, module, loaded, address != 0));
  return CallResult::Return(address);
}

CallResult SimulatedLibraries::FreeLibrary(const Guest& guest) {
  const uint32_t module = guest.Argument(0).value_or(0);
  const bool loaded = LibraryLoaded(module);
  if (loaded) --library_references_;
  const BOOL freed = kestrum::AnswerFreeLibrary(loaded);
  Trace(kestrum::FreeLibraryLine(module, loaded, freed));
  return CallResult::Return(static_cast<uint32_t>(freed));
}

// Truncates to the buffer, always terminated, and returns the characters
// copied, as Windows CE documents it. Null and the process handle (the
// program's instance handle) name the program; a loaded library's handle
// names the library; anything else, the image base included, fails.
CallResult SimulatedLibraries::GetModuleFileNameW(const Guest& guest) {
  const uint32_t module = guest.Argument(0).value_or(0);
  const uint32_t buffer = guest.Argument(1).value_or(0);
  const uint32_t size = guest.Argument(2).value_or(0);
  const bool program = module == 0 || module == kProcessHandle;
  const bool known = program || LibraryLoaded(module);
  TraceLine line("GetModuleFileNameW");
  if (!program) line.Field("module", Hex32(module));
  line.Field("size", size);
  if (!known || size == 0) {
    Trace(line.Result(0));
    return CallResult::Return(0);
  }
  const std::u16string path = program ? setup_.module_path : kPhoneLibraryPath;
  const size_t copied = std::min<size_t>(path.size(), size - 1u);
  std::u16string text = path.substr(0, copied);
  text += u'\0';
  const size_t bytes = text.size() * 2;
  if (buffer % 2 != 0 || !guest.IsWritable(buffer, bytes)) {
    return CallResult::Fault("GetModuleFileNameW: buffer at " + Hex32(buffer) + " of " +
                             std::to_string(size) + " characters is not writable");
  }
  guest.Write(buffer, text.data(), bytes);
  Trace(line.Result(static_cast<int64_t>(copied)));
  return CallResult::Return(static_cast<uint32_t>(copied));
}

// Only the program's own process can be ended here: the pseudo-handle or
// its real handle. Any other handle is not one the program holds.
CallResult SimulatedLibraries::TerminateProcess(const Guest& guest) {
  const uint32_t process = guest.Argument(0).value_or(0);
  const auto status = static_cast<int32_t>(guest.Argument(1).value_or(0));
  const bool self = process == kCurrentProcess || process == kProcessHandle;
  TraceLine line("TerminateProcess");
  line.Field("process", Hex32(process)).Field("status", status);
  Trace(self ? line : line.Result(0));
  return self ? CallResult::Exit(status) : CallResult::Return(0);
}

// The program has one thread, so ending it ends the process.
CallResult SimulatedLibraries::ExitThread(const Guest& guest) {
  const auto status = static_cast<int32_t>(guest.Argument(0).value_or(0));
  Trace(TraceLine("ExitThread").Field("status", status));
  return CallResult::Exit(status);
}

}  // namespace cerunner
