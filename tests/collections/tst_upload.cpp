// The upload thread against the real service (and the stub where no request may be made or
// none may be answered): files sent and deleted, refused and set aside, malformed names, a
// server that is gone, a stop while waiting or sending, the report to the main window, a file
// rewritten while it is sent, and files that cannot be deleted or moved.
#include "IUploadReport.h"
#include "Lang.h"
#include "PendingFiles.h"
#include "SyncFixture.h"
#include "TestRegistry.h"
#include "TUploadThread.h"

#include <algorithm>
#include <optional>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QThread>

using namespace SyncFixture;
using namespace Qt::Literals::StringLiterals;

namespace {

// Stands in for the main window's status cell.
class TReportDouble : public IUploadReport
{
public:
    void ShowCountToSend(int Count, const QString& Text) override
    {
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            Faults.append(u"report off the UI thread"_s);
        Counts.append(Count);
        Texts.append(Text);
    }
    QList<int> Counts;
    QStringList Texts;
    QStringList Faults;
};

// Counts in the order they first appeared.
QList<int> Distinct(const QList<int>& counts)
{
    QList<int> out;
    for (const int count : counts)
        if (out.isEmpty() || out.last() != count) out.append(count);
    return out;
}

} // namespace

class TestUploadThread : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void sendsAndDeletes();
    void refusedOrMalformed_data();
    void refusedOrMalformed();
    void serverGone();
    void stoppedWhileWaitingKeepsTheFile_data();
    void stoppedWhileWaitingKeepsTheFile();
    void emptyFoldersAndTheReport();
    void rewrittenWhileSentStaysPending_data();
    void rewrittenWhileSentStaysPending();
    void stuckFileDoesNotStallTheCount_data();
    void stuckFileDoesNotStallTheCount();

private:
    std::unique_ptr<THolder> SignedIn();
    static void SetFolders(TUploadThread& thread, const THolder& h);
    static QString ToSend(const THolder& h, bool room) { return h.Folder(room) + "ToSend/"; }

    TServiceProcess FService;
    int FAccounts = 0;
};

void TestUploadThread::initTestCase()
{
    QVERIFY2(FService.Start(), qPrintable(FService.Log()));
    static QTemporaryDir languages;
    SetLanguageFolder(languages.path() + u'/');
    LoadLanguage(u"en"_s);
}

std::unique_ptr<THolder> TestUploadThread::SignedIn()
{
    auto holder = std::make_unique<THolder>(FService.ApiBase());
    if (!holder->SignIn(FService, QStringLiteral("upload%1@school.example").arg(++FAccounts)))
        return nullptr;
    return holder;
}

void TestUploadThread::SetFolders(TUploadThread& thread, const THolder& h)
{
    // Without the trailing delimiter, as start-up appends "ToSend" to the folders.
    thread.setCollectionsPathToSend(h.Collections() + "ToSend");
    thread.setRoomsPathToSend(h.Rooms() + "ToSend");
}

void TestUploadThread::sendsAndDeletes()
{
    const std::unique_ptr<THolder> h = SignedIn();
    QVERIFY(h);
    TTVLApiClient& c = h->Client();
    struct TPending
    {
        bool Room;
        QString ID;
        QByteArray Bytes;
    };
    QList<TPending> pending;
    for (const bool room : {false, false, true}) {
        const QString id = PutOnServer(c, room, Content(room, "first"));
        QVERIFY(!id.isEmpty());
        const QByteArray bytes = Content(room, "changed " + id);
        QVERIFY(WriteAll(ToSend(*h, room) + id + Extension(room), bytes));
        pending.append({room, id, bytes});
    }

    TUploadThread thread(c);
    SetFolders(thread, *h);
    QCOMPARE(thread.CollectionsPathToSend(), h->Collections() + "ToSend/");
    TReportDouble report;
    thread.setReport(&report);
    thread.setShowInMain(true);
    QCOMPARE(thread.CountToSend(), 0);
    thread.start();
    QTRY_VERIFY_WITH_TIMEOUT(report.Counts.size() >= 3 && report.Counts.last() == 0, 20000);
    QVERIFY(thread.StopAndWait());

    for (const TPending& p : pending) {
        QVERIFY(!QFile::exists(ToSend(*h, p.Room) + p.ID + Extension(p.Room)));
        QCOMPARE(Md5OnServer(c, p.Room, p.ID), Md5(p.Bytes));
    }
    QVERIFY(!QFile::exists(ToSend(*h, false) + "Error"));
    // One collection and one room per pass: three found, then the second collection, then
    // none. The report keeps the two blanks of its text.
    QCOMPARE(Distinct(report.Counts), QList<int>({3, 1, 0}));
    QCOMPARE(report.Texts.first(), u"Files to send -  3"_s);
    QCOMPARE(report.Texts.last(), u"Files to send -  0"_s);
    QVERIFY2(report.Faults.isEmpty(), qPrintable(report.Faults.join("; ")));
}

void TestUploadThread::refusedOrMalformed_data()
{
    QTest::addColumn<bool>("room");
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("uploaded");    // handed to the upload operation
    QTest::addColumn<bool>("quarantined"); // else deleted
    QTest::newRow("12 digits: deleted without upload")
        << false << "170000000000.tvl" << false << false;
    QTest::newRow("13 letters: refused, set aside") << false << "abcdefghijklm.tvl" << true << true;
    QTest::newRow("unknown collection: refused, set aside")
        << false << "1000000000001.tvl" << true << true;
    QTest::newRow("a collection id in the rooms folder: deleted")
        << true << "1700000000001.room" << false << false;
    QTest::newRow("9 digits: deleted without upload") << true << "123456789.room" << false << false;
    QTest::newRow("unknown room: refused, set aside") << true << "1000000001.room" << true << true;
}

void TestUploadThread::refusedOrMalformed()
{
    QFETCH(bool, room);
    QFETCH(QString, file);
    QFETCH(bool, uploaded);
    QFETCH(bool, quarantined);
    const std::unique_ptr<THolder> h = SignedIn();
    QVERIFY(h);
    const QString folder = ToSend(*h, room);
    const QByteArray bytes = Content(room, "pending");
    QVERIFY(WriteAll(folder + file, bytes));

    TUploadThread thread(h->Client());
    SetFolders(thread, *h);
    QList<bool> results;
    thread.AfterUpload = [&](const QString&, bool result) { results.append(result); };
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    thread.start();
    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(folder + file) && thread.CountToSend() == 0, 20000);
    QVERIFY(thread.StopAndWait());
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);

    QCOMPARE(results, uploaded ? QList<bool>{false} : QList<bool>{});
    const QStringList aside = QDir(folder + "Error").entryList(QDir::Files);
    if (!quarantined) {
        QVERIFY(aside.isEmpty());
        return;
    }
    QCOMPARE(aside.size(), 1);
    const QString name = file.chopped(Extension(room).size());
    QCOMPARE(PendingFiles::QuarantinedId(aside[0]), name);
    QCOMPARE(ReadAll(folder + "Error/" + aside[0]), bytes);
    // identifier "." ddMMyyHHmmsszzz: the time of the failure.
    const QString stamp = aside[0].mid(name.size() + 1);
    QCOMPARE(stamp.size(), 15);
    const QDateTime when =
        QDateTime::fromString(stamp, u"ddMMyyHHmmsszzz"_s).addYears(100); // "yy" reads as 19yy
    QVERIFY2(when >= before && when <= after, qPrintable(stamp));
}

void TestUploadThread::serverGone()
{
    THolder h(ClosedPortUrl());
    ServerFixture::SetIdentity(h.Client());
    const QString folder = ToSend(h, false);
    QVERIFY(WriteAll(folder + "1700000000001.tvl", "pending"));
    QVERIFY(WriteAll(ToSend(h, true) + "1000000001.room", "pending"));

    TUploadThread thread(h.Client());
    QCOMPARE(thread.ServerWaitMs(), 5000);
    thread.setServerWaitMs(300);
    SetFolders(thread, h);
    QElapsedTimer clock;
    clock.start();
    thread.start();
    QTRY_VERIFY_WITH_TIMEOUT(thread.PassCount() >= 2 && thread.CountToSend() == 0, 20000);
    // The two files wait one after the other in the same pass.
    QVERIFY2(clock.elapsed() >= 600, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(thread.StopAndWait());
    QCOMPARE(QDir(folder + "Error").entryList(QDir::Files).size(), 1);
    QCOMPARE(QDir(ToSend(h, true) + "Error").entryList(QDir::Files).size(), 1);
    QVERIFY(QDir(folder).entryList(QDir::Files).isEmpty());
}

void TestUploadThread::stoppedWhileWaitingKeepsTheFile_data()
{
    QTest::addColumn<bool>("slowUpload"); // else the server cannot be reached
    QTest::addColumn<int>("withinMs");
    QTest::newRow("waiting for the server") << false << 3000;
    QTest::newRow("during a slow upload") << true << 1000;
}

void TestUploadThread::stoppedWhileWaitingKeepsTheFile()
{
    QFETCH(bool, slowUpload);
    QFETCH(int, withinMs);
    // The server check is answered at once, the upload long after the test.
    THttpStub stub([](const TStubRequest& request) {
        return ServerFixture::Answer(R"({"success":1})", request.Method == "POST" ? 60000 : 0);
    });
    const auto posted = [&stub] {
        const QList<TStubRequest> requests = stub.Requests();
        return std::any_of(requests.begin(), requests.end(),
                           [](const TStubRequest& r) { return r.Method == "POST"; });
    };
    THolder h(slowUpload ? stub.Url("/") : ClosedPortUrl());
    ServerFixture::SetIdentity(h.Client());
    const QString file = ToSend(h, false) + "1700000000001.tvl";
    QVERIFY(WriteAll(file, "pending"));

    TUploadThread thread(h.Client());
    thread.setServerWaitMs(60000);
    SetFolders(thread, h);
    QList<bool> results;
    thread.AfterUpload = [&](const QString&, bool result) { results.append(result); };
    thread.start();
    QTRY_COMPARE(thread.CountToSend(), 1);
    if (slowUpload)
        QTRY_VERIFY(posted());
    else
        QTest::qWait(200); // inside the wait by now
    QElapsedTimer clock;
    clock.start();
    QVERIFY(thread.StopAndWait(5000));
    QVERIFY2(clock.elapsed() < withinMs, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(results, slowUpload ? QList<bool>{false} : QList<bool>{});
    // Closing the program is no failure of the upload: the file waits for the next run.
    QCOMPARE(ReadAll(file), "pending");
    QVERIFY(!QFile::exists(ToSend(h, false) + "Error"));
}

void TestUploadThread::emptyFoldersAndTheReport()
{
    THttpStub stub([](const TStubRequest&) { return ServerFixture::Answer(R"({"success":1})"); });
    THolder h(stub.Url("/"));
    ServerFixture::SetIdentity(h.Client());
    TUploadThread thread(h.Client());
    SetFolders(thread, h);
    TReportDouble report;
    thread.setReport(&report);
    thread.start();

    QTRY_VERIFY(thread.PassCount() >= 2);
    QCOMPARE(thread.CountToSend(), 0);
    QVERIFY(report.Counts.isEmpty()); // ShowInMain starts off
    QVERIFY(stub.Requests().isEmpty());

    thread.setShowInMain(true);
    QTRY_VERIFY(!report.Counts.isEmpty());
    QCOMPARE(report.Counts.last(), 0);
    QCOMPARE(report.Texts.last(), u"Files to send -  0"_s);

    thread.setShowInMain(false);
    QTest::qWait(50); // a report under way ends
    const qsizetype reports = report.Counts.size();
    const int passes = thread.PassCount();
    QTRY_VERIFY(thread.PassCount() >= passes + 3);
    QCOMPARE(report.Counts.size(), reports);
    QVERIFY(thread.StopAndWait());
    QVERIFY(stub.Requests().isEmpty());
    QVERIFY2(report.Faults.isEmpty(), qPrintable(report.Faults.join("; ")));
}

void TestUploadThread::rewrittenWhileSentStaysPending_data()
{
    QTest::addColumn<bool>("rewrite");
    QTest::newRow("rewritten right after the upload") << true;
    QTest::newRow("unchanged") << false;
}

void TestUploadThread::rewrittenWhileSentStaysPending()
{
    QFETCH(bool, rewrite);
    const std::unique_ptr<THolder> h = SignedIn();
    QVERIFY(h);
    TTVLApiClient& c = h->Client();
    const QString id = PutOnServer(c, false, Content(false, "first"));
    QVERIFY(!id.isEmpty());
    const QString file = ToSend(*h, false) + id + ".tvl";
    const QByteArray older = Content(false, "older"), newer = Content(false, "newer");
    QVERIFY(WriteAll(file, older));

    TUploadThread thread(c);
    SetFolders(thread, *h);
    std::atomic<int> uploads{0};
    thread.AfterUpload = [&](const QString& path, bool result) {
        // The UI saves the collection again just as the older content was taken.
        if (++uploads == 1 && rewrite && result) WriteAll(path, newer);
    };
    thread.start();
    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(file) && thread.CountToSend() == 0, 20000);
    QVERIFY(thread.StopAndWait());

    QCOMPARE(uploads.load(), rewrite ? 2 : 1);
    // The newer content was kept and sent in the next pass.
    QCOMPARE(Md5OnServer(c, false, id), Md5(rewrite ? newer : older));
}

void TestUploadThread::stuckFileDoesNotStallTheCount_data()
{
    QTest::addColumn<QString>("stuck");
    QTest::addColumn<QString>("how");
    // Refused (no such collection), and Error is a file, so it cannot be moved aside; sorted
    // first, it would be the one file of every pass.
    QTest::newRow("refused, cannot be moved aside") << "0999999999999.tvl"
                                                    << "ErrorIsAFile";
    QTest::newRow("malformed name, cannot be deleted") << "170000000000.tvl"
                                                       << "LockedFolder";
    QTest::newRow("sent, cannot be deleted") << "<valid>"
                                             << "LockedFolder";
}

void TestUploadThread::stuckFileDoesNotStallTheCount()
{
    QFETCH(QString, stuck);
    QFETCH(QString, how);
    const std::unique_ptr<THolder> h = SignedIn();
    QVERIFY(h);
    TTVLApiClient& c = h->Client();
    const QString folder = ToSend(*h, false);
    const QByteArray bytes = Content(false, "pending");
    // A second pending collection behind the stuck one, and a room.
    const QString next = PutOnServer(c, false, Content(false, "first"));
    const QString room = PutOnServer(c, true, Content(true, "first"));
    QVERIFY(!next.isEmpty() && !room.isEmpty());
    const bool valid = stuck == u"<valid>"_s;
    if (valid) stuck = PutOnServer(c, false, Content(false, "first")) + ".tvl";
    QVERIFY(WriteAll(folder + stuck, bytes));
    QVERIFY(WriteAll(folder + next + ".tvl", bytes));
    QVERIFY(WriteAll(ToSend(*h, true) + room + ".room", Content(true, "pending")));

    std::optional<TFolderLock> lock;
    if (how == u"ErrorIsAFile"_s) {
        QVERIFY(WriteAll(folder + "Error", "a file, not a folder"));
    } else {
        lock.emplace(folder);
        if (!lock->Locked()) QSKIP("no way to lock a folder on this machine");
    }

    TUploadThread thread(c);
    SetFolders(thread, *h);
    thread.start();
    QTRY_VERIFY_WITH_TIMEOUT(thread.PassCount() >= 4 && thread.CountToSend() == 0, 20000);
    QVERIFY(thread.StopAndWait());
    if (lock) lock->Unlock();

    QCOMPARE(ReadAll(folder + stuck), bytes); // still here, and intact
    QCOMPARE(Md5OnServer(c, false, next), Md5(bytes));
    QCOMPARE(Md5OnServer(c, true, room), Md5(Content(true, "pending")));
    QVERIFY(!QFile::exists(ToSend(*h, true) + room + ".room"));
    if (how == u"ErrorIsAFile"_s) QVERIFY(!QFile::exists(folder + next + ".tvl"));
    if (valid) QCOMPARE(Md5OnServer(c, false, stuck.chopped(4)), Md5(bytes));
}

TAVLORA_REGISTER_TEST(TestUploadThread);
#include "tst_upload.moc"
