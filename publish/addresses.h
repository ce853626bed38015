#pragma once
// Download addresses of a server tree and the files they name.
#include <string>

// "https://" in any letter case, then a host.
bool IsHttpsAddress(const std::string& address);

// The address up to and including its last "/" after the host.
std::string AddressFolder(const std::string& address);

// base with a "/" at its end.
std::string BaseWithSlash(const std::string& base);

// Whether address lies under base. Scheme and host match in any letter case,
// the path letter for letter.
bool IsUnderBase(const std::string& address, const std::string& base);

// One path segment with every byte outside A-Z a-z 0-9 - . _ ~ as %XX.
std::string PercentEncoded(const std::string& segment);

// The "\"-separated path inside the tree that an address under base names.
// False for what no file of the tree can answer: a query or fragment, a bad
// %XX, an empty, "." or ".." segment, or a "\" in the address.
bool AddressToTreePath(const std::string& address, const std::string& base, std::string& treePath);
