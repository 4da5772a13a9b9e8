// COREDLL calls that only the device runtime (start-up and exit) makes.
// Tied to coredll_imports.tsv as those of platform/coredll.h are.
#pragma once

#include "platform/coredll.h"
#include "wince_facts/max_path.h"

using HINSTANCE = HMODULE;
using HANDLE = void*;
using LPWSTR = WCHAR*;
using HLOCAL = void*;

constexpr UINT LMEM_FIXED = 0x0000;

// COREDLL's GetCurrentProcess is an inline, not an export: the kernel reads
// this pseudo-handle (handle base 64 + the current-process slot 2) as "me".
inline HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(uintptr_t{0x42}); }

extern "C" {
DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);
HLOCAL LocalAlloc(UINT uFlags, UINT uBytes);
HLOCAL LocalFree(HLOCAL hMem);
BOOL TerminateProcess(HANDLE hProcess, DWORD uExitCode);
__attribute__((noreturn)) void ExitThread(DWORD dwExitCode);
}
