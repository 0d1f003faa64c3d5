// Bad deal reports through drsprep-batch list: the program answers each with
// its message and exit code within seconds, never a crash or a hang.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "TempDir.h"
#include "utils/Cp1251.h"

namespace drs {
namespace {

const char kFormat[] =
    "[IntValues]\r\nFieldSep=0\r\nDecSep=1\r\n[ExtFormat]\r\nCount=7\r\n"
    "Item0=Сделка;1;Да;1;70;;6;;\r\nItem1=Заявка;2;Да;2;70;;5;;\r\nItem2=Счет;3;Да;3;80;;0;;\r\n"
    "Item3=ЦБ;4;Да;4;90;;1;;\r\nItem4=Оп;5;Да;5;40;;4;;\r\nItem5=Цена;6;Да;6;70;;3;;\r\n"
    "Item6=Лоты;7;Да;7;60;;2;;\r\n";

struct BatchRun {
  int exitCode = -1;  // -1: killed by the time limit or a signal
  std::string out;    // stdout and stderr together
};

class BatchBadReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    batch_ = DRS_BATCH;
    test::WriteBytes(dir.File("f.ini"), Utf8ToCp1251(kFormat));
    test::WriteBytes(dir.File("empty.txt"), "");
  }
  BatchRun List(const std::string& report) {
    const std::string command = "cd '" + dir.Path() + "' && XDG_CONFIG_HOME='" + dir.Path() +
                                "' timeout -s KILL 30 '" + batch_ +
                                "' list --format f.ini --replace-list empty.txt" +
                                " --min 100 --max 200 --report '" + report + "' 2>&1";
    BatchRun run;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return run;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) run.out.append(buf, n);
    int status = ::pclose(pipe);
    if (WIFEXITED(status) && WEXITSTATUS(status) != 137) run.exitCode = WEXITSTATUS(status);
    return run;
  }

  test::TempDir dir;

 private:
  std::string batch_;
};

TEST_F(BatchBadReportTest, OddButReadableReportsAreListed) {
  using namespace std::string_literals;
  struct Case {
    const char* what;
    std::string bytes;
    const char* counters;
  } cases[] = {
      {"CR only", "1;10;150;SBER;B;1.5;2\r2;11;160;GAZP;S;2.5;3\r",
       "Всего 2 сделок\nОтмеченных  сделок: 2\n"},
      {"LF only, no final end", "1;10;150;SBER;B;1.5;2\n2;11;160;GAZP;S;2.5;3",
       "Всего 2 сделок\nОтмеченных  сделок: 2\n"},
      {"NUL bytes",
       "1;1\0"
       "0;150;SB\0ER;B;1.5;2\r\n\0\r\n"s,
       "Всего 2 сделок\nОтмеченных  сделок: 1\n"},
      {"0x98", "1;10;150;\x98;B;1.5;2\r\n", "Всего 1 сделок\nОтмеченных  сделок: 1\n"},
      {"1 MB line", "1;" + std::string(1 << 20, 'x') + ";150;SBER;B;1.5;2\r\n",
       "Всего 1 сделок\nОтмеченных  сделок: 1\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::WriteBytes(dir.File("r.txt"), c.bytes);
    BatchRun run = List("r.txt");
    EXPECT_EQ(run.exitCode, 0) << run.out.substr(0, 300);
    ASSERT_GE(run.out.size(), std::string(c.counters).size());
    EXPECT_EQ(run.out.substr(run.out.size() - std::string(c.counters).size()), c.counters);
  }
}

TEST_F(BatchBadReportTest, ThingsThatAreNoReportAreRefusedAtOnce) {
  ASSERT_EQ(::mkfifo(dir.File("pipe.txt").c_str(), 0644), 0);
  std::filesystem::create_directory(dir.File("folder"));
  struct Case {
    std::string report;
    std::string message;
  } cases[] = {
      {"missing.txt", "Файл missing.txt  не найден."},
      {"folder", "Файл folder  не найден."},
      {"pipe.txt", "Ошибка чтения файла pipe.txt: Это не обычный файл"},
      {"/dev/zero", "Ошибка чтения файла /dev/zero: Это не обычный файл"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.report);
    BatchRun run = List(c.report);
    EXPECT_EQ(run.exitCode, 1) << "exit -1 means it hung or crashed";
    EXPECT_NE(run.out.find(c.message), std::string::npos) << run.out;
  }
}

}  // namespace
}  // namespace drs
