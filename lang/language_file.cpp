#include "lang/language_file.h"

#include <cstdio>
#include <cstring>
#include <fstream>

std::string strLanguageFile;

namespace {

char chQuitText[300] = "Do you really want to quit the setup of Hollowbranch?";
char chCancelText[20] = "";
char chInstallSucceedText[252] = "";
char chRepairText[20] = "";
char chUninstallText[24] = "";
char chWantToUninstallText[256] = "";
char chUninstallSucceedText[256] = "";
char chExistText[256] = "";

}  // namespace

// In the order in which a load fills them.
TextSlot textSlots[TextSlotCount] = {
    {"SP#quit", chQuitText, sizeof chQuitText},
    {"BT#cancel", chCancelText, sizeof chCancelText},
    {"SP#install_succeed", chInstallSucceedText, sizeof chInstallSucceedText},
    {"SP#repair", chRepairText, sizeof chRepairText},
    {"SP#uninstall", chUninstallText, sizeof chUninstallText},
    {"SP#want_to_uninstall", chWantToUninstallText, sizeof chWantToUninstallText},
    {"SP#uninstall_succeed", chUninstallSucceedText, sizeof chUninstallSucceedText},
    {"SP#exist", chExistText, sizeof chExistText},
};

void SetLanguageFile(std::string path) {
  strLanguageFile = path;
}

std::string GetLanguageText(const char* key) {
  // Binary: a CR before the LF belongs to the line and is cut off with
  // whatever follows the closing quote.
  std::ifstream openToRead(strLanguageFile.c_str(), std::ios::in | std::ios::binary);
  std::string nextLine;
  while (openToRead.good()) {
    nextLine.clear();
    std::getline(openToRead, nextLine);
    if (nextLine.find(key) == std::string::npos) continue;

    const size_t equals = nextLine.find('=');
    const size_t openingQuote = equals == std::string::npos ? std::string::npos : nextLine.find('"', equals);
    if (openingQuote != std::string::npos) nextLine.erase(0, openingQuote + 1);

    const size_t closingQuote = nextLine.rfind('"');
    if (closingQuote != std::string::npos) nextLine.erase(closingQuote);

    openToRead.close();
    return nextLine.empty() ? std::string(key) : nextLine;
  }
  return std::string(key);
}

const char* SlotText(const char* key) {
  for (const TextSlot& slot : textSlots) {
    if (strcmp(slot.key, key) == 0) return slot.text;
  }
  return "";
}

void LoadLanguageTexts(const char* path) {
  SetLanguageFile(path);
  for (TextSlot& slot : textSlots) {
    // Up to the first NUL, cut to what the slot holds.
    snprintf(slot.text, slot.capacity, "%s", GetLanguageText(slot.key).c_str());
  }
}
