// The text table as the process starts, before any language has been loaded.
// Its own program: any load in the same process would hide the start values.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "lang/language_file.h"
#include "test_support.h"

using namespace hbtest;

namespace {

TEST(TextTableAtStart, OnlyTheQuitQuestionHasATextUntilALoadReplacesIt) {
  EXPECT_EQ(strLanguageFile, "") << "no language file before the first load";
  const std::pair<const char*, const char*> atStart[] = {
      {"SP#quit", "Do you really want to quit the setup of Hollowbranch?"},
      {"BT#cancel", ""},
      {"SP#install_succeed", ""},
      {"SP#repair", ""},
      {"SP#uninstall", ""},
      {"SP#want_to_uninstall", ""},
      {"SP#uninstall_succeed", ""},
      {"SP#exist", ""},
  };
  for (const auto& [key, text] : atStart) EXPECT_EQ(std::string(SlotText(key)), text) << "slot " << key << " at start";

  // A file without "SP#quit" leaves its slot holding the key, not the default.
  ASSERT_TRUE(RemoveTree(ScratchDir()));
  const std::string path = ScratchPath("no_quit.lng");
  ASSERT_TRUE(WriteFileBytes(path, "SP#repair=\"Repair\"\r\n"));
  LoadLanguageTexts(path.c_str());
  EXPECT_EQ(std::string(SlotText("SP#quit")), "SP#quit") << "after a load from a file without SP#quit";
  EXPECT_EQ(std::string(SlotText("SP#repair")), "Repair");
  RemoveTree(ScratchDir());
}

}  // namespace
