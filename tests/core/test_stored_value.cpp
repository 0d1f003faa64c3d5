// A window's stored values read the same in the window and in drsprep-batch:
// a check box kept as 1/0 or by name, whole numbers, and what is unreadable.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "TempDir.h"
#include "support/SettingsFile.h"
#include "support/StoredValue.h"

namespace drs {
namespace {

TEST(StoredValueTest, FlagsAndNumbersDecodeOneWay) {
  struct Case {
    const char* text;
    std::optional<bool> flag;
    std::optional<int> number;
  };
  const Case cases[] = {
      {"1", true, 1},       {"0", false, 0},      {"True", true, {}}, {"true", true, {}}, {"TRUE", true, {}},
      {"False", false, {}}, {"false", false, {}}, {"2", true, 2},     {"-1", true, -1},   {" 0", false, 0},
      {"", {}, {}},         {"Да", {}, {}},       {"Truely", {}, {}}, {"1x", {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(DecodeStoredFlag(c.text), c.flag);
    EXPECT_EQ(DecodeStoredInt(c.text), c.number);
  }
  for (bool on : {false, true}) EXPECT_EQ(DecodeStoredFlag(EncodeStoredFlag(on)), on);
  for (int n : {-1, 0, 7, 2147483647}) EXPECT_EQ(DecodeStoredInt(EncodeStoredInt(n)), n);
}

TEST(StoredValueTest, BatchReadsTheWindowsSection) {
  test::TempDir dir;
  const char* before = std::getenv("XDG_CONFIG_HOME");
  const std::string kept = before ? before : "";
  ::setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
  std::filesystem::create_directories(dir.Path() + "/drsprep");
  test::WriteBytes(
      dir.Path() + "/drsprep/drsprep.INI",
      "[TMMVBForm]\r\nSqueeseClientCheckBox.Checked=True\r\nSqueeseClaineCheckBox.Checked=yes\r\n"
      "WriteModeRadioGroup.ItemIndex=1\r\n");
  EXPECT_TRUE(ReadMainWindowFlag(mainwindow::kSqueezeClients));
  EXPECT_FALSE(ReadMainWindowFlag(mainwindow::kSqueezeOrders));  // unreadable: as the box starts
  EXPECT_EQ(ReadMainWindowIndex(mainwindow::kWriteMode), 1);
  EXPECT_EQ(ReadMainWindowIndex(mainwindow::kOborotMode), -1);  // absent
  if (before)
    ::setenv("XDG_CONFIG_HOME", kept.c_str(), 1);
  else
    ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace drs
