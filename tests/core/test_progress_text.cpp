// The progress window's counter, gauge, elapsed time and geometry.
#include <gtest/gtest.h>

#include "support/Progress.h"

using namespace drs;

TEST(ProgressText, Counter) {
  EXPECT_EQ(ProgressCounterText(5, 100), "( 5 / 100 )");
  EXPECT_EQ(ProgressCounterText(7, -1), "( 7 )");
  EXPECT_EQ(ProgressCounterText(0, 0), "( 0 / 0 )");
}

TEST(ProgressText, ElapsedTime) {
  EXPECT_EQ(ElapsedTimeText(400), "");
  EXPECT_EQ(ElapsedTimeText(999), "");
  EXPECT_EQ(ElapsedTimeText(-5000), "");
  EXPECT_EQ(ElapsedTimeText(65'000), "1 мин. 5 сек.");
  EXPECT_EQ(ElapsedTimeText(65'999), "1 мин. 5 сек.");  // milliseconds dropped
  EXPECT_EQ(ElapsedTimeText(3'600'000), "1 час. ");
  EXPECT_EQ(ElapsedTimeText(120'000), "2 мин. ");
  EXPECT_EQ(ElapsedTimeText(((24 + 2) * 3600 + 3 * 60 + 4) * 1000LL), "1 сут. 2 час. 3 мин. 4 сек.");
  EXPECT_EQ(ElapsedTimeText(3 * 86'400'000LL), "3 сут. ");
}

TEST(ProgressGaugeTest, RedrawsOnlyWhenMaximumOrWholePercentChanges) {
  ProgressGauge g;
  EXPECT_TRUE(g.Set(1, 100));
  EXPECT_EQ(g.Percent(), 1);
  EXPECT_FALSE(g.Set(1, 100));
  ProgressGauge big;
  int redraws = 0;
  for (long long i = 0; i <= 100000; ++i) redraws += big.Set(i, 100000) ? 1 : 0;
  EXPECT_EQ(redraws, 101);  // first report fixes the maximum at 0 %, then 1 … 100
  EXPECT_EQ(big.Percent(), 100);
  EXPECT_EQ(big.Maximum(), 100000);
}

TEST(ProgressGaugeTest, WithoutTotalHalfFullAndHeldInRange) {
  ProgressGauge g;
  g.Set(7, -1);
  EXPECT_EQ(g.Maximum(), 14);
  EXPECT_EQ(g.Progress(), 7);
  EXPECT_EQ(g.Percent(), 50);
  g.Set(150, 100);
  EXPECT_EQ(g.Progress(), 100);
  EXPECT_EQ(g.Percent(), 100);
  g.Set(0, 0);
  EXPECT_EQ(g.Percent(), 0);
  g.Set(1, 3);
  EXPECT_EQ(g.Percent(), 33);
}

TEST(ProgressGeometry, HeightCapAndCascade) {
  EXPECT_EQ(ProgressWindowHeight(103, 1, 1024), 103);
  EXPECT_EQ(ProgressWindowHeight(103, 3, 1024), 143);
  EXPECT_EQ(ProgressWindowHeight(103, 20, 600), 400);
  EXPECT_EQ(ProgressWindowOrigin(1280, 355, 1), 462);
  EXPECT_EQ(ProgressWindowOrigin(1280, 355, 2), 482);
  EXPECT_EQ(ProgressWindowOrigin(1281, 356, 1), 462);
}

TEST(ProgressTerminate, MessageNamesStepAndCounter) {
  EProgressTerminate e(" Экспорт данных", ProgressCounterText(5, 100), 5);
  EXPECT_STREQ(e.what(), "Процесс прерван на шаге ' Экспорт данных' ( 5 / 100 )");
  EXPECT_EQ(e.Step(), " Экспорт данных");
  EXPECT_EQ(e.Position(), 5);
  const std::runtime_error& base = e;
  EXPECT_STREQ(base.what(), e.what());
}
