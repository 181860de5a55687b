// The host's parameter strings: key=value pairs separated by ";", values escaped.
#pragma once

#include <string>
#include <vector>

std::string EncodeParamValue(const std::string& value);
std::string DecodeParamValue(const std::string& text);
std::string GetPairValue(const std::string& pair, const std::string& key);
std::string GetParamValue(const std::string& params, const std::string& key);
std::string SetParamValue(const std::string& params, const std::string& key, const std::string& value);
void SplitText(const std::string& text, const std::string& separator, std::vector<std::string>& list);
