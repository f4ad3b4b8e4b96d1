// Time to the first paint and peak memory of the program's window against a
// plain Qt widget of the same size, each in a fresh process (startup_probe):
//   startup/bare, startup/window[/variant]: wall time from fork to the end of
//   the process right after its first paint; counters peak_rss_kb and, for the
//   window, the ratios to the plain widget measured in the same run.
#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#ifndef RFID_STARTUP_PROBE
#error "RFID_STARTUP_PROBE names the probe program"
#endif

namespace {

struct Figures {
    double seconds = 0;
    double peakKb = 0;
};

// Runs the probe once; wall time and peak resident size of the child.
Figures runProbe(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    static std::string probe = RFID_STARTUP_PROBE;
    argv.push_back(probe.data());
    std::vector<std::string> copy = args;
    for (std::string& a : copy)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return {};
    return {s, double(usage.ru_maxrss)};
}

std::map<std::string, Figures>& results() {
    static std::map<std::string, Figures> r;
    return r;
}

void Startup(benchmark::State& state, std::vector<std::string> args) {
    double seconds = 0, peak = 0;
    int n = 0;
    for (auto _ : state) {
        const Figures f = runProbe(args);
        if (f.seconds == 0) {
            state.SkipWithError("the probe failed");
            return;
        }
        state.SetIterationTime(f.seconds);
        seconds += f.seconds;
        peak += f.peakKb;
        ++n;
    }
    std::string key;
    for (const std::string& a : args)
        key += a + "/";
    results()[key] = {seconds / n, peak / n};
    state.counters["peak_rss_kb"] = peak / n;
    const auto bare = results().find("bare/");
    if (args.front() != "bare" && bare != results().end()) {
        state.counters["time_over_bare"] = (seconds / n) / bare->second.seconds;
        state.counters["rss_over_bare"] = (peak / n) / bare->second.peakKb;
    }
}

BENCHMARK_CAPTURE(Startup, bare, std::vector<std::string>{"bare"})
    ->Name("startup/bare")
    ->UseManualTime()
    ->Iterations(15)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Startup, window, std::vector<std::string>{"window"})
    ->Name("startup/window")
    ->UseManualTime()
    ->Iterations(15)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Startup, window_nofont, std::vector<std::string>{"window", "nofont"})
    ->Name("startup/window/without_app_font")
    ->UseManualTime()
    ->Iterations(15)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Startup, window_nohelp, std::vector<std::string>{"window", "nohelp"})
    ->Name("startup/window/without_help_dialog")
    ->UseManualTime()
    ->Iterations(15)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
