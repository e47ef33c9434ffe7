// Hot paths of the chess core: the FEN codec, drawing a board, and the move tests.
//   bench_chess --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include "TFENData.h"

#include <benchmark/benchmark.h>
#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>

namespace {

constexpr const char* kMiddlegame =
    "r1bq1rk1/pp2ppbp/2np1np1/8/3NP3/2N1BP2/PPPQ2PP/R3KB1R w KQ - 3 9";
constexpr const char* kKiwipete =
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";
constexpr int kBoardSize = 396;

void FenParseWrite(benchmark::State& state)
{
    TFENData data;
    const QString fen = QString::fromLatin1(kMiddlegame);
    for (auto _ : state) {
        data.setFEN(fen);
        QString out = data.FEN();
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(FenParseWrite);

// The start position with four arrows and four marks, drawn with the built-in set.
void PrepareBoard(TFENData& data)
{
    data.setFEN(QString::fromLatin1(TFENData::kStartFEN));
    QFile set(QStringLiteral(":/pieces/0.pset"));
    set.open(QIODevice::ReadOnly);
    data.LoadPiecesFromStream(set);
    data.Arrows().AddArrow(52, 54, BlueSelection);
    data.Arrows().AddArrow(71, 63, RedSelection);
    data.Arrows().AddArrow(47, 45, WhiteSelection);
    data.Arrows().AddArrow(28, 66, HelpSelection);
    data.SelectedFields.AddSelection(54, RedSelection);
    data.SelectedFields.AddSelection(45, BlueSelection);
    data.SelectedFields.AddSelection(63, BlueSelection);
    data.SelectedFields.AddSelection(66, RedSelection);
}

void RenderBoard(benchmark::State& state)
{
    TFENData data;
    PrepareBoard(data);
    for (auto _ : state) {
        QImage picture = data.RenderBoard(true, kBoardSize);
        benchmark::DoNotOptimize(picture);
    }
}
BENCHMARK(RenderBoard)->Unit(benchmark::kMillisecond);

// The same with new square colours every time, so no finished piece picture can be reused:
// every piece is parsed from the cache, stroked, filled and shrunk.
void RenderBoardNewColours(benchmark::State& state)
{
    TFENData data;
    PrepareBoard(data);
    quint32 step = 0;
    for (auto _ : state) {
        ++step;
        data.setColorWhiteField(0xFF000000 | (step & 0xFFFFFF));
        data.setColorBlackField(0xFF000000 | ((step * 7919) & 0xFFFFFF));
        QImage picture = data.RenderBoard(true, kBoardSize);
        benchmark::DoNotOptimize(picture);
    }
}
BENCHMARK(RenderBoardNewColours)->Unit(benchmark::kMillisecond);

void DrawBoardToStream(benchmark::State& state)
{
    TFENData data;
    PrepareBoard(data);
    for (auto _ : state) {
        QBuffer stream;
        stream.open(QIODevice::ReadWrite);
        data.DrawBoardToStream(stream, true, kBoardSize, true);
        benchmark::DoNotOptimize(stream.data().size());
    }
}
BENCHMARK(DrawBoardToStream)->Unit(benchmark::kMillisecond);

void DrawBoard(benchmark::State& state)
{
    TFENData data;
    PrepareBoard(data);
    for (auto _ : state) {
        QImage bmp;
        data.DrawBoard(bmp, true, kBoardSize, true);
        benchmark::DoNotOptimize(bmp);
    }
}
BENCHMARK(DrawBoard)->Unit(benchmark::kMillisecond);

// Every from-square of the side to move against every square of the board.
void KiwipeteAllowedMoves(benchmark::State& state)
{
    TFENData data(QString::fromLatin1(kKiwipete));
    int allowed = 0;
    for (auto _ : state) {
        allowed = 0;
        for (int from = 11; from <= 88; ++from) {
            const QChar piece = data.GetFieldValue(from);
            if (from % 10 == 0 || from % 10 == 9 || !piece.isUpper()) continue;
            for (int col = 1; col <= 8; ++col)
                for (int row = 1; row <= 8; ++row)
                    allowed += data.CanMovePiece(from, col * 10 + row);
        }
        benchmark::DoNotOptimize(allowed);
    }
    if (allowed != 48) state.SkipWithError("Kiwipete should have 48 allowed moves");
    state.counters["moves"] = allowed;
}
BENCHMARK(KiwipeteAllowedMoves)->Unit(benchmark::kMicrosecond);

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
