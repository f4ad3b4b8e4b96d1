// How much the waits and one command cycle cost.
//   wait/Delay_1s_no_answer: CPU time over wall time while a 1 s Delay waits
//     for an answer that never comes (the clock timer keeps running);
//   cycle/full: frame + exchange with the in-process simulated reader +
//     report into the log, in cycles per second.
//   cycle/shown_growing_log/<lines>: the same cycle with the window shown
//     (painting included) and the log never cleared until it holds <lines>
//     lines; CPU time per cycle (all threads) over the first and the last
//     10,000 lines, beside the hidden window's, and their ratios.
#include "errorhandling.h"
#include "messagelog.h"
#include "rfidsim.h"
#include "tform1.h"
#include "wait.h"

#include <benchmark/benchmark.h>

#include <QEvent>
#include <QObject>

#include <algorithm>
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

const rfid::CycleTexts kFactoryTexts{
    "Data error,no data recevice..   ", "Restore factory settings Success    ",
    "Restore factory settings False    ", "data error,please check data..   "};

// CPU seconds per cycle over `cycles` cycles of `form`.
double cpuPerCycle(TForm1& form, int cycles) {
    const double c0 = cpuSeconds();
    for (int i = 0; i < cycles; ++i)
        form.cycle("cf", 300, kFactoryTexts);
    return (cpuSeconds() - c0) / cycles;
}

// Counts the paint events of one widget.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

void ShownCycleGrowingLog(benchmark::State& state) {
    const int totalLines = int(state.range(0));
    constexpr int kLinesPerCycle = 2; // the report line and the empty line after it
    constexpr int kWindowCycles = 10000 / kLinesPerCycle;
    rfidsim_reset();
    double hidden = 0, first = 0, last = 0;
    for (auto _ : state) {
        {
            TForm1 form;
            form.setExitAction([] {});
            cpuPerCycle(form, 500); // warm up
            form.RichEdit1->clear();
            hidden = cpuPerCycle(form, kWindowCycles);
        }
        rfidsim_clear_frames();
        TForm1 form;
        form.setExitAction([] {});
        form.show();
        rfid::Delayy(100); // first paint
        PaintCounter counter;
        form.RichEdit1->viewport()->installEventFilter(&counter);
        const auto w0 = std::chrono::steady_clock::now();
        first = cpuPerCycle(form, kWindowCycles);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - w0).count();
        state.counters["log_paints_per_second"] = counter.paints / wall;
        const int middle = totalLines / kLinesPerCycle - 2 * kWindowCycles;
        for (int done = 0; done < middle; done += 1000) {
            cpuPerCycle(form, std::min(1000, middle - done));
            rfidsim_clear_frames(); // the simulator's record, not the log
        }
        last = cpuPerCycle(form, kWindowCycles);
        state.counters["log_lines"] = double(form.RichEdit1->document()->blockCount());
    }
    rfidsim_reset();
    state.counters["hidden_us"] = hidden * 1e6;
    state.counters["shown_first10k_us"] = first * 1e6;
    state.counters["shown_last10k_us"] = last * 1e6;
    state.counters["shown_over_hidden"] = hidden > 0 ? first / hidden : 0;
    state.counters["last_over_first"] = first > 0 ? last / first : 0;
}
BENCHMARK(ShownCycleGrowingLog)
    ->Name("cycle/shown_growing_log")
    ->Arg(100000)
    ->Arg(1000000)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);
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
