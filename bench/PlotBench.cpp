// Figures for the plot: appending to a full line, a full repaint of the window's plot with four
// lines of 1000 points at 800 x 600, and one pan step. Besides Google Benchmark's table it
// prints the medians as "repaint_ms <value>" and "pan_ms <value>" (wall-clock time) and as
// "repaint_cpu_ms" and "pan_cpu_ms" (processor time).
// Usage: latmo-plot-bench [Google Benchmark options]
// With LATMO_PLOT_BENCH_SAVE=DIR it first writes the repainted plot and the plot after ten pan
// steps to DIR/repaint.png and DIR/pan.png, so that two builds can be shown to draw the same.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QImage>
#include <QWidget>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "plot/XYLine.h"
#include "plot/XYPlot.h"

namespace {

constexpr int kPoints = 1000;

struct TBenchPlot {
    TBenchPlot() {
        plot.SetBounds(0, 0, 800, 600);
        plot.Font().SetName("Verdana");
        plot.Font().SetHeight(-9);
        plot.LeftAxis()->SetAutoMin(true);
        plot.LeftAxis()->SetAutoMax(true);
        plot.BottomAxis()->SetAutoMin(true);
        plot.BottomAxis()->SetAutoMax(true);
        plot.BottomAxis()->SetLabelFormat("hh:mm:ss");
        plot.BottomAxis()->SetLabelAsDataTime(true);
        const TColor colors[] = {clNavy, clMaroon, clGreen, clRed};
        for (int k = 0; k < 4; ++k) {
            lines.push_back(std::make_unique<Tsp_XYLine>(nullptr));
            Tsp_XYLine& l = *lines.back();
            l.LineAttr().SetColor(colors[k]);
            l.PointAttr().SetVisible(false);
            l.SetPlot(&plot);
            l.SetLockInvalidate(true);
            for (int i = 0; i < kPoints; ++i) {
                l.AddXY(45000 + i * 3.0 / 86400, 40 + 10 * k + 8 * std::sin(i / (7.0 + k)));
            }
            l.SetLockInvalidate(false);
        }
    }
    void Render() { plot.Widget()->render(&image); }

    Tsp_XYPlot plot{nullptr};
    std::vector<std::unique_ptr<Tsp_XYLine>> lines;
    QImage image{800, 600, QImage::Format_RGB32};
};

void BM_AddXYDeleteOldest(benchmark::State& state) {
    Tsp_XYLine line(nullptr);
    for (int i = 0; i < kPoints; ++i)
        line.AddXY(i, i % 97);
    double x = kPoints;
    for (auto _ : state) {
        line.AddXY(x, 1);
        line.Delete(0);
        double v = 0;
        benchmark::DoNotOptimize(line.GetYMax(v));
        x += 1;
    }
}
BENCHMARK(BM_AddXYDeleteOldest);

void BM_Repaint(benchmark::State& state) {
    TBenchPlot b;
    b.Render();
    for (auto _ : state) {
        b.plot.Invalidate();
        b.Render();
    }
}
BENCHMARK(BM_Repaint)->Unit(benchmark::kMillisecond)->Repetitions(5);

void BM_PanStep(benchmark::State& state) {
    TBenchPlot b;
    b.Render();
    b.plot.MouseDown(TMouseButton::mbLeft, ssCtrl | ssLeft, 400, 300);
    int x = 400;
    for (auto _ : state) {
        x += (x % 2 == 0) ? 1 : -1;
        b.plot.MouseMove(ssCtrl | ssLeft, x, 300);
        b.Render();
    }
    b.plot.MouseUp(TMouseButton::mbLeft, 0, x, 300);
}
BENCHMARK(BM_PanStep)->Unit(benchmark::kMillisecond)->Repetitions(5);

// Adds the one-line medians the project's scripts read.
class TMedianReporter : public benchmark::ConsoleReporter {
public:
    // Colour only on a terminal, so that scripts can read the figures as plain lines.
    TMedianReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.aggregate_name != "median")
                continue;
            // In the benchmark's unit, ms here. The processor time tells the plot's own cost
            // also on a machine busy with other work.
            const double ms = r.GetAdjustedRealTime();
            const double cpu = r.GetAdjustedCPUTime();
            if (r.run_name.function_name == "BM_Repaint")
                std::printf("repaint_ms %.3f\nrepaint_cpu_ms %.3f\n", ms, cpu);
            if (r.run_name.function_name == "BM_PanStep")
                std::printf("pan_ms %.3f\npan_cpu_ms %.3f\n", ms, cpu);
        }
    }
};

// The images the benchmarks time, for comparing two builds pixel by pixel.
bool SaveImages(const std::string& dir) {
    TBenchPlot b;
    b.Render();
    bool saved = b.image.save(QString::fromStdString(dir + "/repaint.png"));
    b.plot.MouseDown(TMouseButton::mbLeft, ssCtrl | ssLeft, 400, 300);
    for (int x = 401; x <= 410; ++x) {
        b.plot.MouseMove(ssCtrl | ssLeft, x, 300 + (x % 3));
        b.Render();
    }
    b.plot.MouseUp(TMouseButton::mbLeft, 0, 410, 300);
    saved = b.image.save(QString::fromStdString(dir + "/pan.png")) && saved;
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    if (const char* dir = std::getenv("LATMO_PLOT_BENCH_SAVE");
        dir != nullptr && !SaveImages(dir)) {
        std::fprintf(stderr, "latmo-plot-bench: cannot write the images to %s\n", dir);
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    TMedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
