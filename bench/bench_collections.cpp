// Large collections: loading and saving a file of puzzle lines, and drawing thumbnails.
//   bench_collections --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
// ReadLinesOnly is the baseline: the file read and split into lines, without the model.
#include "ICollectionTiles.h"
#include "IViewProcess.h"
#include "TChessCollection.h"
#include "TextFile.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <map>
#include <memory>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTimer>

namespace {

constexpr qint64 kID = 1700000000001;

// Real test positions with the operations the program writes.
const char* const kLines[] = {
    "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - bm Qg6; id \"WAC.001\";",
    "8/7p/5k2/5p2/p1p2P2/Pr1pPK2/1P1R3P/8 b - - bm Rxb2;TVLcount_moves 3;",
    "5rk1/1ppb3p/p1pb4/6q1/3P1p1r/2P1R2P/PP1BQ1P1/5RKN w - - bm Rg3;TVLshow_markers 1;",
    "r1bq2rk/pp3pbp/2p1p1pQ/7P/3P4/2PB1N2/PP3PPR/2KR4 w - - bm Qxh7+;",
    "5k2/6pp/p1qN4/1p1p4/3P4/2PKP2Q/PP3r2/3R4 b - - 0 1",
};

QStringList PuzzleFile(int count)
{
    QStringList lines{QStringLiteral("#Bench"), QStringLiteral("#EPD")};
    lines.reserve(count + 2);
    for (int i = 0; i < count; ++i)
        lines.append(QString::fromLatin1(kLines[i % std::size(kLines)]));
    return lines;
}

// One folder per size, written once for the whole run.
QString Folder(int count)
{
    static std::map<int, std::unique_ptr<QTemporaryDir>> folders;
    auto& dir = folders[count];
    if (!dir) {
        dir = std::make_unique<QTemporaryDir>();
        TextFile::WriteLines(dir->path() + QStringLiteral("/1700000000001.tvl"), PuzzleFile(count));
    }
    return dir->path();
}

// The progress window as the program uses it: the UI handles its events every 10 lines.
class TPumpingProcess : public IViewProcess
{
public:
    void ShowProcess(int) override {}
    void StepProcess() override {}
    void SetInfo(const QString& Text) override { FInfo = Text; }
    void ProcessEvents() override { QCoreApplication::processEvents(); }
    void HideProcess() override {}

private:
    QString FInfo;
};

void ReadLinesOnly(benchmark::State& state)
{
    const QString file = Folder(int(state.range(0))) + QStringLiteral("/1700000000001.tvl");
    for (auto _ : state) {
        QStringList lines;
        TextFile::ReadLines(file, lines);
        benchmark::DoNotOptimize(lines);
    }
}
BENCHMARK(ReadLinesOnly)->Arg(50000)->Arg(100000)->Unit(benchmark::kMillisecond);

// range(0) puzzle lines; range(1) 1 when the progress window lets the UI handle its events.
void LoadCollection(benchmark::State& state)
{
    const int count = int(state.range(0));
    TChessCollection collection(Folder(count));
    TPumpingProcess view;
    if (state.range(1)) collection.setViewProcess(&view);
    for (auto _ : state) {
        if (!collection.LoadCollection(kID) || collection.GetCount() != count)
            state.SkipWithError("collection not loaded");
    }
    state.counters["lines/s"] =
        benchmark::Counter(double(count), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(LoadCollection)
    ->ArgNames({"lines", "events"})
    ->Args({50000, 0})
    ->Args({50000, 1})
    ->Args({100000, 0})
    ->Args({100000, 1})
    ->Unit(benchmark::kMillisecond);

void SaveCollection(benchmark::State& state)
{
    const int count = int(state.range(0));
    QTemporaryDir target;
    TChessCollection collection(Folder(count));
    collection.LoadCollection(kID);
    collection.setPathCollections(target.path());
    for (auto _ : state) {
        if (!collection.SaveCollection()) state.SkipWithError("collection not saved");
    }
}
BENCHMARK(SaveCollection)->Arg(50000)->Arg(100000)->Unit(benchmark::kMillisecond);

// Tiles as the browser shows them: the finished image becomes the image control's pixmap.
class TTiles : public ICollectionTiles
{
public:
    int CreateTile(int) override { return FCount++; }
    QSize TileImageSize(int) const override { return QSize(145, 145); }
    void SetTileData(int, int, const QString&) override {}
    void SetTileImage(int, const QImage& Image) override
    {
        FLast = QPixmap::fromImage(Image);
        ++Delivered;
    }
    int Delivered = 0;

private:
    int FCount = 0;
    QPixmap FLast;
};

// 1000 thumbnails at the tile image size of 145 px (boards of 130 px) on one drawing thread,
// while the UI thread runs its event loop; max_ui_gap_ms is the longest time between two turns
// of that loop, that is the longest the UI was kept from its events.
void Thumbnails(benchmark::State& state)
{
    constexpr int kCount = 1000;
    TTiles tiles;
    TChessCollection collection;
    collection.setTiles(&tiles);
    collection.ReadCollectionLines(PuzzleFile(kCount));
    qint64 maxGapNs = 0;
    for (auto _ : state) {
        tiles.Delivered = 0;
        collection.RedrawAll();
        QEventLoop loop;
        QTimer turn;
        turn.setInterval(0);
        QElapsedTimer sinceLast;
        sinceLast.start();
        QObject::connect(&turn, &QTimer::timeout, &loop, [&] {
            maxGapNs = std::max(maxGapNs, sinceLast.nsecsElapsed());
            sinceLast.restart();
            if (tiles.Delivered == kCount && collection.CountDrawThreads() == 0) loop.quit();
        });
        turn.start();
        loop.exec();
    }
    state.counters["max_ui_gap_ms"] = double(maxGapNs) / 1e6;
    state.counters["thumbnails"] = kCount;
}
BENCHMARK(Thumbnails)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
