// The background API thread and the board polling thread against the stub: order, hand-offs,
// snapshots, and stopping them mid-request.

#include "ServerFixture.h"
#include "TAPIGetThread.h"
#include "TestRegistry.h"
#include "TThreadGetBoards.h"

#include <QElapsedTimer>
#include <QPointer>
#include <thread>

using namespace ServerFixture;

namespace {

const QString kMate = QStringLiteral("r1b1k2r~8~8~8~8~8~8~R3K2R_w_KQkq_-_0_1");

QStringList Targets(const THttpStub& stub)
{
    QStringList targets;
    for (const TStubRequest& request : stub.Requests())
        targets.append(QString::fromLatin1(request.Target));
    return targets;
}

} // namespace

class TestThreads : public QObject
{
    Q_OBJECT
private slots:
    void apiThreadSendsInQueueOrder();
    void apiThreadIdlesOnEmptyQueue();
    void apiThreadDropsWhatCannotBeSent();
    void apiThreadDoesNotWaitForTheClientsLock();
    void snapshots_data();
    void snapshots();
    void pollingFetchesEachQueuedIdOnce();
    void pollingDropsUnshownWorkplace();
    void pollingPassesQuicklyOverDeadServer();
    void stopMidRequest_data();
    void stopMidRequest();
    void stopWhileHandOffWaits();
    void freeOnTerminate();
};

void TestThreads::apiThreadSendsInQueueOrder()
{
    // The first request is slow, so the rest are queued while it is in flight.
    THttpStub stub([](const TStubRequest& request) {
        return Answer("{\"success\":1}", request.Target.endsWith("/0") ? 300 : 0);
    });
    TTVLApiClient client(stub.Url(""));
    SetIdentity(client);
    TAPIGetThread thread(client);
    thread.setToken(kOtherToken);
    QVERIFY(!client.SetBoardParameter("n", kBoard, 0, true));
    thread.start();
    QTRY_COMPARE(stub.Requests().size(), 1);
    QStringList expected{"/workplace/setParameter/1234567890/n/0"};
    for (int i = 1; i <= 12; ++i) {
        client.SetBoardParameter("n", kBoard, i, true);
        expected.append(QStringLiteral("/workplace/setParameter/1234567890/n/%1").arg(i));
    }
    QTRY_COMPARE_WITH_TIMEOUT(stub.Requests().size(), 13, 5000);
    QCOMPARE(Targets(stub), expected);
    QVERIFY(client.QueueGetList().isEmpty());
    // The thread's own token, not the client's.
    QCOMPARE(stub.Requests().last().Header("TVLToken"), kOtherToken.toUtf8());
    QCOMPARE(stub.Requests().last().Header("Accept-Encoding"), "gzip,deflate");
}

void TestThreads::apiThreadIdlesOnEmptyQueue()
{
    THttpStub stub([](const TStubRequest&) { return Answer("{\"success\":1}"); });
    TTVLApiClient client(stub.Url(""));
    TAPIGetThread thread(client);
    thread.start();
    QTest::qWait(300);
    QCOMPARE(stub.Requests().size(), 0);
    QVERIFY(thread.isRunning());
}

void TestThreads::apiThreadDropsWhatCannotBeSent()
{
    TSilentPort silent;
    if (silent.Port() == 0) QSKIP("this kernel does not let a listening port be saturated");
    TTVLApiClient client(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(silent.Port())));
    SetIdentity(client);
    for (int i = 0; i < 3; ++i)
        client.ReloadBoard(kBoard, true);
    TAPIGetThread thread(client);
    QElapsedTimer clock;
    clock.start();
    thread.start();
    // One try each, 500 ms to connect: the queue empties and the thread goes on.
    QTRY_VERIFY_WITH_TIMEOUT(client.QueueGetList().isEmpty(), 4000);
    QVERIFY2(clock.elapsed() >= 2 * 500, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(thread.isRunning());
}

void TestThreads::apiThreadDoesNotWaitForTheClientsLock()
{
    QElapsedTimer clock;
    clock.start();
    std::atomic<qint64> quickAt{-1};
    THttpStub stub([&](const TStubRequest& request) {
        if (request.Target == "/") return Answer("{\"success\":1}", 1500);
        quickAt = clock.elapsed();
        return Answer("{\"success\":1}");
    });
    TTVLApiClient client(stub.Url(""));
    SetIdentity(client);
    TAPIGetThread thread(client);
    thread.start();
    qint64 slowDone = 0;
    {
        // The upload thread holds the client's lock for a slow exchange meanwhile.
        std::jthread upload([&] {
            client.CheckServer();
            slowDone = clock.elapsed();
        });
        QTRY_COMPARE(stub.Requests().size(), 1);
        client.ReloadBoard(kBoard, true);
        QTRY_VERIFY(quickAt >= 0);
    }
    QVERIFY2(quickAt < slowDone, qPrintable(QStringLiteral("%1 %2").arg(quickAt).arg(slowDone)));
}

void TestThreads::snapshots_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("applied");
    QTest::addColumn<QString>("fen");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("moves");
    QTest::newRow("whole, escaped")
        << QByteArray("{\"success\":1,\"data\":{\"current_position\":\"" + kMate.toLatin1() +
                      "\",\"status\":\"checkmate\",\"moves\":\"e2e4_e7e5_Qh5$\"}}")
        << true << "r1b1k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1"
        << "checkmate"
        << "e2e4 e7e5 Qh5#";
    QTest::newRow("no status") << QByteArray("{\"success\":\"1\",\"data\":{\"current_position\":"
                                             "\"8~8~8~8~8~8~8~8_b_-_-\",\"moves\":\"\"}}")
                               << true << "8/8/8/8/8/8/8/8 b - -"
                               << "old status"
                               << "";
    QTest::newRow("no data") << QByteArray("{\"success\":1}") << true << "old fen"
                             << "old status"
                             << "old moves";
    QTest::newRow("refused") << QByteArray("{\"success\":0,\"data\":{\"status\":\"draw\"}}")
                             << false << "old fen"
                             << "old status"
                             << "old moves";
    QTest::newRow("success true") << QByteArray("{\"success\":true,\"data\":{\"status\":\"draw\"}}")
                                  << false << "old fen"
                                  << "old status"
                                  << "old moves";
    QTest::newRow("plain text") << QByteArray("updated") << false << "old fen"
                                << "old status"
                                << "old moves";
    QTest::newRow("array") << QByteArray("[{\"success\":1}]") << false << "old fen"
                           << "old status"
                           << "old moves";
}

void TestThreads::snapshots()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, applied);
    QFETCH(QString, fen);
    QFETCH(QString, status);
    QFETCH(QString, moves);
    THttpStub stub([=](const TStubRequest&) { return Answer(reply); });
    TTestRoom room;
    room.AddBoard("1111111111");
    TTestBoard& board = room.AddBoard(kBoard);
    room.Queue.Add(kBoard);
    TThreadGetBoards thread(false, kToken, room, stub.Url(""));
    QTRY_COMPARE(stub.Requests().size(), 1);
    // Two more passes: whatever the reply was, it has been dealt with.
    const int takes = room.Takes;
    QTRY_VERIFY(room.Takes >= takes + 2);
    QCOMPARE(board.Draws, applied ? 1 : 0);
    QCOMPARE(board.DTUpdated.isValid(), applied);
    QCOMPARE(board.CurrentFEN, fen);
    QCOMPARE(board.BoardStatus, status);
    QCOMPARE(board.Moves, moves);
    QCOMPARE(room.Boards[0]->Draws, 0);
    const TStubRequest request = stub.Requests()[0];
    QCOMPARE(request.Target, "/workplace/download/1234567890");
    QCOMPARE(request.Header("TVLToken"), kToken.toUtf8());
    QCOMPARE(request.Header("Accept-Charset"), "UTF-8");
}

void TestThreads::pollingFetchesEachQueuedIdOnce()
{
    THttpStub stub([](const TStubRequest&) {
        return Answer("{\"success\":1,\"data\":{\"status\":\"draw\"}}");
    });
    TTestRoom room;
    TTestBoard& board = room.AddBoard(kBoard);
    // Queued three times before the thread takes it; with blanks around, as a caller may pass.
    for (int i = 0; i < 3; ++i)
        room.Queue.Add(" " + kBoard + " ");
    TThreadGetBoards thread(false, kToken, room, stub.Url(""));
    QTRY_COMPARE(board.Draws, 1);
    const int takes = room.Takes;
    QTRY_VERIFY(room.Takes >= takes + 3);
    QCOMPARE(Targets(stub), QStringList{"/workplace/download/1234567890"});
    QCOMPARE(board.BoardStatus, "draw");
    // Queued again, fetched again.
    room.Queue.Add(kBoard);
    QTRY_COMPARE(board.Draws, 2);
    QCOMPARE(stub.Requests().size(), 2);
}

void TestThreads::pollingDropsUnshownWorkplace()
{
    THttpStub stub([](const TStubRequest&) { return Answer("{\"success\":1,\"data\":{}}"); });
    TTestRoom room;
    TTestBoard& board = room.AddBoard(kBoard);
    room.Queue.Add("2222222222");
    TThreadGetBoards thread(false, kToken, room, stub.Url(""));
    QTRY_COMPARE(room.Finds.load(), 1);
    QTest::qWait(100);
    QCOMPARE(board.Draws, 0);
    QVERIFY(room.Queue.Items().isEmpty());
}

void TestThreads::pollingPassesQuicklyOverDeadServer()
{
    TSilentPort silent;
    if (silent.Port() == 0) QSKIP("this kernel does not let a listening port be saturated");
    TTestRoom room;
    for (const QString id : {"1000000001", "1000000002", "1000000003"}) {
        room.AddBoard(id);
        room.Queue.Add(id);
    }
    QElapsedTimer clock;
    clock.start();
    TThreadGetBoards thread(false, kToken, room,
                            QUrl(QStringLiteral("http://127.0.0.1:%1").arg(silent.Port())));
    // 100 ms to connect and 50 ms of pause per workplace: the queue does not stall.
    QTRY_VERIFY(room.Queue.Items().isEmpty() && room.Takes >= 4);
    QVERIFY2(clock.elapsed() < 3 * (100 + 50) + 250, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(room.Finds.load(), 0);
}

void TestThreads::stopMidRequest_data()
{
    QTest::addColumn<bool>("polling");
    QTest::newRow("background API thread") << false;
    QTest::newRow("board polling thread") << true;
}

void TestThreads::stopMidRequest()
{
    QFETCH(bool, polling);
    // A server that takes its time: the stop must not wait for it.
    THttpStub stub([](const TStubRequest&) { return Answer("{\"success\":1}", 2500); });
    TTVLApiClient client(stub.Url(""));
    SetIdentity(client);
    TTestRoom room;
    room.AddBoard(kBoard);
    std::unique_ptr<TServerThread> thread;
    if (polling) {
        room.Queue.Add(kBoard);
        thread = std::make_unique<TThreadGetBoards>(false, kToken, room, stub.Url(""));
    } else {
        client.ReloadBoard(kBoard, true);
        thread = std::make_unique<TAPIGetThread>(client);
        thread->start();
    }
    QTRY_COMPARE(stub.Requests().size(), 1);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(thread->StopAndWait(1000));
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(thread->isFinished());
    QCOMPARE(room.Boards[0]->Draws, 0);
}

void TestThreads::stopWhileHandOffWaits()
{
    THttpStub stub([](const TStubRequest&) { return Answer("{\"success\":1,\"data\":{}}"); });
    TTestRoom room;
    room.AddBoard(kBoard);
    room.Queue.Add(kBoard);
    TThreadGetBoards thread(false, kToken, room, stub.Url(""));
    // The UI thread is busy: the worker sits in its first hand-off, waiting for it.
    QThread::msleep(200);
    QCOMPARE(room.Takes.load(), 0);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(thread.StopAndWait(1000));
    QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
    // The waiting hand-off ran, but did nothing once the thread was told to stop.
    QCOMPARE(room.Takes.load(), 0);
    QCOMPARE(room.Queue.Items(), QStringList{kBoard});
    QCOMPARE(stub.Requests().size(), 0);
}

void TestThreads::freeOnTerminate()
{
    TTVLApiClient client;
    QPointer<TAPIGetThread> thread = new TAPIGetThread(client);
    thread->setFreeOnTerminate(true);
    thread->start();
    QTest::qWait(80);
    QVERIFY(thread->StopAndWait(1000));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QTRY_VERIFY(thread.isNull());
}

TAVLORA_REGISTER_TEST(TestThreads);
#include "tst_threads.moc"
