#ifndef SCRIVO_TEST__TEST_SUPPORT_HPP_
#define SCRIVO_TEST__TEST_SUPPORT_HPP_

// Helpers shared by the scrivo tests: a recording handler, stream capture,
// temporary directories and a fixture that puts the library back into its
// initial configuration around every test.

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "scrivo/logging.hpp"
#include "scrivo/output_handler.hpp"

namespace scrivo_test
{

/// One message as a handler received it.
struct Entry
{
  std::string text;
  scrivo::LogLevel level;
  std::string file;
  int line;
};

/// Records every message it receives.
class RecordingHandler : public scrivo::OutputHandler
{
public:
  void log(const std::string & text, scrivo::LogLevel level, const char * filename, int line) override
  {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.push_back(Entry{text, level, filename ? filename : "", line});
  }

  std::vector<Entry> entries() const
  {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_;
  }

  std::size_t count() const
  {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_.size();
  }

private:
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
};

/// The library's state before any test touched it.
struct InitialState
{
  scrivo::LogLevel level;
  scrivo::OutputHandler * current;
  scrivo::OutputHandler * previous;
};

/// Captured on first call; every test file calls it during static
/// initialisation, so this sees the untouched state whatever the test order.
inline const InitialState & initialState()
{
  static const InitialState state = [] {
      InitialState s{};
      s.level = scrivo::getLogLevel();
      s.current = scrivo::getOutputHandler();
      scrivo::restorePreviousOutputHandler();
      s.previous = scrivo::getOutputHandler();
      scrivo::restorePreviousOutputHandler();
      return s;
    }();
  return state;
}

/// What a piece of code wrote to standard output and standard error.
struct Output
{
  std::string out;
  std::string err;
};

inline Output capture(const std::function<void()> & body)
{
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  body();
  Output output;
  output.err = ::testing::internal::GetCapturedStderr();
  output.out = ::testing::internal::GetCapturedStdout();
  return output;
}

inline std::string readFile(const std::string & path)
{
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

/// The second line of a warning or error.
inline std::string locationLine(int line, const std::string & file)
{
  return "         at line " + std::to_string(line) + " in " + file + "\n";
}

/// Console handler current and previous, threshold Warning: the state the
/// library starts in.
class ScrivoTest : public ::testing::Test
{
protected:
  void SetUp() override {reset();}
  void TearDown() override {reset();}

  static void reset()
  {
    scrivo::useOutputHandler(initialState().current);
    scrivo::useOutputHandler(initialState().current);
    scrivo::setLogLevel(scrivo::Warning);
  }
};

/// A fresh directory for files, removed after the test.
class TempDir
{
public:
  TempDir()
  {
    std::string pattern = ::testing::TempDir() + "scrivo_test_XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const char * made = ::mkdtemp(buffer.data());
    path_ = made ? made : "";
  }
  ~TempDir()
  {
    if (!path_.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(path_, ignored);
    }
  }
  TempDir(const TempDir &) = delete;
  TempDir & operator=(const TempDir &) = delete;

  const std::string & path() const {return path_;}
  std::string file(const std::string & name) const {return path_ + "/" + name;}

private:
  std::string path_;
};

}  // namespace scrivo_test

#endif  // SCRIVO_TEST__TEST_SUPPORT_HPP_
