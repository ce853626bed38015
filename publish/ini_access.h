#pragma once
// INI files read and written through the same profile functions the setup
// uses, so that what is checked is what the setup will see. Values are read
// with room for their whole length, so a check can tell what the setup's
// fixed buffers would cut.
#include <string>
#include <vector>

// Names as the profile functions return them; [] of a missing file is empty.
std::vector<std::string> IniSectionNames(const std::string& file);
std::vector<std::string> IniKeyNames(const std::string& file, const std::string& section);

// Section and key names match without regard to letter case, as in the setup.
bool IniHasSection(const std::string& file, const std::string& section);
bool IniHasKey(const std::string& file, const std::string& section, const std::string& key);

// The whole value ("" when the key is missing).
std::string IniValue(const std::string& file, const std::string& section, const std::string& key);

bool IniWrite(const std::string& file, const std::string& section, const std::string& key,
              const std::string& value);
// Makes the profile functions write what they hold for file to the disk.
void IniFlush(const std::string& file);

bool EqualsIgnoringCase(const std::string& a, const std::string& b);
