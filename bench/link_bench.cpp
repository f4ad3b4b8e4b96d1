// How much the waits and one command cycle cost.
//   wait/Delay_1s_no_answer: CPU time over wall time while a 1 s Delay waits
//     for an answer that never comes (the clock timer keeps running);
//   cycle/full: frame + exchange with the in-process simulated reader +
//     report into the log, in cycles per second.
#include "errorhandling.h"
#include "messagelog.h"
#include "rfidsim.h"
#include "tform1.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <ctime>

namespace {
double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

void DelayWithoutAnswer(benchmark::State& state) {
    TForm1 form;
    form.setExitAction([] {});
    rfidsim_reset();
    rfidsim_set_fault(RFIDSIM_SILENT, 0);
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        form.Send("cf");
        const double c0 = cpuSeconds();
        const auto w0 = std::chrono::steady_clock::now();
        form.Delay(1000);
        cpu += cpuSeconds() - c0;
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - w0).count();
    }
    rfidsim_reset();
    state.counters["cpu_over_wall_percent"] = wall > 0 ? 100.0 * cpu / wall : 0;
}
BENCHMARK(DelayWithoutAnswer)->Name("wait/Delay_1s_no_answer")->Iterations(3)->Unit(benchmark::kMillisecond);

void FullCycle(benchmark::State& state) {
    TForm1 form;
    form.setExitAction([] {});
    rfidsim_reset();
    const rfid::CycleTexts texts{"Data error,no data recevice..   ", "Restore factory settings Success    ",
                                 "Restore factory settings False    ", "data error,please check data..   "};
    int n = 0;
    for (auto _ : state) {
        form.cycle("cf", 300, texts);
        if (++n % 2000 == 0) {
            form.RichEdit1->clear();
            rfidsim_clear_frames();
        }
    }
    state.counters["cycles_per_second"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(FullCycle)->Name("cycle/full")->Unit(benchmark::kMicrosecond);
} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    rfid::RfidApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
