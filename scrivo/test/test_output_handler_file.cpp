// The file handler: layout, flushing, append mode and an unopenable path.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "scrivo/scrivo.hpp"
#include "test_support.hpp"

using scrivo_test::capture;
using scrivo_test::locationLine;
using scrivo_test::Output;
using scrivo_test::readFile;
using scrivo_test::ScrivoTest;
using scrivo_test::TempDir;

namespace
{
const scrivo_test::InitialState & kInitial = scrivo_test::initialState();

class OutputHandlerFileTest : public ScrivoTest
{
protected:
  void SetUp() override
  {
    ScrivoTest::SetUp();
    ASSERT_FALSE(dir_.path().empty());
  }

  TempDir dir_;
};

TEST_F(OutputHandlerFileTest, WritesOneLineForDebugInfoAndTwoForWarningErrorFlushedAtOnce)
{
  const std::string path = dir_.file("layout.log");
  scrivo::OutputHandlerFile handler(path.c_str());
  handler.log("d", scrivo::Debug, "a.cpp", 1);
  handler.log("i", scrivo::Info, "a.cpp", 2);
  handler.log("w", scrivo::Warning, "b.cpp", 3);
  handler.log("T", scrivo::Error, "F", 12);

  // Read while the handler is still open: every message is already flushed.
  EXPECT_EQ(readFile(path),
    "Debug:   d\n"
    "Info:    i\n"
    "Warning: w\n" + locationLine(3, "b.cpp") +
    "Error:   T\n" + locationLine(12, "F"));
}

TEST_F(OutputHandlerFileTest, ReceivesLibraryMessagesInsteadOfTheConsole)
{
  const std::string path = dir_.file("library.log");
  int line = 0;
  Output output = capture([&] {
        scrivo::OutputHandlerFile handler(path.c_str());
        scrivo::useOutputHandler(&handler);
        scrivo::log("x.cpp", 5, scrivo::Info, "below the threshold");
        line = __LINE__; SCRIVO_ERROR("disk %s at %d%%", "full", 99);
        scrivo::restorePreviousOutputHandler();
      });
  EXPECT_EQ(output.out, "");
  EXPECT_EQ(output.err, "");
  EXPECT_EQ(readFile(path), "Error:   disk full at 99%\n" + locationLine(line, __FILE__));
  EXPECT_EQ(scrivo::getOutputHandler(), kInitial.current);
}

TEST_F(OutputHandlerFileTest, MissingDirectoryIsReportedOnceThenEverythingIsDropped)
{
  const std::string path = dir_.file("missing/dir/x.log");
  scrivo::OutputHandlerFile * handler = nullptr;
  Output opened = capture([&] {handler = new scrivo::OutputHandlerFile(path.c_str());});
  EXPECT_EQ(opened.out, "");
  EXPECT_EQ(opened.err, "Unable to open log file: '" + path + "'\n");

  Output later = capture([&] {
        handler->log("direct", scrivo::Error, "f.cpp", 1);
        scrivo::useOutputHandler(handler);
        scrivo::log("f.cpp", 2, scrivo::Error, "through the library");
        scrivo::restorePreviousOutputHandler();
        delete handler;
      });
  EXPECT_EQ(later.out, "");
  EXPECT_EQ(later.err, "");
  EXPECT_FALSE(std::filesystem::exists(dir_.file("missing")));
}

TEST_F(OutputHandlerFileTest, AppendsToAnExistingFileWithoutTruncating)
{
  const std::string path = dir_.file("append.log");
  {
    std::ofstream existing(path);
    existing << "written before\n";
  }
  {
    scrivo::OutputHandlerFile first(path.c_str());
    first.log("first", scrivo::Info, "a.cpp", 1);
  }
  Output closing = capture([&] {
        scrivo::OutputHandlerFile second(path.c_str());
        second.log("second", scrivo::Warning, "b.cpp", 2);
      });
  EXPECT_EQ(closing.err, "");  // a successful close reports nothing
  EXPECT_EQ(readFile(path),
    "written before\n"
    "Info:    first\n"
    "Warning: second\n" + locationLine(2, "b.cpp"));
}

TEST_F(OutputHandlerFileTest, LevelsOutsideTheFourUseTheNearestPrefix)
{
  const std::string path = dir_.file("range.log");
  scrivo::OutputHandlerFile handler(path.c_str());
  handler.log("high", static_cast<scrivo::LogLevel>(99), "a.cpp", 1);
  handler.log("low", static_cast<scrivo::LogLevel>(-7), "a.cpp", 2);
  EXPECT_EQ(readFile(path), "Error:   high\n" + locationLine(1, "a.cpp") + "Debug:   low\n");
}

}  // namespace
