#include "publish/addresses.h"

#include <ctype.h>
#include <string.h>

namespace {

const char HttpsScheme[] = "https://";
const size_t HttpsSchemeLength = sizeof HttpsScheme - 1;

// Length of "scheme://host[:port]", or 0 for an address without a host.
size_t OriginLength(const std::string& address) {
  size_t scheme = address.find("://");
  if (scheme == std::string::npos || scheme == 0) return 0;
  size_t hostStart = scheme + 3;
  size_t hostEnd = address.find('/', hostStart);
  if (hostEnd == std::string::npos) hostEnd = address.size();
  return hostEnd > hostStart ? hostEnd : 0;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool IsHttpsAddress(const std::string& address) {
  if (address.size() <= HttpsSchemeLength) return false;
  if (_strnicmp(address.c_str(), HttpsScheme, HttpsSchemeLength) != 0) return false;
  size_t origin = OriginLength(address);
  return origin > HttpsSchemeLength;
}

std::string AddressFolder(const std::string& address) {
  size_t origin = OriginLength(address);
  if (origin == 0) return std::string();
  size_t slash = address.rfind('/');
  if (slash == std::string::npos || slash < origin) return address.substr(0, origin) + "/";
  return address.substr(0, slash + 1);
}

std::string BaseWithSlash(const std::string& base) {
  if (!base.empty() && base.back() == '/') return base;
  return base + "/";
}

bool IsUnderBase(const std::string& address, const std::string& base) {
  size_t origin = OriginLength(base);
  if (origin == 0 || OriginLength(address) != origin) return false;
  if (_strnicmp(address.c_str(), base.c_str(), origin) != 0) return false;
  return address.compare(origin, base.size() - origin, base, origin, base.size() - origin) == 0 &&
         address.size() >= base.size();
}

std::string PercentEncoded(const std::string& segment) {
  static const char Hex[] = "0123456789ABCDEF";
  std::string encoded;
  for (unsigned char c : segment) {
    if (isalnum(c) && c < 0x80) {
      encoded += static_cast<char>(c);
    } else if (c == '-' || c == '.' || c == '_' || c == '~') {
      encoded += static_cast<char>(c);
    } else {
      encoded += '%';
      encoded += Hex[c >> 4];
      encoded += Hex[c & 15];
    }
  }
  return encoded;
}

bool AddressToTreePath(const std::string& address, const std::string& base, std::string& treePath) {
  if (!IsUnderBase(address, base)) return false;
  std::string rest = address.substr(base.size());
  if (rest.find_first_of("?#\\") != std::string::npos) return false;

  treePath.clear();
  size_t start = 0;
  for (;;) {
    size_t end = rest.find('/', start);
    if (end == std::string::npos) end = rest.size();
    std::string segment;
    for (size_t i = start; i < end; ++i) {
      if (rest[i] != '%') {
        segment += rest[i];
        continue;
      }
      if (i + 2 >= end) return false;
      int high = HexValue(rest[i + 1]);
      int low = HexValue(rest[i + 2]);
      if (high < 0 || low < 0) return false;
      char decoded = static_cast<char>(high * 16 + low);
      // A decoded separator or NUL would name something else than it shows.
      if (decoded == '/' || decoded == '\\' || decoded == '\0') return false;
      segment += decoded;
      i += 2;
    }
    if (segment.empty() || segment == "." || segment == "..") return false;
    treePath += treePath.empty() ? segment : "\\" + segment;
    if (end == rest.size()) return true;
    start = end + 1;
  }
}
