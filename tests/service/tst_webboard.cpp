// The students' side of the service: the rules of a workplace's game, the engine, the page's
// live link and the page's files. The real service and the real engine, spoken to over HTTP
// and WebSocket.

#include "ApiText.h"
#include "ServiceClient.h"
#include "TEngine.h"
#include "TestRegistry.h"
#include "TServiceProcess.h"

#include <algorithm>
#include <csignal>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

const QByteArray kMateInOne = "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1";

QByteArray Param(const QByteArray& value)
{
    QByteArray v = value;
    return QUrl::toPercentEncoding(QString::fromLatin1(v.replace('/', '~')));
}

QByteArray PositionSegment(QByteArray fen)
{
    return fen.replace(' ', '_').replace('/', '~');
}

// A teacher with a room and one student at a workplace.
struct TLesson
{
    QByteArray Token, ConnectionId, Room, Workplace, Key;
};

TLesson OpenLesson(TServiceProcess& service, const QString& email)
{
    TLesson l;
    const QString reg = service.AddAccount(email);
    TClient client(service.ApiBase());
    client.Get("/user/code/new/" + reg.toLatin1());
    l.Token =
        client
            .Get("/user/code/check/" + reg.toLatin1() + "/" + service.LatestCode(email).toLatin1())
            .Member("token")
            .toLatin1();
    client.setToken(l.Token);
    l.ConnectionId = client.Get("/user/token/" + reg.toLatin1()).Member("connection_id").toLatin1();
    l.Room = client.Get("/room/new/Club").Member("RoomId").toLatin1();
    const TReply join = client.Get("/student/join/" + l.Room + "/Ada");
    l.Workplace = join.Member("workplace_id").toLatin1();
    l.Key = join.Member("student_key").toLatin1();
    return l;
}

// The end of a task push: the rules, the position, the reload.
bool PushTask(TClient& teacher, const TLesson& l, const QByteArray& fen,
              const QList<QPair<QByteArray, QByteArray>>& parameters)
{
    QList<QPair<QByteArray, QByteArray>> all = {
        {"answer", "manual"}, {"count_max_moves", "999"}, {"en_moves", "1"}, {"markers", "1"}};
    all += parameters;
    all.append({"position", fen});
    for (const auto& p : all)
        if (!teacher
                 .Get("/workplace/setParameter/" + l.Workplace + "/" + p.first + "/" +
                      Param(p.second))
                 .Success())
            return false;
    return teacher.Get("/workplace/reloadPosition/" + l.Workplace).Success();
}

// A student's page link: collects the JSON texts.
class TPageLink
{
public:
    TPageLink()
    {
        QObject::connect(&FSocket, &QWebSocket::textMessageReceived, [this](const QString& text) {
            Messages.append(QJsonDocument::fromJson(text.toUtf8()).object());
        });
        QObject::connect(&FSocket, &QWebSocket::disconnected, [this] { Closed = true; });
    }
    bool Open(const QUrl& url, const QByteArray& key)
    {
        FSocket.open(url);
        if (!QTest::qWaitFor(
                [this] { return FSocket.state() == QAbstractSocket::ConnectedState || Closed; },
                5000))
            return false;
        if (Closed) return false;
        FSocket.sendTextMessage(QStringLiteral("key ") + QString::fromLatin1(key));
        return true;
    }
    bool WaitFor(const QString& type, int timeoutMs = 5000)
    {
        return QTest::qWaitFor([&] { return Count(type) > 0; }, timeoutMs);
    }
    int Count(const QString& type) const
    {
        int n = 0;
        for (const QJsonObject& m : Messages)
            n += m.value("type").toString() == type;
        return n;
    }
    QJsonObject Last(const QString& type) const
    {
        for (auto it = Messages.crbegin(); it != Messages.crend(); ++it)
            if (it->value("type").toString() == type) return *it;
        return {};
    }
    QList<QJsonObject> Messages;
    bool Closed = false;
    QWebSocket FSocket;
};

// The engine's processes among the children of the service, found through /proc.
QList<qint64> EngineProcessesOf(const QString& dataDir)
{
    QList<qint64> found;
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
        bool number = false;
        entry.toLongLong(&number);
        if (!number) continue;
        QFile status("/proc/" + entry + "/status");
        if (!status.open(QIODevice::ReadOnly)) continue;
        const QString text = QString::fromLatin1(status.readAll());
        if (!text.startsWith("Name:\tstockfish")) continue;
        const QString parent = text.section("PPid:\t", 1).section('\n', 0, 0);
        QFile cmdline("/proc/" + parent + "/cmdline");
        if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(dataDir.toUtf8()))
            found.append(entry.toLongLong());
    }
    return found;
}

} // namespace

class TestWebBoard : public QObject
{
    Q_OBJECT

    TServiceProcess FService;
    TLesson L;

    TClient Teacher() const { return TClient(FService.ApiBase(), L.Token); }
    TReply Student(const QByteArray& path) const
    {
        TClient client(FService.ApiBase());
        return client.Get(path, {{"TVLStudent", L.Key}});
    }
    QJsonObject Snapshot() const
    {
        return Teacher().Get("/workplace/download/" + L.Workplace).Json.value("data").toObject();
    }
    QUrl PageUrl(const QByteArray& workplace) const
    {
        return QUrl(FService.WsBase().toString() + "/ws/student/" + QString::fromLatin1(workplace));
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(FService.Start({"--engine-movetime-ms", "50", "--engine-pause-ms", "50",
                                 "--keep-alive-seconds", "1"}),
                 qPrintable(FService.Log()));
        L = OpenLesson(FService, "teacher@webboard.example");
        QVERIFY(ApiText::Check10Digit(QString::fromLatin1(L.Workplace)));
    }

    void studentMovesByTheRules_data()
    {
        QTest::addColumn<QByteArray>("fen");
        QTest::addColumn<QByteArray>("parameters"); // name=value;...
        QTest::addColumn<QByteArray>("move");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("moves");
        QTest::newRow("mate") << kMateInOne << QByteArray() << QByteArray("d1d8") << ""
                              << "checkmate"
                              << "1. Rd8#";
        QTest::newRow("illegal") << kMateInOne << QByteArray() << QByteArray("d1e3")
                                 << "Illegal move"
                                 << ""
                                 << "";
        QTest::newRow("moves off")
            << kMateInOne << QByteArray("en_moves=0") << QByteArray("d1d8") << "Moves are off"
            << ""
            << "";
        QTest::newRow("stalemate is a draw") << QByteArray("7k/8/6K1/8/8/8/8/5Q2 w - - 0 1")
                                             << QByteArray() << QByteArray("f1f7") << ""
                                             << "draw"
                                             << "1. Qf7";
        QTest::newRow("taking the last piece is a draw")
            << QByteArray("8/8/4k3/8/3q4/3K4/8/8 w - - 0 1") << QByteArray() << QByteArray("d3d4")
            << ""
            << "draw"
            << "1. Kxd4";
        QTest::newRow("black starts") << QByteArray("4k3/8/8/8/8/8/4p3/K7 b - - 0 30")
                                      << QByteArray() << QByteArray("e2e1q") << ""
                                      << ""
                                      << "30... e1=Q+";
        QTest::newRow("the task's side counts, not the orientation")
            << QByteArray("4k3/8/8/8/8/8/4P3/4K3 w - - 0 1") << QByteArray("orientation=b")
            << QByteArray("e2e4") << ""
            << ""
            << "1. e4";
        QTest::newRow("malformed move")
            << kMateInOne << QByteArray() << QByteArray("d1d9") << "Bad move"
            << ""
            << "";
    }
    void studentMovesByTheRules()
    {
        QFETCH(QByteArray, fen);
        QFETCH(QByteArray, parameters);
        QFETCH(QByteArray, move);
        QFETCH(QString, error);
        QFETCH(QString, status);
        QFETCH(QString, moves);
        TClient teacher = Teacher();
        QList<QPair<QByteArray, QByteArray>> extra;
        for (const QByteArray& p : parameters.split(';'))
            if (p.contains('='))
                extra.append(QPair<QByteArray, QByteArray>(p.left(p.indexOf('=')),
                                                           p.mid(p.indexOf('=') + 1)));
        QVERIFY(PushTask(teacher, L, fen, extra));
        const QJsonObject before = Snapshot();
        const TReply reply = Student("/student/move/" + L.Workplace + "/" + move);
        if (!error.isEmpty()) {
            QVERIFY2(!reply.Success(), reply.Body);
            QCOMPARE(reply.Member("errorDescription"), error);
            QCOMPARE(Snapshot(), before); // a refused move leaves nothing behind
            return;
        }
        QVERIFY2(reply.Success(), reply.Body);
        const QJsonObject after = Snapshot();
        QCOMPARE(after.value("status").toString(), status);
        QCOMPARE(ApiText::UnescapePosition(after.value("moves").toString()), moves);
        QCOMPARE(reply.Member("status"), status);
        QCOMPARE(reply.Member("last_move"), QString::fromLatin1(move));
        QCOMPARE(reply.Member("current_position"),
                 ApiText::UnescapePosition(after.value("current_position").toString()));
    }

    void stateTellsThePageWhatItMayDo()
    {
        TClient teacher = Teacher();
        QVERIFY(PushTask(teacher, L, kMateInOne, {{"answer", "manual"}}));
        TReply state = Student("/student/state/" + L.Workplace);
        QCOMPARE(state.Member("may_move"), QString("1"));
        QCOMPARE(state.Member("student_side"), QString("w"));
        QCOMPARE(state.Json.value("legal").toObject().value("d1").toString(),
                 QString("a1b1c1d2d3d4d5d6d7d8e1f1"));
        QCOMPARE(state.Json.value("parameters").toObject().value("answer").toString(),
                 QString("manual"));
        QVERIFY(Student("/student/move/" + L.Workplace + "/h2h3").Success());
        state = Student("/student/state/" + L.Workplace);
        QCOMPARE(state.Member("may_move"), QString("0"));
        QCOMPARE(state.Member("reason"), QString("waiting"));
        QCOMPARE(state.Member("waiting"), QString("teacher"));
        QVERIFY(!state.Json.contains("legal"));
        QCOMPARE(Student("/student/move/" + L.Workplace + "/g8h8").Member("errorDescription"),
                 QString("Not your move"));
        // One move allowed: after the teacher's answer the student has none left.
        QVERIFY(PushTask(teacher, L, kMateInOne, {{"count_max_moves", "1"}}));
        QCOMPARE(Student("/student/state/" + L.Workplace).Member("moves_left"), QString("1"));
        QVERIFY(Student("/student/move/" + L.Workplace + "/h2h3").Success());
        QVERIFY(
            teacher
                .Get("/workplace/move/" + L.Workplace + "/h7h6/" +
                     PositionSegment(Snapshot().value("current_position").toString().toLatin1()) +
                     "/1")
                .Success());
        QCOMPARE(Student("/student/state/" + L.Workplace).Member("reason"), QString("limit"));
        QCOMPARE(Student("/student/move/" + L.Workplace + "/d1d8").Member("errorDescription"),
                 QString("No moves are left in this task"));
        // A reload gives the moves back.
        QVERIFY(teacher.Get("/workplace/reloadPosition/" + L.Workplace).Success());
        QVERIFY(Student("/student/move/" + L.Workplace + "/d1d8").Success());
        // Without markers the page gets no targets: the teacher hides them on purpose.
        QVERIFY(PushTask(teacher, L, kMateInOne, {{"markers", "0"}}));
        state = Student("/student/state/" + L.Workplace);
        QCOMPARE(state.Member("may_move"), QString("1"));
        QVERIFY(!state.Json.contains("legal"));
        // A reload of a task of four fields gives it its counters.
        QVERIFY(PushTask(teacher, L, "4k3/8/8/8/8/8/4P3/4K3 w - -", {}));
        QCOMPARE(Snapshot().value("current_position").toString(),
                 QString("4k3~8~8~8~8~8~4P3~4K3_w_-_-_0_1"));
        // The version only grows.
        const qint64 v1 =
            Student("/student/state/" + L.Workplace).Json.value("version").toInteger();
        QVERIFY(teacher.Get("/workplace/setParameter/" + L.Workplace + "/selected/e40").Success());
        QVERIFY(Student("/student/state/" + L.Workplace).Json.value("version").toInteger() > v1);
    }

    void theEngineAnswersTheStudent()
    {
        TClient teacher = Teacher();
        TLiveClient live;
        QVERIFY(live.Open(QUrl(FService.WsBase().toString() + "/ws/" + L.ConnectionId)));
        QVERIFY(PushTask(teacher, L, "4k3/8/8/8/8/8/4P3/4K3 w - - 0 1", {{"answer", "stockfish"}}));
        live.Clear();
        QVERIFY(Student("/student/move/" + L.Workplace + "/e2e4").Success());
        QVERIFY(live.WaitFor(QString::fromLatin1("updated " + L.Workplace)));
        QVERIFY(QTest::qWaitFor(
            [&] { return Snapshot().value("current_position").toString().contains("_w_"); },
            10000));
        const QString moves = ApiText::UnescapePosition(Snapshot().value("moves").toString());
        QVERIFY2(QRegularExpression("^1\\. e4 K[a-h][1-8]$").match(moves).hasMatch(),
                 qPrintable(moves));
        QVERIFY(std::any_of(live.Words.cbegin(), live.Words.cend(), [&](const QString& w) {
            return w.startsWith(
                QString::fromLatin1("move " + L.Workplace + " 4k3~8~8~8~4P3~8~8~4K3_b_-_e3 e8"));
        }));
        // A new task in the meantime makes a late answer void.
        QVERIFY(Student("/student/move/" + L.Workplace + "/e4e5").Success());
        QVERIFY(PushTask(teacher, L, kMateInOne, {{"answer", "stockfish"}}));
        QTest::qWait(600);
        QCOMPARE(Snapshot().value("current_position").toString(),
                 QString("6k1~5ppp~8~8~8~8~5PPP~3R2K1_w_-_-_0_1"));
    }

    void robotMove_data()
    {
        QTest::addColumn<QByteArray>("position");
        QTest::addColumn<QString>("move"); // empty: a refusal
        QTest::newRow("mate in one") << QByteArray("6k1~5ppp~8~8~8~8~5PPP~3R2K1_w_-_-") << "d1d8";
        QTest::newRow("six fields")
            << QByteArray("6k1~5ppp~8~8~8~8~5PPP~3R2K1_w_-_-_0_1") << "d1d8";
        QTest::newRow("no black king") << QByteArray("8~8~8~8~8~8~5PPP~3R2K1_w_-_-") << "";
        QTest::newRow("marker pieces") << QByteArray("6k1~8~8~8~8~8~8~X2R2K1_w_-_-") << "";
        QTest::newRow("mated already") << QByteArray("3R2k1~5ppp~8~8~8~8~5PPP~6K1_b_-_-") << "";
        QTest::newRow("not a position") << QByteArray("hello") << "";
    }
    void robotMove()
    {
        QFETCH(QByteArray, position);
        QFETCH(QString, move);
        const TReply reply = Teacher().Get("/robot/move/" + L.ConnectionId + "/" + position);
        QCOMPARE(reply.Member("move"), move);
        QCOMPARE(reply.Success(), !move.isEmpty());
    }

    void theEngineComesBackAfterItDies()
    {
        TClient teacher = Teacher();
        const QByteArray path =
            "/robot/move/" + L.ConnectionId + "/6k1~5ppp~8~8~8~8~5PPP~3R2K1_w_-_-";
        QVERIFY(teacher.Get(path).Success());
        const QList<qint64> engines = EngineProcessesOf(FService.DataDir());
        QCOMPARE(engines.size(), 1);
        ::kill(pid_t(engines.first()), SIGKILL);
        QVERIFY(
            QTest::qWaitFor([&] { return EngineProcessesOf(FService.DataDir()).isEmpty(); }, 5000));
        QCOMPARE(teacher.Get(path).Member("move"), QString("d1d8"));
        QCOMPARE(EngineProcessesOf(FService.DataDir()).size(), 1);
    }

    void withoutAnEngineTheServiceStillRuns()
    {
        TServiceProcess service;
        QVERIFY(service.Start({"--engine", "/nonexistent/stockfish"}));
        TLesson l = OpenLesson(service, "solo@webboard.example");
        TClient teacher(service.ApiBase(), l.Token);
        const TReply robot =
            teacher.Get("/robot/move/" + l.ConnectionId + "/6k1~5ppp~8~8~8~8~5PPP~3R2K1_w_-_-");
        QVERIFY(!robot.Success());
        QCOMPARE(robot.Member("errorDescription"), QString("The engine is not available"));
        QVERIFY(teacher.Get("/robot/move/" + l.ConnectionId + "/6k1~5ppp~8~8~8~8~5PPP~3R2K1_w_-_-")
                    .Json.contains("errorDescription"));
        QVERIFY(PushTask(teacher, l, "4k3/8/8/8/8/8/4P3/4K3 w - - 0 1", {{"answer", "stockfish"}}));
        TClient student(service.ApiBase());
        QVERIFY(student.Get("/student/move/" + l.Workplace + "/e2e4", {{"TVLStudent", l.Key}})
                    .Success());
        const TReply state = student.Get("/student/state/" + l.Workplace, {{"TVLStudent", l.Key}});
        QCOMPARE(state.Member("waiting"), QString("unavailable"));
        // The log says why, once.
        QCOMPARE(service.Log().count("no chess engine found"), 1);
    }

    void aFailedEngineAnswerIsAskedAgain()
    {
        // The first engine dies while it thinks; the student still gets an answer.
        QTemporaryDir dir;
        const QString wrapper = dir.filePath("dies-once");
        QFile script(wrapper);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(
            "#!/bin/sh\nif [ ! -e \"$0.died\" ]; then : > \"$0.died\"; while read line; do "
            "case \"$line\" in uci) echo uciok;; isready) echo readyok;; go*) exit 1;; "
            "esac; done; fi\nexec " +
            TEngine::FindStockfish().toUtf8() + "\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        TServiceProcess service;
        QVERIFY(service.Start({"--engine", wrapper}));
        TLesson l = OpenLesson(service, "retry@webboard.example");
        TClient teacher(service.ApiBase(), l.Token);
        QVERIFY(PushTask(teacher, l, "4k3/8/8/8/8/8/4P3/4K3 w - - 0 1", {{"answer", "stockfish"}}));
        TClient student(service.ApiBase());
        QVERIFY(student.Get("/student/move/" + l.Workplace + "/e2e4", {{"TVLStudent", l.Key}})
                    .Success());
        QVERIFY(QTest::qWaitFor(
            [&] {
                return teacher.Get("/workplace/download/" + l.Workplace)
                    .Json.value("data")
                    .toObject()
                    .value("current_position")
                    .toString()
                    .contains("_w_");
            },
            10000));
        QVERIFY(QFile::exists(wrapper + ".died"));
    }

    void engineQueueAndTimeouts()
    {
        // A request never blocks, answers come in order, and an engine that hangs or does not
        // start ends its requests without a move.
        QObject context;
        TEngine engine(QString(), 20);
        QVERIFY(engine.Available());
        QStringList answers;
        for (const char* fen : {"6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1",
                                "rnbqkbnr/pppp1ppp/8/4p3/6P1/5P2/PPPPP2P/RNBQKBNR b KQkq - 0 2"})
            engine.BestMove(QString::fromLatin1(fen), &context,
                            [&](QString move) { answers.append(move); });
        QCOMPARE(engine.Pending(), 2);
        QVERIFY(answers.isEmpty());
        QVERIFY(QTest::qWaitFor([&] { return answers.size() == 2; }, 10000));
        QCOMPARE(answers, QStringList({"d1d8", "d8h4"}));

        QTemporaryDir dir;
        const QString hung = dir.filePath("hung-engine");
        QFile script(hung);
        QVERIFY(script.open(QIODevice::WriteOnly));
        // Knows the hand-shake, never finds a move.
        script.write("#!/bin/sh\nwhile read line; do case \"$line\" in uci) echo uciok;; "
                     "isready) echo readyok;; quit) exit 0;; esac; done\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        TEngine stuck(hung, 10);
        QString result = QStringLiteral("none yet");
        stuck.BestMove(QString::fromLatin1(kMateInOne), &context,
                       [&](QString move) { result = move; });
        QVERIFY(QTest::qWaitFor([&] { return result.isEmpty(); }, 8000));

        TEngine broken(QStringLiteral("/bin/false"), 10);
        result = QStringLiteral("none yet");
        broken.BestMove(QString::fromLatin1(kMateInOne), &context,
                        [&](QString move) { result = move; });
        QVERIFY(QTest::qWaitFor([&] { return result.isEmpty(); }, 8000));

        // A position the engine cannot take is refused before it reaches the engine.
        result = QStringLiteral("none yet");
        engine.BestMove(QStringLiteral("8/8/8/8/8/8/8/K7 w - - 0 1"), &context,
                        [&](QString move) { result = move; });
        QVERIFY(QTest::qWaitFor([&] { return result.isEmpty(); }, 1000));
    }

    void thePageLinkBringsChanges()
    {
        TClient teacher = Teacher();
        TPageLink page;
        QVERIFY(page.Open(PageUrl(L.Workplace), L.Key));
        QVERIFY(page.WaitFor("welcome"));
        // While the link lives the student reads as connected at this very moment.
        const TReply check = teacher.Get("/workplace/" + L.Workplace);
        QCOMPARE(check.Member("connected"), QString("1"));
        QCOMPARE(check.Member("mark"), check.Member("current"));
        // The task's parameters and position arrive without asking.
        QVERIFY(PushTask(teacher, L, kMateInOne,
                         {{"selected", "d81"}, {"puzzle_task", "White move<br>Mates"}}));
        QVERIFY(QTest::qWaitFor(
            [&] {
                return page.Last("state").value("parameters").toObject().value("selected") ==
                           "d81" &&
                       page.Last("state").value("current_position") ==
                           QString::fromLatin1(kMateInOne);
            },
            5000));
        // The teacher's answer reaches the page at once.
        QVERIFY(Student("/student/move/" + L.Workplace + "/h2h3").Success());
        QVERIFY(
            teacher
                .Get("/workplace/move/" + L.Workplace + "/h7h6/" +
                     PositionSegment(Snapshot().value("current_position").toString().toLatin1()) +
                     "/1")
                .Success());
        QVERIFY(
            QTest::qWaitFor([&] { return page.Last("state").value("last_move") == "h7h6"; }, 5000));
        QCOMPARE(page.Last("state").value("moves").toString(), QString("1. h3 h6"));
        // The link hears that it lives.
        QVERIFY(page.WaitFor("alive", 3000));
        page.FSocket.close();
        QVERIFY(QTest::qWaitFor([&] { return page.Closed; }, 3000));
    }

    void pageLinksNeedTheirKey_data()
    {
        QTest::addColumn<QByteArray>("workplace");
        QTest::addColumn<QByteArray>("key");
        QTest::newRow("wrong key")
            << QByteArray() << QByteArray("3b14702d-252f-43dc-869b-2e77c133678b");
        QTest::newRow("not a key") << QByteArray() << QByteArray("<script>");
        QTest::newRow("unknown workplace") << QByteArray("1000000000") << QByteArray();
        QTest::newRow("not an id") << QByteArray("12ab") << QByteArray();
    }
    void pageLinksNeedTheirKey()
    {
        QFETCH(QByteArray, workplace);
        QFETCH(QByteArray, key);
        TPageLink page;
        page.Open(PageUrl(workplace.isEmpty() ? L.Workplace : workplace),
                  key.isEmpty() ? L.Key : key);
        QVERIFY(QTest::qWaitFor([&] { return page.Closed; }, 5000));
        QCOMPARE(page.Count("welcome"), 0);
        QCOMPARE(page.Count("state"), 0);
    }

    void thePagesAreServed_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("type");
        QTest::newRow("student page")
            << QByteArray("/student/") << 200 << QByteArray("text/html; charset=utf-8");
        QTest::newRow("student page with the room") << QByteArray("/student/?id=1234567890") << 200
                                                    << QByteArray("text/html; charset=utf-8");
        QTest::newRow("room code page") << QByteArray("/room-code/?id=1234567890") << 200
                                        << QByteArray("text/html; charset=utf-8");
        QTest::newRow("script") << QByteArray("/web/student.js") << 200
                                << QByteArray("text/javascript; charset=utf-8");
        QTest::newRow("board") << QByteArray("/web/board.js") << 200
                               << QByteArray("text/javascript; charset=utf-8");
        QTest::newRow("styles") << QByteArray("/web/student.css") << 200
                                << QByteArray("text/css; charset=utf-8");
        QTest::newRow("piece set")
            << QByteArray("/web/pieces.pset") << 200 << QByteArray("text/plain; charset=utf-8");
        QTest::newRow("no such file") << QByteArray("/web/nothing.js") << 404 << QByteArray();
        QTest::newRow("a path out")
            << QByteArray("/web/..%2F..%2Fetc%2Fpasswd") << 404 << QByteArray();
        QTest::newRow("a resource of another kind")
            << QByteArray("/web/TWebAssets.cpp") << 404 << QByteArray();
        QTest::newRow("no slash") << QByteArray("/student?id=1234567890") << 301 << QByteArray();
    }
    void thePagesAreServed()
    {
        QFETCH(QByteArray, path);
        QFETCH(int, status);
        QFETCH(QByteArray, type);
        TClient client(FService.ApiBase());
        const TReply reply = client.Get(path);
        QCOMPARE(reply.Status, status);
        if (status == 301)
            QCOMPARE(reply.Header("Location"), QByteArray("/student/?id=1234567890"));
        if (status != 200) return;
        QCOMPARE(reply.Header("Content-Type"), type);
        QCOMPARE(reply.Header("X-Content-Type-Options"), QByteArray("nosniff"));
        const QByteArray etag = reply.Header("ETag");
        QVERIFY(!etag.isEmpty());
        QCOMPARE(client.Get(path, {{"If-None-Match", etag}}).Status, 304);
        if (type.startsWith("text/html")) {
            QVERIFY(reply.Header("Content-Security-Policy").contains("script-src 'self'"));
            // The students' page learns where the live links are.
            if (path.startsWith("/student/"))
                QVERIFY(reply.Body.contains(
                    QByteArray("content=\"" + QByteArray::number(FService.WsPort()) + "\"")));
        }
    }

    void thePieceSetIsTheApplicationsOwn()
    {
        QFile set(":/pieces/0.pset");
        QVERIFY(set.open(QIODevice::ReadOnly));
        TClient client(FService.ApiBase());
        QCOMPARE(client.Get("/web/pieces.pset").Body, set.readAll());
    }
};
TAVLORA_REGISTER_TEST(TestWebBoard);

#include "tst_webboard.moc"
