// A language file as the setup's text table will load it.
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "lang/language_file.h"
#include "publish/check_context.h"

namespace {

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream file(path.c_str(), std::ios::in | std::ios::binary);
  std::string line;
  while (std::getline(file, line)) lines.push_back(line);
  return lines;
}

std::string Trimmed(const std::string& text) {
  const char* blanks = " \t\r";
  size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  size_t last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

// What a line says it is the text of: what stands before its equals sign.
std::string OwnKeyOfLine(const std::string& line) {
  size_t equals = line.find('=');
  std::string front = Trimmed(equals == std::string::npos ? line : line.substr(0, equals));
  // A byte order mark in front of the first key is no part of it.
  if (front.compare(0, 3, "\xEF\xBB\xBF") == 0) front.erase(0, 3);
  return front;
}

// Valid UTF-8 with at least one multi-byte sequence: the maker saved the file
// in UTF-8, and the setup would show those bytes as ANSI characters.
bool LooksLikeUtf8(const std::string& text) {
  bool multiByte = false;
  for (size_t i = 0; i < text.size();) {
    unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
    if (length == 0 || (length == 2 && lead < 0xC2) || i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2) return false;
    }
    if (length > 1) multiByte = true;
    i += length;
  }
  return multiByte;
}

// Line numbers count from 1; 0 when no line contains the key.
int FirstLineContaining(const std::vector<std::string>& lines, const std::string& key) {
  for (size_t n = 0; n < lines.size(); ++n) {
    if (lines[n].find(key) != std::string::npos) return static_cast<int>(n + 1);
  }
  return 0;
}

}  // namespace

void CheckLanguageFile(TreeCheck& check, const std::string& path, const std::string& label) {
  const std::vector<std::string> lines = ReadLines(path);
  SetLanguageFile(path);
  bool utf8Reported = false;

  for (const TextSlot& slot : textSlots) {
    const std::string key = slot.key;
    const std::string found = GetLanguageText(slot.key);
    if (found == key) {
      AddProblem(check.problems, label, "", key, "no text for this key; the setup would show " + Quoted(key));
      continue;
    }

    // The first line that contains the key gives its text, even when it is
    // the line of a longer key ("SP#uninstall" in "SP#uninstall_succeed").
    const int line = FirstLineContaining(lines, key);
    const std::string owner = line > 0 ? OwnKeyOfLine(lines[line - 1]) : key;
    if (owner != key) {
      AddProblem(check.problems, label, "", key,
                 "the first line that contains this key is line " + std::to_string(line) + " (" + Quoted(owner) +
                     "); the setup would show that line's text");
      continue;
    }

    // The slot shows the text up to its first NUL.
    const size_t shown = std::strlen(found.c_str());
    if (shown > slot.capacity - 1) {
      AddProblem(check.problems, label, "", key,
                 "text is " + std::to_string(shown) + " characters; its slot holds " +
                     std::to_string(slot.capacity - 1));
    }
    if (!utf8Reported && LooksLikeUtf8(found)) {
      AddProblem(check.problems, label, "", key,
                 "text is UTF-8; the setup shows its bytes as ANSI (Windows-1252) characters");
      utf8Reported = true;
    }
  }
}
