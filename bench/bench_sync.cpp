// Synchronisation with 1,000 collections that are all in line with the server: the step that
// compares every local file's MD5 digest with the list, and the step that looks for files the
// server no longer lists. No server is needed: the list is the one the service would send.
//   bench_sync --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
// ReadFilesOnly is the baseline: the same files read, without digests or the list.
#include "PendingFiles.h"
#include "TConfig.h"
#include "TextFile.h"
#include "TSynchronizer.h"

#include <benchmark/benchmark.h>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

namespace {

constexpr int kCollections = 1000;
constexpr int kLinesPerCollection = 200; // about 14 KB, a full lesson's worth of puzzles

const char* const kLines[] = {
    "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - bm Qg6; id \"WAC.001\";",
    "8/7p/5k2/5p2/p1p2P2/Pr1pPK2/1P1R3P/8 b - - bm Rxb2;TVLcount_moves 3;",
    "5rk1/1ppb3p/p1pb4/6q1/3P1p1r/2P1R2P/PP1BQ1P1/5RKN w - - bm Rg3;TVLshow_markers 1;",
    "r1bq2rk/pp3pbp/2p1p1pQ/7P/3P4/2PB1N2/PP3PPR/2KR4 w - - bm Qxh7+;",
};

// The folders, the files and the list, made once for the whole run.
struct TFixture
{
    QTemporaryDir Dir;
    std::unique_ptr<TConfig> Holder;
    QStringList List;
    QStringList Files;

    TFixture()
    {
        const QString folder = Dir.path() + QStringLiteral("/Collections/");
        QDir().mkpath(folder + QStringLiteral("ToSend/Error"));
        QJsonObject list{{QStringLiteral("success"), 1}};
        for (int i = 0; i < kCollections; ++i) {
            const QString id = QString::number(1700000000000LL + i);
            QStringList lines{QStringLiteral("#Collection ") + id, QStringLiteral("#EPD")};
            for (int n = 0; n < kLinesPerCollection; ++n)
                lines.append(QString::fromLatin1(kLines[(n + i) % std::size(kLines)]));
            const QString path = folder + id + QStringLiteral(".tvl");
            TextFile::WriteLines(path, lines);
            Files.append(path);
            QString md5;
            PendingFiles::FileMd5(path, md5);
            list.insert(id, QJsonObject{{"collection_id", id},
                                        {"parent_id", "0"},
                                        {"name_collection", QString("Collection " + id)},
                                        {"code_school", "Own"},
                                        {"is_owner", "1"},
                                        {"level_collection", "1"},
                                        {"full_path_collection", QString("Own.Collection " + id)},
                                        {"order_id", QString::number(i + 1)},
                                        {"md5_hash", md5}});
        }
        // A few changes still waiting for upload, as on a teacher's machine.
        for (int i = 0; i < 5; ++i)
            TextFile::WriteLines(folder +
                                     QStringLiteral("ToSend/Error/1600000000%1.010124101010000")
                                         .arg(i, 3, 10, QChar(u'0')),
                                 {QStringLiteral("#x")});
        List = TextFile::SplitLines(QString::fromUtf8(QJsonDocument(list).toJson()));
        Holder = std::make_unique<TConfig>(Dir.path() + QStringLiteral("/exe"),
                                           Dir.path() + QStringLiteral("/docs"));
        Holder->setFolderCollections(folder);
    }
};

TFixture& Fixture()
{
    static TFixture fixture;
    return fixture;
}

void RunStep(benchmark::State& state, int step)
{
    TFixture& f = Fixture();
    TSynchronizer sync(*f.Holder);
    for (auto _ : state) {
        f.Holder->CollectionsOnServer() = f.List;
        sync.setNumStep(step);
        benchmark::DoNotOptimize(sync.RunNext());
    }
    if (!sync.CollectionToLoad().isEmpty() ||
        QDir(f.Holder->CollectionPath()).entryList({"*.tvl"}, QDir::Files).size() != kCollections)
        state.SkipWithError("the collections did not stay as they were");
    state.counters["collections"] = kCollections;
}

// Step 3: one digest per local file, compared with the list.
void BM_CalcCollectionsToLoad(benchmark::State& state)
{
    RunStep(state, 3);
}
BENCHMARK(BM_CalcCollectionsToLoad)->Unit(benchmark::kMillisecond);

// Step 1: the folder listed and every file looked up in the list.
void BM_DeleteOldCollections(benchmark::State& state)
{
    RunStep(state, 1);
}
BENCHMARK(BM_DeleteOldCollections)->Unit(benchmark::kMillisecond);

void BM_ReadFilesOnly(benchmark::State& state)
{
    TFixture& f = Fixture();
    for (auto _ : state) {
        qint64 bytes = 0;
        for (const QString& path : f.Files) {
            QFile file(path);
            if (file.open(QIODevice::ReadOnly)) bytes += file.readAll().size();
        }
        benchmark::DoNotOptimize(bytes);
    }
}
BENCHMARK(BM_ReadFilesOnly)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
