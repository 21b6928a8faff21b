// Cost of a log call the threshold suppresses, and of a written (flushed) line.
#include "app/CLogger.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

std::string scratchLog()
{
    std::string dir = (std::filesystem::temp_directory_path() / "zelora-bench-XXXXXX").string();
    if (mkdtemp(dir.data()) == nullptr)
        std::abort();
    return dir + "/bench.log";
}

void BM_SuppressedCall(benchmark::State& state)
{
    std::string path = scratchLog();
    CLogger::Open(path);
    CLogger::SetLevel(LOG_DEBUG);
    int line = 0;
    for (auto _ : state) {
        ++line;
        int rc = CLogger::Log(LOG_INFO, "", line, "CBench::Suppressed", "value %d text %s", line, "payload");
        benchmark::DoNotOptimize(rc);
    }
    CLogger::Exit();
    CLogger::SetLevel(LOG_INFO);
    std::filesystem::remove_all(std::filesystem::path(path).parent_path());
}
BENCHMARK(BM_SuppressedCall);

void BM_WrittenLine(benchmark::State& state)
{
    std::string path = scratchLog();
    CLogger::Open(path);
    CLogger::SetLevel(LOG_INFO);
    // Large enough that rotation does not dominate, small enough to exercise it.
    CLogger::SetMaxFileSize(64L * 1024 * 1024);
    int line = 0;
    for (auto _ : state) {
        ++line;
        int rc = CLogger::Log(LOG_INFO, "", line, "CBench::Written", "value %d text %s", line, "payload");
        benchmark::DoNotOptimize(rc);
    }
    state.SetItemsProcessed(state.iterations());
    CLogger::Exit();
    CLogger::SetMaxFileSize(1048576);
    std::filesystem::remove_all(std::filesystem::path(path).parent_path());
}
BENCHMARK(BM_WrittenLine);

} // namespace

BENCHMARK_MAIN();
