#include "tools/cerunner/coredll.h"

#include <cstdio>

#include "tools/cerunner/memory_layout.h"

namespace cerunner {

// The COREDLL exports a program of ours may import, with the ordinals of
// COREDLL's export definition for Windows CE 5.0 (later versions keep them).
// There is no exit: the C runtime is linked into each program.
const SimulatedCoredll::Export SimulatedCoredll::kExports[] = {
    {"LoadLibraryW", 528, &SimulatedCoredll::LoadLibraryW},
    {"GetProcAddressW", 530, &SimulatedCoredll::GetProcAddressW},
    {"FreeLibrary", 529, &SimulatedCoredll::FreeLibrary},
    {"MessageBoxW", 858, &SimulatedCoredll::MessageBoxW},
    {"NLedSetDevice", 840, &SimulatedCoredll::NLedSetDevice},
    {"PlaySoundW", 378, &SimulatedCoredll::PlaySoundW},
    {"MessageBeep", 857, &SimulatedCoredll::MessageBeep},
    {"Sleep", 496, &SimulatedCoredll::Sleep},
    {"GetModuleFileNameW", 537, &SimulatedCoredll::GetModuleFileNameW},
    {"LocalAlloc", 33, &SimulatedCoredll::LocalAlloc},
    {"LocalFree", 36, &SimulatedCoredll::LocalFree},
    {"TerminateProcess", 544, &SimulatedCoredll::TerminateProcess},
    {"ExitThread", 6, &SimulatedCoredll::ExitThread},
};
const size_t SimulatedCoredll::kExportCount = sizeof kExports / sizeof kExports[0];

std::string Hex32(uint32_t value) {
  char buffer[16];
  (void)std::snprintf(buffer, sizeof buffer, "0x%08x", value);
  return buffer;
}

// Names compare case-sensitively. The loader tries the import's hint (an
// index into COREDLL's sorted names) before searching them, which changes
// only how fast the same export is found, so the hint is not simulated.
std::optional<size_t> SimulatedCoredll::FindExport(const ImageImport& import) {
  for (size_t i = 0; i < kExportCount; ++i) {
    const bool match =
        import.ordinal ? kExports[i].ordinal == *import.ordinal : import.name == kExports[i].name;
    if (match) return i;
  }
  return std::nullopt;
}

std::optional<uint32_t> SimulatedCoredll::Resolve(const ImageImport& import, bool thumb) {
  const std::optional<size_t> found = FindExport(import);
  if (!found) return std::nullopt;
  return (kCoredllBase + 4 * static_cast<uint32_t>(*found)) | (thumb ? 1u : 0u);
}

std::optional<uint32_t> SimulatedCoredll::ExportAddress(std::string_view name) {
  ImageImport import;
  import.name = name;
  return Resolve(import, false);
}

std::vector<std::pair<std::string, uint16_t>> SimulatedCoredll::Exports() {
  std::vector<std::pair<std::string, uint16_t>> exports;
  for (size_t i = 0; i < kExportCount; ++i)
    exports.emplace_back(kExports[i].name, kExports[i].ordinal);
  return exports;
}

bool SimulatedCoredll::IsStub(uint32_t address) const { return !StubName(address).empty(); }

std::string SimulatedCoredll::StubName(uint32_t address) const {
  if (address == kGetterAddress) return "shphonelib.dll!GetMannerMode";
  if (address == kSetterAddress) return "shphonelib.dll!SetMannerMode";
  const uint32_t index = (address - kCoredllBase) / 4;
  const bool in_table = address >= kCoredllBase && address % 4 == 0 && index < kExportCount;
  return in_table ? std::string("COREDLL.dll!") + kExports[index].name : "";
}

CallResult SimulatedCoredll::Call(uint32_t address, const Guest& guest) {
  if (address == kGetterAddress) return GetMannerMode(guest);
  if (address == kSetterAddress) return SetMannerMode(guest);
  if (!IsStub(address)) return CallResult::Fault("jump into a library at " + Hex32(address));
  return (this->*kExports[(address - kCoredllBase) / 4].handler)(guest);
}

CallResult SimulatedCoredll::EntryReturned(int32_t status) {
  Trace("ExitThread status=" + std::to_string(status) + " (the entry point returned)");
  return CallResult::Exit(status);
}

bool SimulatedCoredll::LibraryLoaded(uint32_t module) const {
  return module == kPhoneLibraryBase && library_references_ > 0;
}

void SimulatedCoredll::Trace(const std::string& record) {
  trace_.push_back('@' + std::to_string(clock_ms_) + " " + record);
}

std::optional<std::u16string> SimulatedCoredll::WideArgument(const Guest& guest, int index,
                                                             const char* what,
                                                             std::string& fault) const {
  const uint32_t pointer = guest.Argument(index).value_or(0);
  std::optional<std::u16string> text = guest.ReadWideString(pointer);
  if (!text) fault = std::string(what) + " at " + Hex32(pointer) + " is not a readable string";
  return text;
}

}  // namespace cerunner
