// The module's two exported functions and its load/unload.
#include <cstdint>

extern "C" {
__attribute__((visibility("default"))) void ShowQtfpMgr(std::uintptr_t appHandle, void* parent, char** params);
__attribute__((visibility("default"))) void CreateQtfp(std::uintptr_t appHandle, void* parent, char** params);
}

void ShowQtfpMgr(std::uintptr_t, void*, char**) {}
void CreateQtfp(std::uintptr_t, void*, char**) {}
