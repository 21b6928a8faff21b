// Load and one change (a durable Add, and an Update) with 100, 1,000 and 10,000 entries.
// Goal: Load of 10,000 under 50 ms, one change under 20 ms including the durable write.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "addressbook/AddressBookStore.h"
#include "addressbook/ContactLine.h"

namespace {

struct Folder {
    std::filesystem::path path;
    Folder()
    {
        // Beside the build (a real disk), not /tmp, so the fsync is what the user's disk pays.
        char pattern[] = "zelora-ab-bench-XXXXXX";
        path = std::filesystem::absolute(::mkdtemp(pattern));
    }
    ~Folder() { std::filesystem::remove_all(path); }
};

AddressBookStore::Hooks Hooks()
{
    AddressBookStore::Hooks h;
    h.readIsFirstTime = [](int& old) {
        old = 0;
        return 1;
    };
    h.readLastCheckTs = []() { return std::string(); };
    h.writeLastCheckTs = [](const std::string&) { return 1; };
    h.setPending = [](bool) {};
    return h;
}

ContactRecord Record(long i)
{
    ContactRecord r;
    r.flag = '1';
    r.entryNumber = std::to_string(i);
    r.name = " ";
    r.firstName = "First" + std::to_string(i);
    r.lastName = "Family name";
    r.email = "user" + std::to_string(i) + "@example.com";
    r.mobile = "+49170" + std::to_string(1000000 + i);
    r.voip = std::to_string(4000 + i);
    r.birthDate = "1975-03-09";
    r.comments = "met at the conference";
    return r;
}

void WriteBook(const Folder& folder, long count)
{
    std::ofstream out(folder.path / "zeloraTALKAddress1001.ini");
    out << "[zeloraTALK]\n";
    for (long i = 0; i < count; ++i)
        out << ContactLine::Key(static_cast<std::size_t>(i)) << " = " << ContactLine::Format(Record(i + 1)) << "\n";
}

void BM_Load(benchmark::State& state)
{
    Folder folder;
    WriteBook(folder, state.range(0));
    for (auto _ : state) {
        AddressBookStore store(folder.path.string(), "zelora", "p", Hooks());
        store.Load("1001");
        benchmark::DoNotOptimize(store.Count());
    }
}

void BM_AddOne(benchmark::State& state)
{
    Folder folder;
    WriteBook(folder, state.range(0));
    AddressBookStore store(folder.path.string(), "zelora", "p", Hooks());
    store.Load("1001");
    long next = state.range(0) + 1;
    for (auto _ : state) {
        // Delete then re-add keeps the size fixed; only the Add is timed.
        state.PauseTiming();
        store.MarkDeleted(0);
        state.ResumeTiming();
        store.Add(Record(++next));
    }
}

void BM_UpdateOne(benchmark::State& state)
{
    Folder folder;
    WriteBook(folder, state.range(0));
    AddressBookStore store(folder.path.string(), "zelora", "p", Hooks());
    store.Load("1001");
    ContactRecord r = Record(state.range(0) / 2);
    int n = 0;
    for (auto _ : state) {
        r.comments = "changed " + std::to_string(++n);
        store.Update(r);
    }
}

} // namespace

BENCHMARK(BM_Load)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddOne)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UpdateOne)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
