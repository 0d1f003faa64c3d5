// Where the settings and the journal lie for each environment.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "TempDir.h"
#include "support/AppPaths.h"
#include "utils/Errors.h"

namespace drs {
namespace {

// Sets or removes environment variables; the old values come back at the end.
class ScopedEnv {
 public:
  ~ScopedEnv() {
    for (const auto& [name, value] : saved_) Put(name.c_str(), value ? value->c_str() : nullptr);
  }
  void Set(const char* name, const char* value) {
    if (!saved_.count(name)) {
      const char* old = std::getenv(name);
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    Put(name, value);
  }

 private:
  static void Put(const char* name, const char* value) {
    if (value)
      ::setenv(name, value, 1);
    else
      ::unsetenv(name);
  }
  std::map<std::string, std::optional<std::string>> saved_;
};

// The folder, or "!" when the call refuses.
std::string FolderOr(std::string (*folder)()) {
  try {
    return folder();
  } catch (const EInOutError&) {
    return "!";
  }
}

TEST(AppPaths, FoldersFollowTheXdgRulesAndNeverTheWorkingFolder) {
  test::TempDir dir;
  const std::string home = dir.File("home"), cfg = dir.File("cfg"), state = dir.File("st");
  const std::string homeSlash = home + "/", cfgSlashes = cfg + "//", work = dir.File("work");
  std::filesystem::create_directories(work);
  const std::string before = std::filesystem::current_path().string();
  ASSERT_EQ(::chdir(work.c_str()), 0);
  struct Case {
    const char* what;
    const char* home;
    const char* config;
    const char* state;
    std::string settings;  // "!": refused
    std::string stateFolder;
  } cases[] = {
      {"home alone", home.c_str(), nullptr, nullptr, home + "/.config/drsprep",
       home + "/.local/state/drsprep"},
      {"absolute variables", home.c_str(), cfg.c_str(), state.c_str(), cfg + "/drsprep", state + "/drsprep"},
      {"relative variables are ignored", home.c_str(), "cfg", "st", home + "/.config/drsprep",
       home + "/.local/state/drsprep"},
      {"empty variables are ignored", home.c_str(), "", "", home + "/.config/drsprep",
       home + "/.local/state/drsprep"},
      {"trailing slashes", homeSlash.c_str(), cfgSlashes.c_str(), nullptr, cfg + "/drsprep",
       home + "/.local/state/drsprep"},
      {"no home, absolute variables", nullptr, cfg.c_str(), state.c_str(), cfg + "/drsprep",
       state + "/drsprep"},
      {"no home, one variable", nullptr, nullptr, state.c_str(), "!", state + "/drsprep"},
      {"no home", nullptr, nullptr, nullptr, "!", "!"},
      {"empty home", "", nullptr, nullptr, "!", "!"},
      {"relative home", "home", nullptr, nullptr, "!", "!"},
      {"no home, relative variables", nullptr, "cfg", "st", "!", "!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedEnv env;
    env.Set("HOME", c.home);
    env.Set("XDG_CONFIG_HOME", c.config);
    env.Set("XDG_STATE_HOME", c.state);
    EXPECT_EQ(FolderOr(SettingsFolder), c.settings);
    EXPECT_EQ(FolderOr(StateFolder), c.stateFolder);
    for (const std::string& folder : {c.settings, c.stateFolder}) {
      if (folder == "!") continue;
      struct stat st;
      ASSERT_EQ(::stat(folder.c_str(), &st), 0) << folder;
      EXPECT_TRUE(S_ISDIR(st.st_mode));
    }
    if (c.stateFolder != "!") {
      EXPECT_EQ(JournalFilePath(), c.stateFolder + "/drscore_tests.jrn");
    }
  }
  // Nothing was made in the working folder, and the folders made are the
  // owner's alone.
  EXPECT_TRUE(std::filesystem::is_empty(work));
  struct stat st;
  ASSERT_EQ(::stat((home + "/.local").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  ScopedEnv env;
  env.Set("HOME", nullptr);
  env.Set("XDG_CONFIG_HOME", nullptr);
  try {
    SettingsFolder();
    ADD_FAILURE() << "no refusal";
  } catch (const EInOutError& e) {
    EXPECT_STREQ(e.what(),
                 "Не найдена папка для настроек: ни HOME, ни XDG_CONFIG_HOME не задают полный путь к папке.");
  }
  ASSERT_EQ(::chdir(before.c_str()), 0);
}

}  // namespace
}  // namespace drs
