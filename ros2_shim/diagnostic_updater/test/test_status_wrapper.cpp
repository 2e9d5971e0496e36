// DiagnosticStatusWrapper: summaries, merging and how values are written.
#include <gtest/gtest.h>

#include <string>

#include "diagnostic_updater/DiagnosticStatusWrapper.hpp"

using diagnostic_updater::DiagnosticStatusWrapper;

namespace
{

TEST(DiagnosticStatusWrapper, ValuesAreWrittenAsOnHumble)
{
  DiagnosticStatusWrapper stat;
  stat.add("flag_true", true);
  stat.add("flag_false", false);
  stat.add("dbl", 0.5);
  stat.add("big", 1e6);
  stat.add("pi", 3.14159265);
  stat.add("int", 42);
  stat.add("text", std::string("as is"));
  stat.add("literal", "also as is");
  stat.addf("fmt", "%d-%s", 7, "x");
  const std::vector<std::pair<std::string, std::string>> expected = {
    {"flag_true", "True"}, {"flag_false", "False"}, {"dbl", "0.5"}, {"big", "1e+06"},
    {"pi", "3.14159"}, {"int", "42"}, {"text", "as is"}, {"literal", "also as is"},
    {"fmt", "7-x"}};
  ASSERT_EQ(stat.values.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(stat.values[i].key, expected[i].first);
    EXPECT_EQ(stat.values[i].value, expected[i].second) << expected[i].first;
  }
  stat.clear();
  EXPECT_TRUE(stat.values.empty());
}

TEST(DiagnosticStatusWrapper, SummaryForms)
{
  DiagnosticStatusWrapper stat;
  stat.summary(DiagnosticStatusWrapper::WARN, "careful");
  EXPECT_EQ(stat.level, DiagnosticStatusWrapper::WARN);
  EXPECT_EQ(stat.message, "careful");

  stat.summaryf(DiagnosticStatusWrapper::ERROR, "%s %d", "code", 3);
  EXPECT_EQ(stat.level, DiagnosticStatusWrapper::ERROR);
  EXPECT_EQ(stat.message, "code 3");

  // A very long formatted text is cut, not overrun.
  const std::string long_text(5000, 'x');
  stat.summaryf(DiagnosticStatusWrapper::OK, "%s", long_text.c_str());
  EXPECT_EQ(stat.message.size(), 999u);

  diagnostic_msgs::msg::DiagnosticStatus src;
  src.level = DiagnosticStatusWrapper::STALE;
  src.message = "stale";
  stat.summary(src);
  EXPECT_EQ(stat.level, DiagnosticStatusWrapper::STALE);
  EXPECT_EQ(stat.message, "stale");

  stat.clearSummary();
  EXPECT_EQ(stat.level, DiagnosticStatusWrapper::OK);
  EXPECT_EQ(stat.message, "");
}

TEST(DiagnosticStatusWrapper, MergeSummaryKeepsTheWorstAndJoinsProblems)
{
  DiagnosticStatusWrapper stat;
  stat.summary(DiagnosticStatusWrapper::OK, "fine");
  stat.mergeSummary(DiagnosticStatusWrapper::OK, "also fine");
  EXPECT_EQ(stat.level, DiagnosticStatusWrapper::OK);
  EXPECT_EQ(stat.message, "fine");

  stat.mergeSummary(DiagnosticStatusWrapper::WARN, "low battery");
  EXPECT_EQ(stat.level, DiagnosticStatusWrapper::WARN);
  EXPECT_EQ(stat.message, "low battery");

  stat.mergeSummary(DiagnosticStatusWrapper::ERROR, "motor stalled");
  EXPECT_EQ(stat.level, DiagnosticStatusWrapper::ERROR);
  EXPECT_EQ(stat.message, "low battery; motor stalled");

  stat.mergeSummaryf(DiagnosticStatusWrapper::WARN, "temp %d", 80);
  EXPECT_EQ(stat.level, DiagnosticStatusWrapper::ERROR);
  EXPECT_EQ(stat.message, "low battery; motor stalled; temp 80");

  // No separator in front of the first problem when the message was empty.
  DiagnosticStatusWrapper empty;
  empty.summary(DiagnosticStatusWrapper::WARN, "");
  empty.mergeSummary(DiagnosticStatusWrapper::ERROR, "first");
  EXPECT_EQ(empty.message, "first");

  diagnostic_msgs::msg::DiagnosticStatus src;
  src.level = DiagnosticStatusWrapper::STALE;
  src.message = "no data";
  empty.mergeSummary(src);
  EXPECT_EQ(empty.level, DiagnosticStatusWrapper::STALE);
  EXPECT_EQ(empty.message, "first; no data");
}

}  // namespace
