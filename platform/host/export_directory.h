// How a stand-in module tells the host GetProcAddressW its exports: as a PE
// file's export directory does, by name. The module exports one C symbol,
// kExportDirectorySymbol, an array of these ended by an entry whose name is
// null; everything else in it stays hidden.
#pragma once

namespace kestrum {

struct ExportEntry {
  const char16_t* name;
  // void(*)() converts to and from any entry point's real type without a
  // warning about its signature.
  void (*entry)();
};

inline constexpr const char* kExportDirectorySymbol = "KestrumExportDirectory";

}  // namespace kestrum
