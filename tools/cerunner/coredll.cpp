#include "tools/cerunner/coredll.h"

#include <cstdio>

#include "tools/cerunner/memory_layout.h"

namespace cerunner {

const SimulatedCoredll::Export SimulatedCoredll::kExports[] = {
    {"LoadLibraryW", &SimulatedCoredll::LoadLibraryW},
    {"GetProcAddressW", &SimulatedCoredll::GetProcAddressW},
    {"FreeLibrary", &SimulatedCoredll::FreeLibrary},
    {"GetModuleFileNameW", &SimulatedCoredll::GetModuleFileNameW},
    {"exit", &SimulatedCoredll::Exit},
    {"MessageBoxW", &SimulatedCoredll::MessageBoxW},
    {"NLedSetDevice", &SimulatedCoredll::NLedSetDevice},
    {"PlaySoundW", &SimulatedCoredll::PlaySoundW},
    {"MessageBeep", &SimulatedCoredll::MessageBeep},
    {"Sleep", &SimulatedCoredll::Sleep},
    {"LocalAlloc", &SimulatedCoredll::LocalAlloc},
    {"LocalFree", &SimulatedCoredll::LocalFree},
};
const size_t SimulatedCoredll::kExportCount = sizeof kExports / sizeof kExports[0];

std::string Hex32(uint32_t value) {
  char buffer[16];
  (void)std::snprintf(buffer, sizeof buffer, "0x%08x", value);
  return buffer;
}

// Export names are case-sensitive on the phone, as everywhere.
std::optional<uint32_t> SimulatedCoredll::ExportAddress(std::string_view name) {
  for (size_t i = 0; i < kExportCount; ++i) {
    if (name == kExports[i].name) return kCoredllBase + 4 * static_cast<uint32_t>(i);
  }
  return std::nullopt;
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

void SimulatedCoredll::Trace(const std::string& record) {
  trace_.push_back("@" + std::to_string(clock_ms_) + " " + record);
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
