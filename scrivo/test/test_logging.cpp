// Free functions, the console handler, threshold, truncation, handler
// swapping and the treatment of levels outside the four.

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "scrivo/scrivo.hpp"
#include "test_support.hpp"

using scrivo_test::capture;
using scrivo_test::Entry;
using scrivo_test::locationLine;
using scrivo_test::Output;
using scrivo_test::RecordingHandler;
using scrivo_test::ScrivoTest;

namespace
{
// Taken before main, so before any test changes the state.
const scrivo_test::InitialState & kInitial = scrivo_test::initialState();

class LoggingTest : public ScrivoTest {};

TEST_F(LoggingTest, DefaultStateDropsInfoAndPrintsWarningsOnStandardErrorWithLocation)
{
  EXPECT_EQ(kInitial.level, scrivo::Warning);
  ASSERT_NE(kInitial.current, nullptr);
  EXPECT_NE(dynamic_cast<scrivo::OutputHandlerSTD *>(kInitial.current), nullptr);
  EXPECT_EQ(kInitial.previous, kInitial.current);

  Output quiet = capture([] {
        scrivo::log(__FILE__, 1, scrivo::Debug, "debug %d", 1);
        scrivo::log(__FILE__, 2, scrivo::Info, "info %d", 2);
      });
  EXPECT_EQ(quiet.out, "");
  EXPECT_EQ(quiet.err, "");

  Output warned = capture([] {scrivo::log("some/file.cpp", 42, scrivo::Warning, "hello %d", 7);});
  EXPECT_EQ(warned.out, "");
  EXPECT_EQ(warned.err, "Warning: hello 7\n" + locationLine(42, "some/file.cpp"));
}

TEST_F(LoggingTest, ConsoleWritesEachLevelWithItsPrefixOnItsStream)
{
  scrivo::setLogLevel(scrivo::Debug);

  Output debug = capture([] {scrivo::log("a.cpp", 1, scrivo::Debug, "d");});
  EXPECT_EQ(debug.out, "Debug:   d\n");
  EXPECT_EQ(debug.err, "");

  Output info = capture([] {scrivo::log("a.cpp", 2, scrivo::Info, "i");});
  EXPECT_EQ(info.out, "Info:    i\n");
  EXPECT_EQ(info.err, "");

  Output warning = capture([] {scrivo::log("b.cpp", 3, scrivo::Warning, "w");});
  EXPECT_EQ(warning.out, "");
  EXPECT_EQ(warning.err, "Warning: w\n" + locationLine(3, "b.cpp"));

  Output error = capture([] {scrivo::log("c/d.cpp", 12, scrivo::Error, "T");});
  EXPECT_EQ(error.out, "");
  EXPECT_EQ(error.err, "Error:   T\n" + locationLine(12, "c/d.cpp"));
}

TEST_F(LoggingTest, ThresholdDropsOnlyLevelsBelowIt)
{
  const scrivo::LogLevel levels[] = {scrivo::Debug, scrivo::Info, scrivo::Warning, scrivo::Error};
  for (scrivo::LogLevel threshold : levels) {
    RecordingHandler handler;
    scrivo::useOutputHandler(&handler);
    scrivo::setLogLevel(threshold);
    EXPECT_EQ(scrivo::getLogLevel(), threshold);
    for (scrivo::LogLevel level : levels) {
      scrivo::log("f.cpp", 1, level, "level %d", static_cast<int>(level));
    }
    std::vector<Entry> entries = handler.entries();
    ASSERT_EQ(entries.size(), static_cast<std::size_t>(4 - threshold)) << "threshold " << threshold;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      EXPECT_EQ(entries[i].level, static_cast<int>(threshold + i));
      EXPECT_EQ(entries[i].text, "level " + std::to_string(threshold + i));
    }
    scrivo::restorePreviousOutputHandler();
  }
}

TEST_F(LoggingTest, MessagesAreCutTo1023Characters)
{
  std::string long_text;
  for (int i = 0; i < 2000; ++i) {
    long_text += static_cast<char>('a' + i % 26);
  }
  RecordingHandler handler;
  scrivo::useOutputHandler(&handler);

  scrivo::log("f.cpp", 1, scrivo::Error, "%s", long_text.c_str());
  scrivo::log("f.cpp", 2, scrivo::Error, "%s", long_text.substr(0, 1023).c_str());
  scrivo::log("f.cpp", 3, scrivo::Error, "%s", long_text.substr(0, 1024).c_str());
  scrivo::log("f.cpp", 4, scrivo::Error, "%01500d", 7);  // long after formatting

  std::vector<Entry> entries = handler.entries();
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].text, long_text.substr(0, 1023));
  EXPECT_EQ(entries[1].text, long_text.substr(0, 1023));
  EXPECT_EQ(entries[2].text, long_text.substr(0, 1023));
  EXPECT_EQ(entries[3].text, std::string(1023, '0'));
}

TEST_F(LoggingTest, RestoreSwapsWithThePreviousHandlerOnly)
{
  RecordingHandler a;
  RecordingHandler b;
  scrivo::useOutputHandler(&a);
  scrivo::useOutputHandler(&b);
  EXPECT_EQ(scrivo::getOutputHandler(), &b);

  scrivo::restorePreviousOutputHandler();
  EXPECT_EQ(scrivo::getOutputHandler(), &a);
  scrivo::log("f.cpp", 1, scrivo::Error, "to a");

  scrivo::restorePreviousOutputHandler();  // one slot: back to b, not further
  EXPECT_EQ(scrivo::getOutputHandler(), &b);
  scrivo::log("f.cpp", 2, scrivo::Error, "to b");

  ASSERT_EQ(a.count(), 1u);
  EXPECT_EQ(a.entries()[0].text, "to a");
  ASSERT_EQ(b.count(), 1u);
  EXPECT_EQ(b.entries()[0].text, "to b");
}

TEST_F(LoggingTest, NoOutputHandlerSilencesUntilRestored)
{
  RecordingHandler handler;
  scrivo::useOutputHandler(&handler);
  scrivo::noOutputHandler();
  EXPECT_EQ(scrivo::getOutputHandler(), nullptr);

  Output silent = capture([] {scrivo::log("f.cpp", 1, scrivo::Error, "dropped");});
  EXPECT_EQ(silent.out, "");
  EXPECT_EQ(silent.err, "");
  EXPECT_EQ(handler.count(), 0u);

  scrivo::restorePreviousOutputHandler();
  EXPECT_EQ(scrivo::getOutputHandler(), &handler);
  scrivo::log("f.cpp", 2, scrivo::Error, "kept");
  ASSERT_EQ(handler.count(), 1u);
  EXPECT_EQ(handler.entries()[0].text, "kept");

  scrivo::restorePreviousOutputHandler();  // a second restore silences again
  EXPECT_EQ(scrivo::getOutputHandler(), nullptr);
  scrivo::log("f.cpp", 3, scrivo::Error, "dropped again");
  EXPECT_EQ(handler.count(), 1u);

  scrivo::useOutputHandler(nullptr);  // a null handler is also "off"
  EXPECT_EQ(scrivo::getOutputHandler(), nullptr);
}

TEST_F(LoggingTest, CustomHandlerGetsFormattedTextLevelAndCallerLocation)
{
  RecordingHandler handler;
  scrivo::useOutputHandler(&handler);
  scrivo::setLogLevel(scrivo::Debug);

  const int debug_line = __LINE__; SCRIVO_DEBUG("plain");
  const int info_line = __LINE__; SCRIVO_INFO("%s=%d", "x", -3);
  const int warn_line = __LINE__; SCRIVO_WARN("%.2f %c", 1.5, 'q');
  const int error_line = __LINE__; SCRIVO_ERROR("%5s|", "ab");

  std::vector<Entry> entries = handler.entries();
  ASSERT_EQ(entries.size(), 4u);
  const std::string file = __FILE__;
  EXPECT_EQ(entries[0].text, "plain");
  EXPECT_EQ(entries[0].level, scrivo::Debug);
  EXPECT_EQ(entries[0].line, debug_line);
  EXPECT_EQ(entries[1].text, "x=-3");
  EXPECT_EQ(entries[1].level, scrivo::Info);
  EXPECT_EQ(entries[1].line, info_line);
  EXPECT_EQ(entries[2].text, "1.50 q");
  EXPECT_EQ(entries[2].level, scrivo::Warning);
  EXPECT_EQ(entries[2].line, warn_line);
  EXPECT_EQ(entries[3].text, "   ab|");
  EXPECT_EQ(entries[3].level, scrivo::Error);
  EXPECT_EQ(entries[3].line, error_line);
  for (const Entry & entry : entries) {
    EXPECT_EQ(entry.file, file);
  }

  // The console prints the macro's location in the second line.
  scrivo::restorePreviousOutputHandler();
  int line = 0;
  Output error = capture([&line] {line = __LINE__; SCRIVO_ERROR("at %s", "here");});
  EXPECT_EQ(error.err, "Error:   at here\n" + locationLine(line, file));
}

TEST_F(LoggingTest, LevelsOutsideTheFourAreTreatedAsTheNearestLevel)
{
  const scrivo::LogLevel too_high[] = {
    static_cast<scrivo::LogLevel>(4), static_cast<scrivo::LogLevel>(1000),
    static_cast<scrivo::LogLevel>(INT_MAX)};
  const scrivo::LogLevel too_low[] = {
    static_cast<scrivo::LogLevel>(-1), static_cast<scrivo::LogLevel>(-1000),
    static_cast<scrivo::LogLevel>(INT_MIN)};

  // Through the library: the handler only ever sees one of the four levels.
  RecordingHandler handler;
  scrivo::useOutputHandler(&handler);
  scrivo::setLogLevel(scrivo::Debug);
  for (scrivo::LogLevel level : too_high) {
    scrivo::log("f.cpp", 1, level, "high");
  }
  for (scrivo::LogLevel level : too_low) {
    scrivo::log("f.cpp", 2, level, "low");
  }
  std::vector<Entry> entries = handler.entries();
  ASSERT_EQ(entries.size(), 6u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(entries[i].level, scrivo::Error);
    EXPECT_EQ(entries[i + 3].level, scrivo::Debug);
  }

  // A too-low message counts as Debug against the threshold, too-high as Error.
  scrivo::setLogLevel(scrivo::Info);
  scrivo::log("f.cpp", 3, static_cast<scrivo::LogLevel>(-1), "dropped as debug");
  scrivo::setLogLevel(scrivo::Error);
  scrivo::log("f.cpp", 4, static_cast<scrivo::LogLevel>(9), "kept as error");
  entries = handler.entries();
  ASSERT_EQ(entries.size(), 7u);
  EXPECT_EQ(entries[6].text, "kept as error");

  // The threshold is clamped likewise: Error still passes a too-high one.
  scrivo::setLogLevel(static_cast<scrivo::LogLevel>(42));
  EXPECT_EQ(scrivo::getLogLevel(), scrivo::Error);
  scrivo::log("f.cpp", 5, scrivo::Error, "still an error");
  EXPECT_EQ(handler.count(), 8u);
  scrivo::setLogLevel(static_cast<scrivo::LogLevel>(-42));
  EXPECT_EQ(scrivo::getLogLevel(), scrivo::Debug);

  // The console handler, through the library and called directly.
  scrivo::restorePreviousOutputHandler();
  Output high = capture([&too_high] {
        scrivo::log("g.cpp", 7, too_high[2], "big");
        scrivo::OutputHandlerSTD console;
        console.log("direct", too_high[1], "h.cpp", 8);
      });
  EXPECT_EQ(high.out, "");
  EXPECT_EQ(high.err,
    "Error:   big\n" + locationLine(7, "g.cpp") + "Error:   direct\n" + locationLine(8, "h.cpp"));
  Output low = capture([&too_low] {
        scrivo::log("g.cpp", 9, too_low[2], "small");
        scrivo::OutputHandlerSTD console;
        console.log("direct", too_low[1], "h.cpp", 10);
      });
  EXPECT_EQ(low.out, "Debug:   small\nDebug:   direct\n");
  EXPECT_EQ(low.err, "");
}

TEST_F(LoggingTest, NullFileNameOrFormatDoesNotBreakTheConsole)
{
  const char * no_format = nullptr;
  Output output = capture([no_format] {
        scrivo::log(nullptr, 5, scrivo::Warning, "no file");
        scrivo::log("f.cpp", 6, scrivo::Error, no_format);
        scrivo::log("f.cpp", 7, scrivo::Error, "still %s", "working");
      });
  EXPECT_EQ(output.err,
    "Warning: no file\n" + locationLine(5, "(null)") +
    "Error:   \n" + locationLine(6, "f.cpp") +
    "Error:   still working\n" + locationLine(7, "f.cpp"));
}

}  // namespace
