#include "platform/host/shphonelib/manner_state.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/host/trace.h"

namespace kestrum {
namespace {

constexpr const char* kFileName = "manner-mode";
// A new value is written to a temporary file, named as mkostemp makes it from
// this prefix and six letters or digits, and then renamed over the file.
constexpr std::string_view kTemporaryPrefix = ".manner-mode.";
constexpr std::size_t kTemporaryRandomLength = 6;
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

bool IsTemporaryName(std::string_view name) {
  if (name.size() != kTemporaryPrefix.size() + kTemporaryRandomLength ||
      !name.starts_with(kTemporaryPrefix)) {
    return false;
  }
  return std::all_of(name.begin() + kTemporaryPrefix.size(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
  });
}

// Removes regular files with exactly our temporary name: what writers killed
// between writing and renaming left. Links and folders of that name, and
// everything else, stay.
void RemoveLeftTemporaries(int folder) {
  const int listing = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listing < 0) return;
  DIR* entries = fdopendir(listing);
  if (entries == nullptr) {
    close(listing);
    return;
  }
  while (const dirent* entry = readdir(entries)) {
    struct stat status {};
    if (IsTemporaryName(entry->d_name) &&
        fstatat(folder, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(status.st_mode)) {
      unlinkat(folder, entry->d_name, 0);
    }
  }
  closedir(entries);
}

// A writer holds the folder's lock shared from creating its temporary file
// to renaming it. Only a writer that gets the lock exclusively, so that no
// other is between those steps, cleans up. The wait is bounded: only a
// cleanup holds it exclusively, for a moment; past that the write goes on
// unlocked and, should its file be taken, its rename fails and is reported.
void LockForWriting(int folder) {
  if (flock(folder, LOCK_EX | LOCK_NB) == 0) RemoveLeftTemporaries(folder);
  const timespec pause{0, 1000000};
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (flock(folder, LOCK_SH | LOCK_NB) == 0 || errno != EWOULDBLOCK) return;
    nanosleep(&pause, nullptr);
  }
}

// Returns 0 or the errno of the first step that failed.
int WriteAndRename(const std::string& folder, std::string_view content) {
  // mkostemp fills in the random part, which it wants as X's.
  std::string temporary =
      folder + "/" + std::string(kTemporaryPrefix) + std::string(kTemporaryRandomLength, 'X');
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
  return 0;
}

// The folder is opened for its lock and to sync the rename; a folder that
// cannot be opened still takes the new value, without either.
int ReplaceFile(const std::string& folder, std::string_view content) {
  const int descriptor = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor >= 0) LockForWriting(descriptor);
  const int error = WriteAndRename(folder, content);
  if (descriptor >= 0) {
    if (error == 0) fsync(descriptor);  // makes the rename itself durable
    close(descriptor);                  // and releases the lock
  }
  return error;
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
