#include "tools/cerunner/simulated_libraries.h"

#include "tools/cerunner/memory_layout.h"

namespace cerunner {

// COREDLL offers exactly the rows of platform/wince/coredll_exports.tsv
// (generated list); a row without a member of the same name does not compile.
const SimulatedLibraries::Export SimulatedLibraries::kExports[] = {
#define KESTRUM_COREDLL_EXPORT(name, ordinal) {#name, ordinal, &SimulatedLibraries::name},
#include "coredll_exports.inc"
#undef KESTRUM_COREDLL_EXPORT
};
const size_t SimulatedLibraries::kExportCount = sizeof kExports / sizeof kExports[0];

// Names compare case-sensitively. The loader tries the import's hint (an
// index into COREDLL's sorted names) before searching them, which changes
// only how fast the same export is found, so the hint is not simulated.
std::optional<size_t> SimulatedLibraries::FindExport(const ImageImport& import) {
  for (size_t i = 0; i < kExportCount; ++i) {
    const bool match =
        import.ordinal ? kExports[i].ordinal == *import.ordinal : import.name == kExports[i].name;
    if (match) return i;
  }
  return std::nullopt;
}

std::optional<uint32_t> SimulatedLibraries::Resolve(const ImageImport& import, bool thumb) {
  const std::optional<size_t> found = FindExport(import);
  if (!found) return std::nullopt;
  return (kCoredllBase + 4 * static_cast<uint32_t>(*found)) | (thumb ? 1u : 0u);
}

bool SimulatedLibraries::IsStub(uint32_t address) const { return !StubName(address).empty(); }

std::string SimulatedLibraries::StubName(uint32_t address) const {
  if (address == kGetterAddress) return "shphonelib.dll!GetMannerMode";
  if (address == kSetterAddress) return "shphonelib.dll!SetMannerMode";
  const uint32_t index = (address - kCoredllBase) / 4;
  const bool in_table = address >= kCoredllBase && address % 4 == 0 && index < kExportCount;
  return in_table ? std::string("COREDLL.dll!") + kExports[index].name : "";
}

CallResult SimulatedLibraries::Call(uint32_t address, const Guest& guest) {
  if (address == kGetterAddress) return GetMannerMode(guest);
  if (address == kSetterAddress) return SetMannerMode(guest);
  if (!IsStub(address)) return CallResult::Fault("jump into a library at " + Hex32(address));
  return (this->*kExports[(address - kCoredllBase) / 4].handler)(guest);
}

CallResult SimulatedLibraries::EntryReturned(int32_t status) {
  Trace(TraceLine("ExitThread").Field("status", status).Field("by", "return"));
  return CallResult::Exit(status);
}

bool SimulatedLibraries::LibraryLoaded(uint32_t module) const {
  return module == kPhoneLibraryBase && library_references_ > 0;
}

void SimulatedLibraries::Trace(const TraceLine& line) {
  trace_.push_back(line.At(static_cast<int64_t>(clock_ms_)));
}

std::optional<std::u16string> SimulatedLibraries::WideArgument(const Guest& guest, int index,
                                                               const char* what,
                                                               std::string& fault) const {
  const uint32_t pointer = guest.Argument(index).value_or(0);
  std::optional<std::u16string> text = guest.ReadWideString(pointer);
  if (!text) fault = std::string(what) + " at " + Hex32(pointer) + " is not a readable string";
  return text;
}

}  // namespace cerunner
