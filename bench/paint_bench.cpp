// One full paint of the triangle window (derive, panel, root sign, figure, labels) on a
// 950 x 700 offscreen image, as a command's synchronous repaint does it.
#include "TriangleModel.h"
#include "trekant.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <cstdlib>

static void BM_FullPaint(benchmark::State& state) {
    trekant::resetQuantities();
    trekant::TPytagorasForm form;
    QImage image(950, 700, QImage::Format_RGB32);
    for (auto _ : state) {
        image.fill(Qt::white);
        QPainter canvas(&image);
        form.PytagorasBoxPaint(canvas);
        canvas.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_FullPaint)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
