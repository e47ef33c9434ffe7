// The server link against a real tavlora-service on this machine:
//   BM_QueuedTaskPush   a task push of 13 queued board commands, from the push until the 13th
//                       has reached the service (its "updated" on the live link); the bound of
//                       the design, 13 x (50 ms + request time) + 50 ms, as a counter beside it.
//   BM_SnapshotLatency  from a workplace queued ("updated" came) until its snapshot has been
//                       applied on the UI thread, with 16 boards shown; p50/p95/max and the
//                       breakdown: waiting for the pass, the request (download, decoding and
//                       the hand-off back), applying on the UI thread.
//       /single     one board changes at a time, at random moments
//       /spread     16 boards changing independently, each about every 2 s
//       /burst      16 boards changing at the same moment
//
//   bench_server [--benchmark_filter=...]

#include "LoadTools.h"
#include "ServerFixture.h"
#include "TAPIGetThread.h"
#include "TThreadGetBoards.h"
#include "TVLApiText.h"

#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QWebSocket>
#include <thread>
#include <vector>

using namespace ServerFixture;

namespace {

double Ms(qint64 ns)
{
    return double(ns) / 1e6;
}

// Runs the UI thread's event loop until done() holds or timeoutMs pass.
bool RunUntil(const std::function<bool()>& done, int timeoutMs = 20000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

// One teacher with a room of 16 students, signed in, with the live link open.
struct TLesson
{
    TServiceProcess Service;
    std::unique_ptr<TTVLApiClient> Client;
    QStringList Workplaces;
    QWebSocket Link;
    int Updated = 0;

    bool Open()
    {
        if (!Service.Start()) return false;
        const QString email = QStringLiteral("bench@school.example");
        Client = std::make_unique<TTVLApiClient>(Service.ApiBase());
        Client->setRegCode(Service.AddAccount(email));
        if (!SignInByCode(*Client, Service, email)) return false;
        const QString room = Client->NewRoom(QStringLiteral("Bench"));
        for (int i = 0; i < 16; ++i) {
            const QString id =
                JoinStudent(Service, room, QStringLiteral("Student %1").arg(i)).WorkplaceId;
            if (!TTVLApiClient::Check10Digit(id)) return false;
            Workplaces.append(id);
        }
        QObject::connect(&Link, &QWebSocket::textMessageReceived, [this](const QString& text) {
            if (QByteArray::fromBase64(text.toLatin1()).startsWith("updated ")) ++Updated;
        });
        bool connected = false;
        QObject::connect(&Link, &QWebSocket::connected, [&connected] { connected = true; });
        Link.open(QUrl(Service.WsBase().toString() + "/ws/" + Client->ConnectionID()));
        return RunUntil([&] { return connected; }, 5000);
    }
};

TLesson* gLesson = nullptr;

void BM_QueuedTaskPush(benchmark::State& state)
{
    TTVLApiClient& client = *gLesson->Client;
    const QString w = gLesson->Workplaces[0];
    // The request time of one board command, sent directly, for the design's bound.
    std::vector<double> requestMs;
    for (int i = 0; i < 20; ++i) {
        const qint64 start = NowNs();
        client.SetBoardParameter("markers", w, i % 2 == 0, false);
        requestMs.push_back(Ms(NowNs() - start));
    }
    const double request = Percentile(requestMs, 50);

    TAPIGetThread thread(client);
    thread.setToken(client.Token());
    thread.start();
    RunUntil([] { return false; }, 200); // the thread is in its loop
    std::vector<double> pushMs;
    bool inOrder = true;
    int round = 0;
    for (auto _ : state) {
        ++round;
        RunUntil([] { return false; }, 120); // the last notification of the round before
        const int before = gLesson->Updated;
        const qint64 start = NowNs();
        // One task push: twelve parameters, the counter last among them, then the reload.
        for (int i = 1; i <= 11; ++i)
            client.SetBoardParameter(QStringLiteral("p%1").arg(i), w, round * 100 + i, true);
        client.SetBoardParameter("count_max_moves", w, round, true);
        client.ReloadBoard(w, true);
        const bool done = RunUntil([&] { return gLesson->Updated >= before + 13; });
        const double elapsed = Ms(NowNs() - start);
        state.SetIterationTime(elapsed / 1000);
        pushMs.push_back(elapsed);
        if (!done || client.GetParameterFromBoard(w, "count_max_moves") != QString::number(round))
            inOrder = false;
    }
    thread.StopAndWait();
    state.counters["push_ms_max"] = *std::max_element(pushMs.begin(), pushMs.end());
    state.counters["request_ms"] = request;
    state.counters["bound_ms"] = 13 * (50 + request) + 50;
    state.counters["in_order"] = inOrder ? 1 : 0;
}

struct TStamps
{
    qint64 Queued = 0, Taken = 0, Found = 0, Applied = 0;
};

// One record per change: queued by the reading thread, stamped by the hand-offs.
struct TChanges
{
    QMutex Lock;
    std::vector<TStamps> Records;
    QHash<QString, size_t> Open; // id -> its change not applied yet

    // False when the board's last change is still on its way (the queue holds an id once).
    bool Queue(TBoardQueue& queue, const QString& id)
    {
        {
            QMutexLocker lock(&Lock);
            if (Open.contains(id)) return false;
            Records.push_back({NowNs(), 0, 0, 0});
            Open.insert(id, Records.size() - 1);
        }
        queue.Add(id); // as the live link's reading thread does
        return true;
    }
    void Stamp(const QString& id, qint64 TStamps::*field)
    {
        QMutexLocker lock(&Lock);
        const auto it = Open.constFind(id);
        if (it == Open.constEnd()) return;
        Records[*it].*field = NowNs();
        if (field == &TStamps::Applied) Open.erase(it);
    }
    bool AllApplied()
    {
        QMutexLocker lock(&Lock);
        return Open.isEmpty();
    }
};

void BM_SnapshotLatency(benchmark::State& state)
{
    const int mode = int(state.range(0)); // 0 single, 1 spread, 2 burst
    TTestRoom room;
    TChanges changes;
    for (const QString& id : gLesson->Workplaces) {
        TTestBoard& board = room.AddBoard(id);
        board.Clock = [&changes, id] {
            changes.Stamp(id, &TStamps::Applied);
            return NowNs();
        };
    }
    room.OnTake = [&](const QString& id) { changes.Stamp(id, &TStamps::Taken); };
    room.OnFind = [&](const QString& id) { changes.Stamp(id, &TStamps::Found); };
    TThreadGetBoards thread(false, gLesson->Client->Token(), room, gLesson->Client->ApiBase());
    RunUntil([] { return false; }, 200);

    int skipped = 0;
    for (auto _ : state) {
        const qint64 start = NowNs();
        std::atomic<bool> readerDone{false};
        std::thread reader;
        if (mode == 2) {
            reader = std::thread([&] {
                for (const QString& id : gLesson->Workplaces)
                    changes.Queue(room.Queue, id);
                readerDone = true;
            });
        } else {
            // Changes at random moments: one board at a time, or 16 boards each about
            // every 2 s.
            const int count = mode == 0 ? 40 : 32;
            std::vector<std::pair<qint64, QString>> plan;
            qint64 at = 0;
            for (int i = 0; i < count; ++i) {
                at += mode == 0 ? 60 + QRandomGenerator::global()->bounded(140)
                                : QRandomGenerator::global()->bounded(250);
                plan.push_back(
                    {at * 1000000, gLesson->Workplaces[QRandomGenerator::global()->bounded(16)]});
            }
            reader = std::thread([&, plan] {
                const qint64 base = NowNs();
                for (const auto& [offset, id] : plan) {
                    while (NowNs() - base < offset)
                        std::this_thread::sleep_for(std::chrono::microseconds(200));
                    if (!changes.Queue(room.Queue, id)) ++skipped;
                }
                readerDone = true;
            });
        }
        // The UI thread runs its loop meanwhile: the hand-offs need it.
        RunUntil([&] { return readerDone.load() && changes.AllApplied(); });
        reader.join();
        state.SetIterationTime(Ms(NowNs() - start) / 1000);
        RunUntil([] { return false; }, 60); // the thread is idle again
    }
    thread.StopAndWait();

    std::vector<double> total, wait, request, apply;
    for (const TStamps& s : changes.Records) {
        total.push_back(Ms(s.Applied - s.Queued));
        wait.push_back(Ms(s.Taken - s.Queued));
        request.push_back(Ms(s.Found - s.Taken));
        apply.push_back(Ms(s.Applied - s.Found));
    }
    state.counters["p50_ms"] = Percentile(total, 50);
    state.counters["p95_ms"] = Percentile(total, 95);
    state.counters["max_ms"] = Percentile(total, 100);
    state.counters["wait_p50_ms"] = Percentile(wait, 50);
    state.counters["wait_p95_ms"] = Percentile(wait, 95);
    state.counters["request_p50_ms"] = Percentile(request, 50);
    state.counters["request_p95_ms"] = Percentile(request, 95);
    state.counters["apply_p95_ms"] = Percentile(apply, 95);
    state.counters["samples"] = double(total.size());
    state.counters["while_open"] = skipped;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    TLesson lesson;
    if (!lesson.Open()) {
        fprintf(stderr, "the service could not be started or signed in to:\n%s\n",
                qPrintable(lesson.Service.Log()));
        return 1;
    }
    gLesson = &lesson;
    benchmark::RegisterBenchmark("BM_QueuedTaskPush", BM_QueuedTaskPush)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(20);
    benchmark::RegisterBenchmark("BM_SnapshotLatency/single", BM_SnapshotLatency)
        ->Arg(0)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    benchmark::RegisterBenchmark("BM_SnapshotLatency/spread", BM_SnapshotLatency)
        ->Arg(1)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    benchmark::RegisterBenchmark("BM_SnapshotLatency/burst", BM_SnapshotLatency)
        ->Arg(2)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(10);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    gLesson = nullptr;
    return 0;
}
