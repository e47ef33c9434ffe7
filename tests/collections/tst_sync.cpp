// The synchronisation steps against the real service (and the scripted stub for list members
// no real service sends): what is deleted and downloaded, the list files, an unreachable
// server, failed downloads, and local changes that must survive.
#include "Lang.h"
#include "PendingFiles.h"
#include "SyncFixture.h"
#include "TestRegistry.h"
#include "TSynchronizer.h"

#include <QDateTime>

using namespace SyncFixture;
using namespace Qt::Literals::StringLiterals;

namespace {

// One whole run, step by step without waiting: the texts shown and the delays asked for.
struct TRun
{
    QStringList Texts;
    QList<int> Delays;
};

TRun RunAll(TSynchronizer& sync)
{
    TRun run;
    sync.OnViewChanged = [&] {
        if (run.Texts.isEmpty() || run.Texts.last() != sync.StepText())
            run.Texts.append(sync.StepText());
    };
    sync.Start();
    for (int guard = 0; guard < 10000; ++guard) {
        const int delay = sync.RunNext();
        if (delay < 0) break;
        run.Delays.append(delay);
    }
    sync.OnViewChanged = nullptr;
    return run;
}

// Whether every item of part appears in all, in this order.
bool InOrder(const QStringList& all, const QStringList& part)
{
    qsizetype at = 0;
    for (const QString& item : part) {
        at = all.indexOf(item, at);
        if (at < 0) return false;
        ++at;
    }
    return true;
}

const QDateTime kOld = QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6));

void SetOld(const QString& path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(kOld, QFileDevice::FileModificationTime));
}

bool IsOld(const QString& path)
{
    return QFileInfo(path).lastModified() == kOld;
}

// A list file as written: byte-order mark, every line ended by CR LF, the reply's JSON.
void CheckListFile(const QString& path, const QStringList& reply)
{
    const QByteArray bytes = ReadAll(path);
    QVERIFY2(bytes.startsWith("\xEF\xBB\xBF"), qPrintable(path));
    QVERIFY(bytes.endsWith("\r\n"));
    QCOMPARE(bytes.count('\n'), bytes.count("\r\n"));
    QCOMPARE(bytes, TextFile::EncodeUtf8Bom(reply));
    QVERIFY(Json(reply).contains(u"success"_s));
}

} // namespace

class TestSynchronizer : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void followsTheServer();
    void unreachableServerDeletesNothing();
    void oddListMembersAndFailedDownload();
    void localChangeSurvives_data();
    void localChangeSurvives();
    void secondRunLeavesFirstRoomsAlone();

private:
    std::unique_ptr<THolder> SignedIn();

    TServiceProcess FService;
    int FAccounts = 0;
};

void TestSynchronizer::initTestCase()
{
    QVERIFY2(FService.Start(), qPrintable(FService.Log()));
    static QTemporaryDir languages;
    SetLanguageFolder(languages.path() + u'/');
    LoadLanguage(u"en"_s);
}

std::unique_ptr<THolder> TestSynchronizer::SignedIn()
{
    auto holder = std::make_unique<THolder>(FService.ApiBase());
    if (!holder->SignIn(FService, QStringLiteral("sync%1@school.example").arg(++FAccounts)))
        return nullptr;
    return holder;
}

void TestSynchronizer::followsTheServer()
{
    const std::unique_ptr<THolder> h = SignedIn();
    QVERIFY(h);
    TTVLApiClient& c = h->Client();

    // For each kind: unchanged locally, changed locally, missing locally, and a local file the
    // server does not list.
    struct TFiles
    {
        QString Unchanged, Changed, Missing, Unlisted;
        QByteArray UnchangedBytes, ChangedBytes, MissingBytes;
    };
    TFiles files[2];
    for (const bool room : {false, true}) {
        TFiles& f = files[room];
        const QString folder = h->Folder(room), ext = Extension(room);
        f.UnchangedBytes = Content(room, "unchanged");
        f.ChangedBytes = Content(room, "server's");
        f.MissingBytes = Content(room, "missing");
        f.Unchanged = PutOnServer(c, room, f.UnchangedBytes);
        f.Changed = PutOnServer(c, room, f.ChangedBytes);
        f.Missing = PutOnServer(c, room, f.MissingBytes);
        QVERIFY(!f.Unchanged.isEmpty() && !f.Changed.isEmpty() && !f.Missing.isEmpty());
        f.Unlisted = room ? u"1234567890"_s : u"1234567890123"_s;
        QVERIFY(WriteAll(folder + f.Unchanged + ext, f.UnchangedBytes));
        SetOld(folder + f.Unchanged + ext);
        QVERIFY(WriteAll(folder + f.Changed + ext, Content(room, "old local")));
        QVERIFY(WriteAll(folder + f.Unlisted + ext, Content(room, "gone from the server")));
    }
    QVERIFY(WriteAll(h->Collections() + "notes.txt", "mine"));

    TSynchronizer sync(*h->Config);
    const TRun run = RunAll(sync);

    for (const bool room : {false, true}) {
        const TFiles& f = files[room];
        const QString folder = h->Folder(room), ext = Extension(room);
        QStringList toLoad{f.Changed, f.Missing};
        toLoad.sort();
        QCOMPARE(room ? sync.RoomsToLoad() : sync.CollectionToLoad(), toLoad);
        QVERIFY2(IsOld(folder + f.Unchanged + ext), "an unchanged file was downloaded again");
        QCOMPARE(ReadAll(folder + f.Unchanged + ext), f.UnchangedBytes);
        QCOMPARE(ReadAll(folder + f.Changed + ext), f.ChangedBytes);
        QCOMPARE(ReadAll(folder + f.Missing + ext), f.MissingBytes);
        QVERIFY(!QFile::exists(folder + f.Unlisted + ext));
    }
    QCOMPARE(ReadAll(h->Collections() + "notes.txt"), "mine");

    // The three list files, and the lists the holder keeps for the browser and the rooms.
    const QStringList& collections = h->Config->CollectionsOnServer();
    const QStringList& rooms = h->Config->RoomsOnServer();
    QCOMPARE(Json(collections).size(), 4); // "success" and three collections
    QCOMPARE(Json(rooms).size(), 4);
    CheckListFile(h->Data() + "collestions.json", collections);
    CheckListFile(h->Data() + "rooms.json", rooms);
    const QByteArray schools = ReadAll(h->Collections() + "schools.sch");
    QVERIFY(schools.startsWith("\xEF\xBB\xBF"));
    QVERIFY(QJsonDocument::fromJson(schools.mid(3)).object().contains(u"Own"_s));
    QVERIFY(h->Config->JSSchool().contains(u"Own"_s));
    QCOMPARE(h->Config->JSSchool().value(u"success"_s).toInt(), 1);

    // The texts users see, in order; the steps 500 ms apart, downloads back to back.
    const QString first = qMin(files[0].Changed, files[0].Missing);
    QVERIFY2(
        InOrder(run.Texts,
                {"Ask count collections", "Delete old collections", "Geting list online schools",
                 "Calculating collections for load", "Load collections", "Load collection " + first,
                 "Geting list rooms", "DeleteOldRooms", "CalcRoomsToLoad", "LoadRooms"}),
        qPrintable(run.Texts.join(" | ")));
    for (const int delay : run.Delays)
        QVERIFY2(delay == 0 || delay == 500, qPrintable(QString::number(delay)));
    QCOMPARE(run.Delays.count(500), 9);
    QVERIFY(sync.Finished());
}

void TestSynchronizer::unreachableServerDeletesNothing()
{
    THolder h(ClosedPortUrl());
    ServerFixture::SetIdentity(h.Client());
    const QStringList kept{h.Collections() + "1700000000001.tvl", h.Rooms() + "1000000001.room"};
    for (const QString& path : kept)
        QVERIFY(WriteAll(path, "local"));
    // What an earlier run left: the collections list is emptied first, the rooms list is
    // replaced by the failure reply.
    h.Config->CollectionsOnServer() = QStringList{R"({"success":1})"};
    h.Config->RoomsOnServer() = QStringList{R"({"success":1})"};

    TSynchronizer sync(*h.Config);
    sync.setStepSpacingMs(0);
    RunAll(sync);

    for (const QString& path : kept)
        QCOMPARE(ReadAll(path), "local");
    for (const QString& path : QStringList{h.Data() + "collestions.json", h.Data() + "rooms.json",
                                           h.Collections() + "schools.sch"})
        QVERIFY2(!QFile::exists(path), qPrintable(path));
    const QJsonObject failure{{"success", 0}, {"errorDescription", "HTTPGet Error"}};
    QCOMPARE(h.Config->JSSchool(), failure);
    QVERIFY(h.Config->CollectionsOnServer().isEmpty());
    QCOMPARE(Json(h.Config->RoomsOnServer()), failure);
    QVERIFY(sync.CollectionToLoad().isEmpty());
    QVERIFY(sync.RoomsToLoad().isEmpty());
}

void TestSynchronizer::oddListMembersAndFailedDownload()
{
    const QByteArray same = Content(false, "same");
    const QByteArray mine = Content(false, "mine");
    THttpStub stub([&](const TStubRequest& request) {
        const QByteArray path = request.Target;
        QByteArray body = R"({"success":0,"errorDescription":"Not found"})";
        if (path == "/collection/count") body = R"({"success":1,"count":6})";
        if (path == "/collection/list")
            body = R"({"success":1,"count":6,
                "170000000000":{"md5_hash":"x"},
                "0000000000000":{"md5_hash":"x"},
                "../../../abcd":{"md5_hash":"x"},
                "+700000000001":{"md5_hash":"x"},
                "1700000000001":{"md5_hash":")" +
                   Md5(same).toUpper().toLatin1() + R"("},
                "1700000000002":{"md5_hash":"00000000000000000000000000000000"},
                "1700000000003":"not an object",
                "1700000000004":{"name_collection":"no digest"}})";
        if (path == "/school/list") body = R"({"success":1,"Own":{"school_name":"Own"}})";
        if (path == "/room/list")
            body = R"({"success":1,"count":1,"100000001":{},"1000000001":{"md5_hash":"x"}})";
        if (path == "/collection/get/1700000000003") body = "#Three\r\n#EPD\r\n";
        if (path == "/collection/get/1700000000004") body = "#Four\r\n#EPD\r\n";
        if (path == "/room/get/1000000001") body = "NameRoom=R\r\n";
        return ServerFixture::Answer(body);
    });
    THolder h(stub.Url("/"));
    ServerFixture::SetIdentity(h.Client());
    const QString folder = h.Collections();
    QVERIFY(WriteAll(folder + "1700000000001.tvl", same));
    QVERIFY(WriteAll(folder + "1700000000002.tvl", mine));
    QVERIFY(WriteAll(folder + "1700000000003.tvl", mine));
    QVERIFY(WriteAll(folder + "1700000000004.tvl", mine));

    TSynchronizer sync(*h.Config);
    sync.setStepSpacingMs(3);
    sync.setErrorWaitMs(7);
    const TRun run = RunAll(sync);

    QCOMPARE(sync.CollectionToLoad(),
             QStringList({"1700000000002", "1700000000003", "1700000000004"}));
    QCOMPARE(sync.RoomsToLoad(), QStringList{"1000000001"});
    // A digest in capitals is the same digest.
    QCOMPARE(ReadAll(folder + "1700000000001.tvl"), same);
    // The refused download leaves the differing file as it was; the next run tries again.
    QCOMPARE(ReadAll(folder + "1700000000002.tvl"), mine);
    QCOMPARE(ReadAll(folder + "1700000000003.tvl"),
             TextFile::EncodeUtf8Bom(QStringList{"#Three", "#EPD"}));
    QCOMPARE(ReadAll(folder + "1700000000004.tvl"),
             TextFile::EncodeUtf8Bom(QStringList{"#Four", "#EPD"}));
    QCOMPARE(ReadAll(h.Rooms() + "1000000001.room"),
             TextFile::EncodeUtf8Bom(QStringList{"NameRoom=R"}));
    QCOMPARE(QDir(folder).entryList({"*.tvl"}, QDir::Files).size(), 4);
    for (const TStubRequest& request : stub.Requests())
        QVERIFY2(!request.Target.contains("get/") || request.Target.contains("get/1"),
                 request.Target.constData());

    // The failure is shown with its identifier for the error wait, then the run goes on.
    const qsizetype error = run.Texts.indexOf(u"Error on load collection 1700000000002"_s);
    QVERIFY2(error > 0, qPrintable(run.Texts.join(" | ")));
    QCOMPARE(run.Texts.at(error - 1), u"Load collection 1700000000002"_s);
    QCOMPARE(run.Texts.at(error + 1), u"Load collection 1700000000003"_s);
    QCOMPARE(run.Delays.count(7), 1);
    QCOMPARE(run.Delays.count(3), 9);
    for (const int delay : run.Delays)
        QVERIFY(delay == 0 || delay == 3 || delay == 7);
}

void TestSynchronizer::localChangeSurvives_data()
{
    QTest::addColumn<bool>("room");
    QTest::addColumn<bool>("listed");   // the server lists the file (with other content)
    QTest::addColumn<QString>("copy");  // where the local change waits
    QTest::addColumn<bool>("survives"); // otherwise the server's decision holds
    const QString stamp = PendingFiles::QuarantineStamp(QDateTime::currentDateTime());
    for (const bool room : {false, true}) {
        const char* kind = room ? "room" : "collection";
        const QString ext = Extension(room);
        for (const bool listed : {true, false}) {
            const char* server = listed ? "changed on the server" : "no longer listed";
            QTest::addRow("%s %s, pending in ToSend", kind, server)
                << room << listed << QString("ToSend/<id>" + ext) << true;
            QTest::addRow("%s %s, set aside in Error", kind, server)
                << room << listed << QString("ToSend/Error/<id>." + stamp) << true;
        }
        // Only a quarantined copy of this very identifier counts.
        QTest::addRow("%s changed, Error copy of a shorter id", kind)
            << room << true << QString("ToSend/Error/<id-1>." + stamp) << false;
        QTest::addRow("%s not listed, Error copy without a stamp", kind)
            << room << false << QString("ToSend/Error/<id>" + ext + ".bak") << false;
        QTest::addRow("%s not listed, ToSend copy of another kind", kind)
            << room << false << QString("ToSend/<id>" + Extension(!room)) << false;
    }
}

void TestSynchronizer::localChangeSurvives()
{
    QFETCH(bool, room);
    QFETCH(bool, listed);
    QFETCH(QString, copy);
    QFETCH(bool, survives);
    const std::unique_ptr<THolder> h = SignedIn();
    QVERIFY(h);
    const QByteArray server = Content(room, "server's");
    const QByteArray local = Content(room, "local change");
    const QString id = listed ? PutOnServer(h->Client(), room, server)
                              : (room ? u"1234567890"_s : u"1234567890123"_s);
    QVERIFY(!id.isEmpty());
    const QString file = h->Folder(room) + id + Extension(room);
    QVERIFY(WriteAll(file, local));
    const QString pending =
        h->Folder(room) + copy.replace("<id-1>", id.chopped(1)).replace("<id>", id);
    QDir().mkpath(QFileInfo(pending).path());
    QVERIFY(WriteAll(pending, local));

    TSynchronizer sync(*h->Config);
    RunAll(sync);

    if (survives)
        QCOMPARE(ReadAll(file), local);
    else if (listed)
        QCOMPARE(ReadAll(file), server);
    else
        QVERIFY(!QFile::exists(file));
    QCOMPARE(ReadAll(pending), local); // never touched
}

void TestSynchronizer::secondRunLeavesFirstRoomsAlone()
{
    const std::unique_ptr<THolder> h = SignedIn();
    QVERIFY(h);
    const QByteArray bytes = Content(true, "room");
    const QString id = PutOnServer(h->Client(), true, bytes);
    QVERIFY(!id.isEmpty());
    const QString file = h->Rooms() + id + ".room";

    TSynchronizer sync(*h->Config);
    RunAll(sync);
    QCOMPARE(sync.RoomsToLoad(), QStringList{id});
    QCOMPARE(ReadAll(file), bytes);

    // In line with the server now: the next run has nothing to download.
    SetOld(file);
    RunAll(sync);
    QVERIFY(sync.RoomsToLoad().isEmpty());
    QVERIFY2(IsOld(file), "the room of the first run was downloaded again");
}

TAVLORA_REGISTER_TEST(TestSynchronizer);
#include "tst_sync.moc"
