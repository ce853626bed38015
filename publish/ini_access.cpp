#include "publish/ini_access.h"

#include <windows.h>

#include <string.h>

namespace {

const DWORD FirstBufferSize = 4096;
const DWORD LargestBufferSize = 16u * 1024u * 1024u;

// The profile functions signal a full buffer by filling it to size - 1 (a
// value) or size - 2 (a list of names); grow until the answer fits.
std::string ReadWhole(const char* section, const char* key, const std::string& file, DWORD fullMargin) {
  std::vector<char> buffer(FirstBufferSize);
  for (;;) {
    DWORD size = static_cast<DWORD>(buffer.size());
    DWORD length = GetPrivateProfileStringA(section, key, "", buffer.data(), size, file.c_str());
    if (length + fullMargin < size || size >= LargestBufferSize) {
      return std::string(buffer.data(), length);
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::vector<std::string> SplitNameList(const std::string& list) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start < list.size()) {
    size_t end = list.find('\0', start);
    if (end == std::string::npos) end = list.size();
    if (end > start) names.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

bool ContainsIgnoringCase(const std::vector<std::string>& names, const std::string& name) {
  for (const std::string& candidate : names) {
    if (EqualsIgnoringCase(candidate, name)) return true;
  }
  return false;
}

}  // namespace

std::vector<std::string> IniSectionNames(const std::string& file) {
  return SplitNameList(ReadWhole(nullptr, nullptr, file, 2));
}

std::vector<std::string> IniKeyNames(const std::string& file, const std::string& section) {
  return SplitNameList(ReadWhole(section.c_str(), nullptr, file, 2));
}

bool IniHasSection(const std::string& file, const std::string& section) {
  return ContainsIgnoringCase(IniSectionNames(file), section);
}

bool IniHasKey(const std::string& file, const std::string& section, const std::string& key) {
  return ContainsIgnoringCase(IniKeyNames(file, section), key);
}

std::string IniValue(const std::string& file, const std::string& section, const std::string& key) {
  return ReadWhole(section.c_str(), key.c_str(), file, 1);
}

bool IniWrite(const std::string& file, const std::string& section, const std::string& key,
              const std::string& value) {
  return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()) != 0;
}

void IniFlush(const std::string& file) {
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, file.c_str());
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  return _stricmp(a.c_str(), b.c_str()) == 0;
}
