// The scan loop through the C++ pipeline, without Python: scanners built with
// build_scanner from benchmarks/definitions/, run over the workloads that
// `benchmarks/run.py prepare` writes, next to a re2c lexer for the JSON.
//
//   pipeline_bench --workloads=DIR [google benchmark flags]
//
// Every scan reports `tokens` and an order-sensitive `checksum` over (type,
// start, end), so the quarn and re2c streams can be compared in the output.
#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

#include "json_re2c.hpp"
#include "quarn/pipeline/build_scanner.hpp"
#include "quarn/runtime/find_matches.hpp"

namespace {

namespace fs = std::filesystem;
using quarn::bench::TokenTally;

fs::path workload_dir = "benchmarks/.work/data";

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    std::ostringstream out;
    out << in.rdbuf();
    return std::move(out).str();
}

// Definitions live next to this file's folder; workloads are loaded once.
const std::string& definition(const std::string& name) {
    static std::map<std::string, std::string> cache;
    auto [it, inserted] = cache.try_emplace(name);
    if (inserted)
        it->second = read_file(fs::path(__FILE__).parent_path().parent_path() / "definitions" /
                               (name + ".quarn"));
    return it->second;
}

const std::string* workload(const std::string& name) {
    static std::map<std::string, std::unique_ptr<std::string>> cache;
    auto [it, inserted] = cache.try_emplace(name);
    if (inserted) {
        const fs::path path = workload_dir / (name + ".txt");
        if (fs::exists(path))
            it->second = std::make_unique<std::string>(read_file(path));
    }
    return it->second.get();
}

quarn::pipeline::Scanner build(const std::string& name) {
    auto built = quarn::pipeline::build_scanner(definition(name));
    if (!built)
        throw std::runtime_error(built.error().message);
    return std::move(built).value();
}

void report(benchmark::State& state, const std::string& text, const TokenTally& tally) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.counters["tokens"] = static_cast<double>(tally.tokens);
    state.counters["checksum"] = static_cast<double>(tally.checksum);
}

// Tokens in batches (what the Python methods and the bulk API use), or one
// next_match() call per token.
template <class Iter, bool kBatches = true>
void scan(benchmark::State& state, const std::string& definition_name,
          const std::string& workload_name) {
    const std::string* text = workload(workload_name);
    if (text == nullptr) {
        state.SkipWithError(
            ("no workload " + workload_name + " in " + workload_dir.string()).c_str());
        return;
    }
    const quarn::pipeline::Scanner scanner = build(definition_name);
    const auto input = quarn::runtime::ValidatedUtf8::trusted(*text);
    TokenTally tally;
    for (auto _ : state) {
        tally = {};
        quarn::runtime::ModeState modes;
        quarn::runtime::BasicFindMatches<Iter> matches(input, scanner, modes);
        if constexpr (kBatches) {
            quarn::runtime::Match batch[64];
            while (const std::size_t count = matches.next_matches(batch)) {
                for (std::size_t i = 0; i < count; ++i)
                    tally.add(batch[i].token_type, batch[i].span.start, batch[i].span.end);
            }
        } else {
            quarn::runtime::Match match;
            while (matches.next_match(match))
                tally.add(match.token_type, match.span.start, match.span.end);
        }
        benchmark::DoNotOptimize(tally);
    }
    report(state, *text, tally);
}

void scan_json_re2c(benchmark::State& state) {
    const std::string* text = workload("json");
    if (text == nullptr) {
        state.SkipWithError("no json workload");
        return;
    }
    TokenTally tally;
    for (auto _ : state) {
        tally = quarn::bench::re2c_scan_json(*text);
        benchmark::DoNotOptimize(tally);
    }
    report(state, *text, tally);
}

// Tokens that alternate between modes over text that one mode's pattern
// reads to the end: linear only while each mode keeps its dead ends. Each is
// registered at two sizes, 4x apart, whose times should be about 4x apart.
void scan_across_modes(benchmark::State& state, const std::string& definition_name,
                       const std::string& unit) {
    std::string text;
    while (text.size() < static_cast<std::size_t>(state.range(0)))
        text += unit;
    const quarn::pipeline::Scanner scanner = build(definition_name);
    const auto input = quarn::runtime::ValidatedUtf8::trusted(text);
    TokenTally tally;
    for (auto _ : state) {
        tally = {};
        quarn::runtime::ModeState modes;
        auto matches = scanner->find_matches(input, modes);
        quarn::runtime::Match batch[64];
        while (const std::size_t count = matches.next_matches(batch)) {
            for (std::size_t i = 0; i < count; ++i)
                tally.add(batch[i].token_type, batch[i].span.start, batch[i].span.end);
        }
        benchmark::DoNotOptimize(tally);
    }
    report(state, text, tally);
}

void construct(benchmark::State& state, const std::string& definition_name) {
    for (auto _ : state) {
        auto scanner = build(definition_name);
        benchmark::DoNotOptimize(scanner);
    }
}

}  // namespace

int main(int argc, char** argv) {
    // Our one flag; the rest belong to Google Benchmark.
    constexpr const char* kFlag = "--workloads=";
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], kFlag, std::strlen(kFlag)) == 0)
            workload_dir = argv[i] + std::strlen(kFlag);
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    using quarn::runtime::CharIter;
    using quarn::runtime::CharIterWithPosition;
    const auto ms = benchmark::kMillisecond;
    for (const char* name : {"json", "python", "large"}) {
        const std::string n = name;
        benchmark::RegisterBenchmark(("scan/" + n + "/find_matches").c_str(), scan<CharIter>, n, n)
            ->Unit(ms);
        if (n != "large")
            benchmark::RegisterBenchmark(("scan/" + n + "/find_matches_with_position").c_str(),
                                         scan<CharIterWithPosition>, n, n)
                ->Unit(ms);
        if (n == "json") {
            benchmark::RegisterBenchmark("scan/json/next_match", scan<CharIter, false>, n, n)
                ->Unit(ms);
            benchmark::RegisterBenchmark("scan/json/re2c", scan_json_re2c)->Unit(ms);
        }
    }
    benchmark::RegisterBenchmark("pathological/modes/ping_pong", scan_across_modes, "ping_pong",
                                 "x")
        ->Arg(250'000)
        ->Arg(1'000'000)
        ->Unit(ms);
    benchmark::RegisterBenchmark("pathological/modes/large_unterminated_comment", scan_across_modes,
                                 "large", "/*\"\"")
        ->Arg(250'000)
        ->Arg(1'000'000)
        ->Unit(ms);
    for (const char* name : {"json", "python", "large"})
        benchmark::RegisterBenchmark(("construct/" + std::string(name)).c_str(), construct,
                                     std::string(name))
            ->Unit(ms);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
