// Cost of a dropped message and throughput of the file handler.
//
//   bench_scrivo [--benchmark_filter=...]
//
// BelowThreshold should stay within about 30 ns: one lock, one comparison,
// no formatting. FileHandler reports messages per second as items_per_second;
// every message is flushed to the file, so this is bounded by the write path.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <string>

#include "scrivo/scrivo.hpp"

namespace
{

void BelowThreshold(benchmark::State & state)
{
  scrivo::setLogLevel(scrivo::Error);
  int value = 0;
  for (auto _ : state) {
    scrivo::log(__FILE__, __LINE__, scrivo::Debug, "value %d %s", value, "text");
    benchmark::DoNotOptimize(++value);
  }
  scrivo::setLogLevel(scrivo::Warning);
}
BENCHMARK(BelowThreshold);

void NoOutputHandler(benchmark::State & state)
{
  scrivo::noOutputHandler();
  int value = 0;
  for (auto _ : state) {
    scrivo::log(__FILE__, __LINE__, scrivo::Error, "value %d %s", value, "text");
    benchmark::DoNotOptimize(++value);
  }
  scrivo::restorePreviousOutputHandler();
}
BENCHMARK(NoOutputHandler);

// Range: 0 = Info (one line), 1 = Error (two lines).
void FileHandler(benchmark::State & state)
{
  char path[] = "/tmp/scrivo_bench_XXXXXX";
  const int fd = ::mkstemp(path);
  if (fd < 0) {
    state.SkipWithError("cannot create a temporary file");
    return;
  }
  ::close(fd);
  const scrivo::LogLevel level = state.range(0) == 0 ? scrivo::Info : scrivo::Error;
  {
    scrivo::OutputHandlerFile handler(path);
    scrivo::useOutputHandler(&handler);
    scrivo::setLogLevel(scrivo::Debug);
    int value = 0;
    for (auto _ : state) {
      scrivo::log(__FILE__, __LINE__, level, "message %d with a typical payload of %s", ++value,
        "some words");
    }
    scrivo::setLogLevel(scrivo::Warning);
    scrivo::restorePreviousOutputHandler();
  }
  std::remove(path);
  state.SetItemsProcessed(state.iterations());
  state.SetLabel(level == scrivo::Info ? "info, one line" : "error, two lines");
}
BENCHMARK(FileHandler)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
