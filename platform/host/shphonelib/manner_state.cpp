#include "platform/host/shphonelib/manner_state.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>

#include "platform/host/trace.h"

namespace kestrum {
namespace {

constexpr const char* kFileName = "manner-mode";
// "-2147483648\n" is the longest valid content.
constexpr std::size_t kMaxContent = 12;

void Report(const std::string& what, const std::string& path, int error) {
  std::string message = "shphonelib.dll: " + what + " " + path;
  if (error != 0) message += ": " + std::string(std::strerror(error));
  WriteToStderr(message + "\n");
}

bool IsAbsolute(const char* path) { return path != nullptr && path[0] == '/'; }

std::string FilePath(const std::string& folder) { return folder + "/" + kFileName; }

bool MakeFolders(const std::string& folder) {
  for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string prefix = folder.substr(0, slash);
    if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

bool WriteAll(int descriptor, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = write(descriptor, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// Makes the rename itself durable; a folder that cannot be synced still
// holds the new value, so this is best effort.
void SyncFolder(const std::string& folder) {
  const int descriptor = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) return;
  fsync(descriptor);
  close(descriptor);
}

// Returns 0 or the errno of the first step that failed.
int ReplaceFile(const std::string& folder, std::string_view content) {
  std::string temporary = folder + "/.manner-mode.XXXXXX";
  const int descriptor = mkostemp(temporary.data(), O_CLOEXEC);
  if (descriptor < 0) return errno;
  bool done = WriteAll(descriptor, content) && fsync(descriptor) == 0;
  int error = done ? 0 : errno;
  if (close(descriptor) != 0 && done) {
    done = false;
    error = errno;
  }
  if (done && rename(temporary.c_str(), FilePath(folder).c_str()) != 0) {
    done = false;
    error = errno;
  }
  if (!done) {
    unlink(temporary.c_str());
    return error == 0 ? EIO : error;
  }
  SyncFolder(folder);
  return 0;
}

// Reads at most one byte past kMaxContent: enough to tell a too-long file.
std::optional<std::string> ReadSmallFile(int descriptor) {
  std::string content(kMaxContent + 1, '\0');
  std::size_t filled = 0;
  while (filled < content.size()) {
    const ssize_t got = read(descriptor, content.data() + filled, content.size() - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::nullopt;
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  content.resize(filled);
  return content;
}

}  // namespace

std::optional<std::string> MannerStateFolder() {
  const char* state_home = std::getenv("XDG_STATE_HOME");
  if (IsAbsolute(state_home)) return std::string(state_home) + "/kestrum";
  const char* home = std::getenv("HOME");
  if (IsAbsolute(home)) return std::string(home) + "/.local/state/kestrum";
  return std::nullopt;
}

std::optional<int32_t> ParseMannerMode(std::string_view content) {
  if (!content.empty() && content.back() == '\n') content.remove_suffix(1);
  if (content.empty() || content.front() == '+') return std::nullopt;
  int32_t value = 0;
  const char* end = content.data() + content.size();
  const auto [stop, error] = std::from_chars(content.data(), end, value);
  if (error != std::errc() || stop != end) return std::nullopt;
  return value;
}

int32_t LoadMannerMode(const std::string& folder) {
  const std::string path = FilePath(folder);
  const int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (descriptor < 0) {
    if (errno != ENOENT) Report("cannot read manner mode, taking it as off:", path, errno);
    return 0;
  }
  struct stat status {};
  std::optional<std::string> content;
  int error = 0;
  if (fstat(descriptor, &status) != 0) {
    error = errno;
  } else if (S_ISREG(status.st_mode)) {
    content = ReadSmallFile(descriptor);
    if (!content) error = errno;
  }
  close(descriptor);
  const auto value = content ? ParseMannerMode(*content) : std::nullopt;
  if (!value) Report("garbled manner mode, taking it as off:", path, error);
  return value.value_or(0);
}

bool StoreMannerMode(const std::string& folder, int32_t value) {
  if (!MakeFolders(folder)) {
    Report("cannot store manner mode in", folder, errno);
    return false;
  }
  const int error = ReplaceFile(folder, std::to_string(value) + "\n");
  if (error != 0) Report("cannot store manner mode in", FilePath(folder), error);
  return error == 0;
}

}  // namespace kestrum
