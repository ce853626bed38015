// How the setup reads its language files: which line gives a key its text,
// which part of that line is the text, and what the text table keeps of it.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "lang/language_file.h"
#include "test_support.h"

using namespace hbtest;
using namespace std::string_literals;

namespace {

// Every slot of the text table with its capacity (terminating NUL included),
// in the order a load fills them.
struct SlotCapacity {
  const char* key;
  size_t capacity;
};
const SlotCapacity kSlots[] = {
    {"SP#quit", 300},      {"BT#cancel", 20},     {"SP#install_succeed", 252},   {"SP#repair", 20},
    {"SP#uninstall", 24},  {"SP#want_to_uninstall", 256}, {"SP#uninstall_succeed", 256}, {"SP#exist", 256},
};

std::string Slot(const char* key) { return SlotText(key); }

class LanguageFile : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(RemoveTree(ScratchDir()));
    path_ = ScratchPath("setup.lng");
  }
  void TearDown() override { RemoveTree(ScratchDir()); }

  void Write(const std::string& bytes) { ASSERT_TRUE(WriteFileBytes(path_, bytes)) << path_; }

  std::string path_;
};

TEST_F(LanguageFile, LookupTakesTheTextOfTheFirstLineHoldingTheKey) {
  struct Case {
    const char* what;
    std::optional<std::string> file;  // nullopt: the path names no file
    const char* key;
    std::string text;                 // GetLanguageText
    std::optional<std::string> slot = std::nullopt;  // the key's slot after a load, when it differs from text
  };
  const Case cases[] = {
      {"the first of two lines with the key wins", "SP#repair=\"First\"\nSP#repair=\"Second\"\n"s, "SP#repair",
       "First"},
      {"a key inside the text of an earlier line takes that line",
       "SP#exist=\"Press SP#repair now\"\nSP#repair=\"Repair\"\n"s, "SP#repair", "Press SP#repair now"},
      {"a key that is the start of an earlier key takes the earlier line",
       "SP#uninstall_succeed=\"It is gone.\"\nSP#uninstall=\"Uninstall\"\n"s, "SP#uninstall", "It is gone."},
      {"with the shorter key first, the shorter key gets its own line",
       "SP#uninstall=\"Uninstall\"\nSP#uninstall_succeed=\"It is gone.\"\n"s, "SP#uninstall", "Uninstall"},
      {"with the shorter key first, the longer key gets its own line",
       "SP#uninstall=\"Uninstall\"\nSP#uninstall_succeed=\"It is gone.\"\n"s, "SP#uninstall_succeed",
       "It is gone."},
      {"keys are matched with their letter case", "sp#repair=\"lower\"\nSP#REPAIR=\"upper\"\nSP#repair=\"exact\"\n"s,
       "SP#repair", "exact"},
      {"the CR of a CR LF line goes with what follows the closing quote",
       "BT#cancel=\"Cancel\"\r\nSP#repair=\"Repair\"\r\n"s, "SP#repair", "Repair"},
      {"an opening quote without a closing one keeps the rest of the line, CR included",
       "SP#repair=\"Repair\r\nSP#exist=\"x\"\r\n"s, "SP#repair", "Repair\r"},
      {"a lone CR does not end a line", "SP#repair=\"x\"\rSP#exist=\"Exists\"\r\n"s, "SP#exist",
       "x\"\rSP#exist=\"Exists"},
      {"without an equals sign nothing is cut from the front", "SP#repair \"Repair\"\n"s, "SP#repair",
       "SP#repair \"Repair"},
      {"without any quote the whole line is the text", "SP#repair=Repair\n"s, "SP#repair", "SP#repair=Repair"},
      {"the opening quote is the first one after the first equals sign", "\"SP#repair\"=\"Repair\"\n"s,
       "SP#repair", "Repair"},
      {"spaces around the equals sign go with the front, spaces inside the quotes stay",
       "SP#repair  =  \"  Repair  \"\n"s, "SP#repair", "  Repair  "},
      {"inner double quotes stay: the text ends at the last one", "SP#exist=\"Say \"yes\" or \"no\"\"\n"s,
       "SP#exist", "Say \"yes\" or \"no\""},
      {"what follows the closing quote is dropped", "SP#repair=\"Repair\" ; the button\n"s, "SP#repair", "Repair"},
      {"texts are bytes, copied unchanged", "SP#repair=\"Reparatur \xe4\xf6\xfc\xdf\"\n"s, "SP#repair",
       "Reparatur \xe4\xf6\xfc\xdf"},
      {"blank lines and other lines are skipped", "\n\n[LANG]\n; SP#repai\nSP#repair=\"Repair\"\n\n"s,
       "SP#repair", "Repair"},
      {"a key on a last line without LF is found", "SP#exist=\"x\"\nSP#repair=\"Repair\""s, "SP#repair",
       "Repair"},
      {"an empty file gives the key", ""s, "SP#repair", "SP#repair"},
      {"a file without the key gives the key", "SP#exist=\"x\"\nBT#cancel=\"Cancel\"\n"s, "SP#repair",
       "SP#repair"},
      {"an empty text gives the key", "SP#repair=\"\"\n"s, "SP#repair", "SP#repair"},
      {"an empty text on a CR LF line gives the key", "SP#repair=\"\"\r\n"s, "SP#repair", "SP#repair"},
      {"a first line with an empty text is not passed over for a later one",
       "SP#repair=\"\"\nSP#repair=\"Repair\"\n"s, "SP#repair", "SP#repair"},
      {"a path that names no file gives the key", std::nullopt, "SP#repair", "SP#repair"},
      {"a NUL byte stays in the text; the slot keeps what comes before it", "SP#repair=\"Rep\0air\"\n"s,
       "SP#repair", "Rep\0air"s, "Rep"s},
      {"a text longer than its slot is whole in the lookup and cut to capacity - 1 in the slot",
       "SP#repair=\"Repair-0123456789-0123456789\"\n"s, "SP#repair", "Repair-0123456789-0123456789",
       "Repair-0123456789-0"s},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string path = ScratchPath("absent\\none.lng");
    if (c.file) {
      Write(*c.file);
      path = path_;
    }
    SetLanguageFile(path);
    EXPECT_EQ(GetLanguageText(c.key), c.text) << "GetLanguageText(\"" << c.key << "\")";
    EXPECT_EQ(strLanguageFile, path) << "a lookup changes no state";

    LoadLanguageTexts(path.c_str());
    EXPECT_EQ(Slot(c.key), c.slot.value_or(c.text)) << "slot " << c.key << " after LoadLanguageTexts";
  }
}

TEST_F(LanguageFile, LoadFillsEverySlotFromOneFile) {
  // Keys out of table order, CR LF ends, a line of another program between.
  Write(
      "SP#exist=\"Hollowbranch is installed.\"\r\n"
      "OTHER#key=\"not ours\"\r\n"
      "SP#uninstall=\"Uninstall\"\r\n"
      "SP#quit=\"Really quit?\"\r\n"
      "SP#want_to_uninstall=\"Remove Hollowbranch?\"\r\n"
      "BT#cancel=\"Close\"\r\n"
      "SP#repair=\"Repair\"\r\n"
      "SP#install_succeed=\"Start Hollowbranch now?\"\r\n"
      "SP#uninstall_succeed=\"Hollowbranch has been removed.\"\r\n");
  const std::pair<const char*, const char*> expected[] = {
      {"SP#quit", "Really quit?"},
      {"BT#cancel", "Close"},
      {"SP#install_succeed", "Start Hollowbranch now?"},
      {"SP#repair", "Repair"},
      {"SP#uninstall", "Uninstall"},
      {"SP#want_to_uninstall", "Remove Hollowbranch?"},
      {"SP#uninstall_succeed", "Hollowbranch has been removed."},
      {"SP#exist", "Hollowbranch is installed."},
  };

  LoadLanguageTexts(path_.c_str());

  EXPECT_EQ(strLanguageFile, path_) << "the loaded file becomes the current language file";
  for (const auto& [key, text] : expected) EXPECT_EQ(Slot(key), text) << "slot " << key;
}

TEST_F(LanguageFile, LoadReplacesEverySlotAndLeavesKeysWhereTheFileHasNoText) {
  Write("SP#quit=\"Quit?\"\nBT#cancel=\"Close\"\nSP#install_succeed=\"Start?\"\nSP#repair=\"Repair\"\n"
        "SP#uninstall=\"Uninstall\"\nSP#want_to_uninstall=\"Remove?\"\nSP#uninstall_succeed=\"Removed.\"\n"
        "SP#exist=\"Installed.\"\n");
  LoadLanguageTexts(path_.c_str());
  ASSERT_EQ(Slot("SP#exist"), "Installed.");

  struct Case {
    const char* what;
    std::optional<std::string> file;
  };
  const Case cases[] = {
      {"a file with one other key only", "BT#cancel=\"Abort\"\n"s},
      {"a path that names no file", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string path = ScratchPath("absent\\none.lng");
    if (c.file) {
      Write(*c.file);
      path = path_;
    }
    LoadLanguageTexts(path.c_str());
    for (const SlotCapacity& slot : kSlots) {
      const std::string expected = c.file && std::strcmp(slot.key, "BT#cancel") == 0 ? "Abort" : slot.key;
      EXPECT_EQ(Slot(slot.key), expected) << "slot " << slot.key << ": the earlier text must not survive";
    }
  }
}

TEST_F(LanguageFile, TextsLongerThanTheirSlotsAreCutWithoutTouchingOtherSlots) {
  // Each key gets 400 bytes of its own letter: a slot that ran over would
  // show another letter or lose its end in a neighbour.
  std::string file;
  char letter = 'a';
  for (const SlotCapacity& slot : kSlots) file += std::string(slot.key) + "=\"" + std::string(400, letter++) + "\"\n";
  Write(file);

  LoadLanguageTexts(path_.c_str());

  letter = 'a';
  for (const SlotCapacity& slot : kSlots) {
    EXPECT_EQ(Slot(slot.key), std::string(slot.capacity - 1, letter)) << "slot " << slot.key << " (capacity "
                                                                      << slot.capacity << ")";
    ++letter;
  }
}

}  // namespace
