// The simulated phone's manner mode, kept in a file so each run sees what
// the last one wrote: $XDG_STATE_HOME/kestrum/manner-mode (XDG_STATE_HOME
// defaults to ~/.local/state). The file holds the value in decimal.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrum {

// None when neither XDG_STATE_HOME nor HOME is an absolute path.
std::optional<std::string> MannerStateFolder();

std::optional<int32_t> ParseMannerMode(std::string_view content);

// A missing file is manner mode off. Anything unreadable or garbled is
// reported on stderr and also read as off.
int32_t LoadMannerMode(const std::string& folder);

// Atomic: a reader, or a kill at any moment, sees the old or the new value.
// A failure is reported on stderr and returns false.
bool StoreMannerMode(const std::string& folder, int32_t value);

// The library's two entry points over that file.
int32_t GetMannerMode() noexcept;
void SetMannerMode(int32_t value) noexcept;

}  // namespace kestrum
