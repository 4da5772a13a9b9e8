#include "tools/cerunner/simulated_libraries.h"

#include <string_view>

#include "tools/cerunner/coredll_exports.h"
#include "tools/cerunner/memory_layout.h"

namespace cerunner {

namespace {

// As CE 5's loader (DoImports in nk/kernel/loader.c) finds an import in
// COREDLL's export table: a name compares case-sensitively (ResolveImpStr's
// strcmp), an ordinal must be one the table gives (ResolveImpOrd). The
// import's hint, an index into COREDLL's sorted names tried before the
// search, changes only how fast the same export is found, so it is not
// simulated. Names without a fixed ordinal are numbered by the linker that
// built the phone's COREDLL, which nothing published records: they bind
// by name only.
std::optional<uint32_t> FindExport(const ImageImport& import) {
  for (uint32_t index = 0; index < kCoredllExportCount; ++index) {
    const CoredllExport& entry = kCoredllExports[index];
    const bool match =
        import.ordinal ? entry.ordinal == *import.ordinal : import.name == entry.name;
    if (match) return index;
  }
  return std::nullopt;
}

}  // namespace

// The COREDLL calls the runner answers: those the program imports. A call to
// any other export stops the run, naming it.
#define KESTRUM_SIMULATED(name) {#name, &SimulatedLibraries::name},
constinit const SimulatedLibraries::Simulated SimulatedLibraries::kSimulated[] = {
    KESTRUM_COREDLL_IMPORTS(KESTRUM_SIMULATED)};
#undef KESTRUM_SIMULATED

std::optional<uint32_t> SimulatedLibraries::Resolve(const ImageImport& import, bool thumb) {
  const std::optional<uint32_t> found = FindExport(import);
  if (!found) return std::nullopt;
  return (kCoredllBase + 4 * *found) | (thumb ? 1u : 0u);
}

std::optional<uint32_t> SimulatedLibraries::StubIndex(uint32_t address) {
  const uint32_t index = (address - kCoredllBase) / 4;
  const bool stub = address >= kCoredllBase && address % 4 == 0 && index < kCoredllExportCount;
  return stub ? std::optional<uint32_t>(index) : std::nullopt;
}

std::string SimulatedLibraries::StubName(uint32_t address) const {
  if (address == kGetterAddress) return "shphonelib.dll!GetMannerMode";
  if (address == kSetterAddress) return "shphonelib.dll!SetMannerMode";
  const std::optional<uint32_t> index = StubIndex(address);
  return index ? "COREDLL.dll!" + std::string(kCoredllExports[*index].name) : "";
}

CallResult SimulatedLibraries::Call(uint32_t address, const Guest& guest) {
  if (address == kGetterAddress) return GetMannerMode(guest);
  if (address == kSetterAddress) return SetMannerMode(guest);
  const std::optional<uint32_t> index = StubIndex(address);
  // A guard only: the machine stops at an address that names no stub first.
  if (!index) return CallResult::Fault("jump into a library at " + Hex32(address));
  for (const Simulated& simulated : kSimulated) {
    if (simulated.name == kCoredllExports[*index].name) return (this->*simulated.handler)(guest);
  }
  return CallResult::Fault(StubName(address) + " is not simulated");
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
