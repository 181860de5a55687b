// The numbered message texts, read from the catalogue file beside the library.
#pragma once

#include <string>

namespace corlith::catalog {

// The GBK text of the number with every "%s" replaced by param.
std::string Text(int number, const std::string& param);

// Reads the catalogue from the file (UTF-8 lines "number<TAB>text"); false when unreadable.
bool LoadFrom(const std::string& path);

}  // namespace corlith::catalog
