#pragma once
// Language files and the setup's text table.
#include <cstddef>
#include <string>

// The language file that lookups read.
extern std::string strLanguageFile;

void SetLanguageFile(std::string path);

// The text of key in strLanguageFile, or the key itself when the file gives
// it no text.
std::string GetLanguageText(const char* key);

// One translatable text of the setup, known by its lookup key.
struct TextSlot {
  const char* key;
  char* text;
  std::size_t capacity;  // bytes, the terminating NUL included
};

inline constexpr int TextSlotCount = 8;
extern TextSlot textSlots[TextSlotCount];

// The current text of the slot with this key ("" for a key that has no slot).
const char* SlotText(const char* key);

// Fills every slot from the language file at path.
void LoadLanguageTexts(const char* path);
