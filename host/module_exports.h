// The module's two entry points as a host calls them.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {
// Opens the invoice manager in the container `parent` (none: a free-standing window).
__attribute__((visibility("default"))) void ShowQtfpMgr(std::uintptr_t appHandle, void* parent, char** params);

// Writes the summary document to the file that the "dir" pair of params[0] names. Success
// leaves params[0] untouched. On failure params[0] is rewritten in place with an "err" pair,
// and the rewritten text is at most kCreateQtfpGrowthBound bytes longer than the original,
// then its terminating zero: the host's buffer needs strlen(params[0]) + kCreateQtfpGrowthBound
// + 1 bytes. The error text is shortened (on whole characters) to keep within the bound.
__attribute__((visibility("default"))) void CreateQtfp(std::uintptr_t appHandle, void* parent, char** params);
}

inline constexpr std::size_t kCreateQtfpGrowthBound = 1024;

using TModuleEntryPoint = void (*)(std::uintptr_t, void*, char**);
