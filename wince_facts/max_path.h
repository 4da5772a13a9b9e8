// MAX_PATH (windef.h): the UTF-16 units a path takes, its null included
// (learn.microsoft.com/en-us/windows/win32/fileio/maximum-file-path-limitation).
// No includes, so that the device build takes it freestanding.
#pragma once

inline constexpr unsigned MAX_PATH = 260;
