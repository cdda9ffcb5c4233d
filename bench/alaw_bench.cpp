// linear_to_alaw against other A-law encoders, in samples per second, over a
// buffer of a million samples: one of speech-like amplitudes (most samples
// small, as in a recorded message) and one of noise over the whole 16-bit
// range (every table entry equally likely). Prints, per buffer, each encoder's
// median rate and how ours compares with it.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/alaw_encoders.h"
#include "upload/alaw.h"

namespace {

constexpr std::size_t SAMPLES = 1 << 20;

// A small deterministic generator, so that every run encodes the same buffers.
std::uint32_t next_random(std::uint32_t& state)
{
    state = state * 1664525u + 1013904223u;
    return state;
}

double uniform(std::uint32_t& state)
{
    return (static_cast<double>(next_random(state) >> 8) + 0.5) / 16777216.0;
}

// Laplacian amplitudes with a slowly swinging level, the usual model of speech.
std::vector<std::int16_t> speech_like()
{
    std::vector<std::int16_t> samples(SAMPLES);
    std::uint32_t state = 12345;
    for (std::size_t i = 0; i < SAMPLES; ++i) {
        const double level = 600.0 + 2400.0 * (0.5 + 0.5 * std::sin(static_cast<double>(i) / 4000.0));
        const double u = uniform(state) - 0.5;
        const double value = -level * std::copysign(std::log(1.0 - 2.0 * std::fabs(u)), u);
        samples[i] = static_cast<std::int16_t>(std::fmax(-32768.0, std::fmin(32767.0, value)));
    }
    return samples;
}

std::vector<std::int16_t> full_range_noise()
{
    std::vector<std::int16_t> samples(SAMPLES);
    std::uint32_t state = 54321;
    for (std::int16_t& sample : samples)
        sample = static_cast<std::int16_t>(next_random(state) >> 16);
    return samples;
}

const std::vector<std::int16_t>& buffer(std::int64_t which)
{
    static const std::vector<std::int16_t> speech = speech_like();
    static const std::vector<std::int16_t> noise = full_range_noise();
    return which == 0 ? speech : noise;
}

const char* const BUFFER_NAMES[] = {"speech", "noise"};

using Encoder = std::uint8_t (*)(std::int16_t);

// One loop for every encoder, calling it through a pointer the compiler cannot
// see through: the loop's code and its place in memory are the same for all,
// so the rates differ by the encoders alone (a loop of its own per encoder
// moved the figures by up to 1.7 times with its alignment).
void encode_buffer(benchmark::State& state, Encoder encode)
{
    benchmark::DoNotOptimize(encode);
    const std::vector<std::int16_t>& in = buffer(state.range(0));
    std::vector<std::uint8_t> out(in.size());
    for (auto _ : state) {
        for (std::size_t i = 0; i < in.size(); ++i)
            out[i] = encode(in[i]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(in.size()));
    state.SetLabel(BUFFER_NAMES[state.range(0)]);
}

void ours(benchmark::State& state) { encode_buffer(state, linear_to_alaw); }
void runtime_table(benchmark::State& state) { encode_buffer(state, runtime_table_alaw); }
void spandsp(benchmark::State& state) { encode_buffer(state, spandsp_alaw); }
void g191_reference(benchmark::State& state) { encode_buffer(state, g191_alaw); }

#define ENCODER_BENCHMARK(name) \
    BENCHMARK(name)->Arg(0)->Arg(1)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond)
ENCODER_BENCHMARK(ours);
ENCODER_BENCHMARK(runtime_table);
ENCODER_BENCHMARK(spandsp);
ENCODER_BENCHMARK(g191_reference);

// Keeps the median samples per second of every run, by encoder and buffer.
class RateReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, std::map<std::string, double>> rates;  // buffer -> encoder -> rate

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.aggregate_name != "median")
                continue;
            const auto rate = run.counters.find("items_per_second");
            if (rate == run.counters.end())
                continue;
            const std::string name = run.run_name.function_name;
            rates[run.report_label][name] = rate->second.value;
        }
    }
};

int count_differences(Encoder a, Encoder b)
{
    int differences = 0;
    for (int sample = -32768; sample <= 32767; ++sample)
        differences += a(static_cast<std::int16_t>(sample)) != b(static_cast<std::int16_t>(sample));
    return differences;
}

}  // namespace

int main(int argc, char** argv)
{
    runtime_table_build();
    benchmark::Initialize(&argc, argv);
    RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\nA-law encoders, median of 5, million samples per second:\n");
    std::printf("%-8s %-16s %10s %14s\n", "buffer", "encoder", "Msamples/s", "ours/encoder");
    for (const auto& [buffer_name, by_encoder] : reporter.rates) {
        const auto own = by_encoder.find("ours");
        if (own == by_encoder.end())
            continue;
        for (const auto& [encoder, rate] : by_encoder)
            std::printf("%-8s %-16s %10.1f %14.2f\n", buffer_name.c_str(), encoder.c_str(), rate / 1e6,
                        own->second / rate);
    }
    // What each encoder computes, over all 65536 inputs: ours departs from the
    // G.191 reduction in 134 negative samples by design.
    std::printf("\nInputs coded differently: ours vs G.191 %d (134 by design), spandsp vs G.191 %d, "
                "run-time table vs ours %d\n",
                count_differences(linear_to_alaw, g191_alaw), count_differences(spandsp_alaw, g191_alaw),
                count_differences(runtime_table_alaw, linear_to_alaw));
    benchmark::Shutdown();
    return 0;
}
