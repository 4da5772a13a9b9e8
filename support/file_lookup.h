// How the phone finds a file or a library by its name. Written once: the
// emulated phone and the recording platform of the unit tests look names up
// through these, and the host follows them where Linux allows.
#pragma once

#include <string>
#include <string_view>

namespace kestrum {

// Where the series' phones keep their phone library.
inline constexpr char16_t kPhoneLibraryPath[] = u"\\Windows\\shphonelib.dll";

// The phone's file systems (the object store and FAT) keep a name's case
// but compare names without it, as desktop Windows does. Folded here: ASCII
// letters and the Latin-1 and fullwidth letter ranges.
bool SameFileName(std::u16string_view a, std::u16string_view b);

// The file name LoadLibraryW looks for: "If no file name extension is
// specified ..., the default library extension .dll is appended. However,
// the file name string can include a trailing point character (.) to
// indicate that the module name has no extension." (the CE 5.0 reference to
// LoadLibrary, Remarks). Empty for a name that holds no file name.
std::u16string LibraryFileName(std::u16string_view name);

// Whether LoadLibraryW(name), called by the program at program_path, finds
// the library kept at library_path. CE 5's loader (OpenExecutable, loader.c)
// tries a path from the root there only; any other name by its file name in
// the program's folder, then as given under \Windows, among the ROM's modules
// (if bare or in Windows\), under the root (CE has no current folder) and on
// the OEM's search path. A simulated phone holds one library of a name, so
// the order is not kept; the phones' library is in \Windows, so neither the
// ROM nor the OEM's path is simulated, nor '/', which the loader takes as '\'.
bool LoadsLibraryAt(std::u16string_view name, std::u16string_view program_path,
                    std::u16string_view library_path);

}  // namespace kestrum
