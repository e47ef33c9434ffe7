// Load program for the students' side of tavlora-service: rooms of students who play moves
// through the page's own protocol (the page's live link open, moves as /student/move/…) while
// each room's teacher listens on the live notifications. Measures the time from sending a
// student's move to the teacher's "updated" for that workplace, and to the move's reply.
//
//   webboard_load [--rooms 1] [--students 16] [--seconds 20] [--interval-ms 2000]
//
// Every student plays the knights out and back (Ng1-f3, Ng8-f6, Nf3-g1, Nf6-g8, …) with no
// answer set, so every move is a real move checked by the chess rules, with markers on.

#include "LoadTools.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QWebSocket>
#include <vector>

#ifndef TAVLORA_SERVICE_BINARY
#error "TAVLORA_SERVICE_BINARY must name the tavlora-service executable"
#endif

namespace {

QElapsedTimer gClock;
qint64 NowNs()
{
    return gClock.nsecsElapsed();
}

const char* const kMoves[] = {"g1f3", "g8f6", "f3g1", "f6g8"};

struct TStudent
{
    QByteArray Workplace;
    QByteArray Key;
    int Room = 0;
    int Next = 0; // index into kMoves
    bool InFlight = false;
    bool Measured = false;
    bool Noticed = false; // the teacher heard of the move in flight
    bool Replied = false;
    qint64 SentNs = 0;
};

// The students' pages, on threads of their own so that hundreds of idle links do not slow the
// loop that sends the moves and hears the teachers.
class TPages : public QObject
{
public:
    std::atomic<int> Ready{0};
    std::atomic<qint64> States{0};

    void Open(const QUrl& ws, const QList<QPair<QByteArray, QByteArray>>& seats)
    {
        for (const auto& [workplace, key] : seats) {
            auto* page = new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, this);
            const QString hello = "key " + QString::fromLatin1(key);
            connect(page, &QWebSocket::connected, page,
                    [page, hello] { page->sendTextMessage(hello); });
            connect(page, &QWebSocket::textMessageReceived, page, [this](const QString& text) {
                if (text.startsWith(QLatin1String("{\"type\":\"welcome\"")))
                    ++Ready;
                else if (text.startsWith(QLatin1String("{\"type\":\"state\"")))
                    ++States;
            });
            page->open(QUrl(ws.toString() + "/ws/student/" + QString::fromLatin1(workplace)));
        }
    }
};

struct TRoom
{
    QByteArray Token;
    QString ConnectionId;
    QByteArray RoomId;
    std::unique_ptr<QWebSocket> Link;
};

class TLoad
{
public:
    QString DataDir;
    QUrl Api, Ws;
    qint64 ServicePid = 0;
    std::vector<TRoom> Rooms;
    std::vector<TStudent> Students;
    QHash<QByteArray, int> ByWorkplace;
    QNetworkAccessManager Nam;
    std::vector<std::unique_ptr<TRawConnection>> Connections;
    bool Measuring = false;
    std::vector<double> NoticeMs, ReplyMs;
    qint64 Sent = 0, Ok = 0, Refused = 0, Missed = 0;
    static constexpr int kPageThreads = 4;
    QThread PageThreads[kPageThreads];
    TPages* Pages[kPageThreads] = {};

    ~TLoad()
    {
        for (int i = 0; i < kPageThreads; ++i) {
            if (Pages[i])
                QMetaObject::invokeMethod(
                    Pages[i], [p = Pages[i]] { delete p; }, Qt::BlockingQueuedConnection);
            PageThreads[i].quit();
            PageThreads[i].wait();
        }
    }
    qint64 PageStates() const
    {
        qint64 n = 0;
        for (TPages* p : Pages)
            n += p ? p->States.load() : 0;
        return n;
    }
    int PagesReady() const
    {
        int n = 0;
        for (TPages* p : Pages)
            n += p ? p->Ready.load() : 0;
        return n;
    }

    QJsonObject Get(const QByteArray& path, const QByteArray& token = {},
                    const QByteArray& studentKey = {})
    {
        QNetworkRequest request(QUrl::fromEncoded(Api.toEncoded() + path));
        if (!token.isEmpty()) request.setRawHeader("TVLToken", token);
        if (!studentKey.isEmpty()) request.setRawHeader("TVLStudent", studentKey);
        QNetworkReply* reply = Nam.get(request);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        reply->deleteLater();
        return QJsonDocument::fromJson(reply->readAll()).object();
    }

    QString NewestCode()
    {
        const QDir outbox(DataDir + "/outbox");
        const QStringList names = outbox.entryList({"*.eml"}, QDir::Files, QDir::Name);
        if (names.isEmpty()) return {};
        QFile file(outbox.filePath(names.last()));
        if (!file.open(QIODevice::ReadOnly)) return {};
        static const QRegularExpression code("X-Tavlora-Code: (\\d{6})");
        return code.match(QString::fromUtf8(file.readAll())).captured(1);
    }

    bool Set(const TRoom& room, const QByteArray& workplace, const QByteArray& name,
             const QByteArray& value)
    {
        return Get("/workplace/setParameter/" + workplace + "/" + name + "/" + value, room.Token)
                   .value("success")
                   .toInt() == 1;
    }

    bool AddRooms(int count, int students)
    {
        for (int n = 0; n < count; ++n) {
            const int index = int(Rooms.size());
            TRoom room;
            const QByteArray email = "teacher" + QByteArray::number(index) + "%40load.example";
            if (Get("/user/code/new_by_email/" + email).value("success").toInt() != 1) return false;
            const QJsonObject signIn =
                Get("/user/reg_code_by_email/" + email + "/" + NewestCode().toLatin1());
            room.Token = signIn.value("token").toString().toLatin1();
            room.ConnectionId =
                Get("/user/token/" + signIn.value("reg_code").toString().toLatin1(), room.Token)
                    .value("connection_id")
                    .toString();
            room.RoomId = Get("/room/new/Room" + QByteArray::number(index), room.Token)
                              .value("RoomId")
                              .toString()
                              .toLatin1();
            if (room.RoomId.isEmpty() || room.ConnectionId.isEmpty()) return false;
            for (int s = 0; s < students; ++s) {
                TStudent student;
                const QJsonObject join =
                    Get("/student/join/" + room.RoomId + "/S" + QByteArray::number(s));
                student.Workplace = join.value("workplace_id").toString().toLatin1();
                student.Key = join.value("student_key").toString().toLatin1();
                student.Room = index;
                if (student.Workplace.isEmpty()) return false;
                // The task push of the teacher's board, the reload last.
                for (const auto& [name, value] :
                     std::initializer_list<std::pair<QByteArray, QByteArray>>{
                         {"answer", "none"},
                         {"count_max_moves", "999"},
                         {"en_moves", "1"},
                         {"markers", "1"},
                         {"orientation", "w"},
                         {"position",
                          "rnbqkbnr~pppppppp~8~8~8~8~PPPPPPPP~RNBQKBNR%20w%20KQkq%20-%200%201"}})
                    if (!Set(room, student.Workplace, name, value)) return false;
                if (Get("/workplace/reloadPosition/" + student.Workplace, room.Token)
                        .value("success")
                        .toInt() != 1)
                    return false;
                ByWorkplace.insert(student.Workplace, int(Students.size()));
                Students.push_back(std::move(student));
            }
            room.Link = std::make_unique<QWebSocket>();
            QObject::connect(room.Link.get(), &QWebSocket::textMessageReceived, room.Link.get(),
                             [this](const QString& text) { OnNotice(text); });
            room.Link->open(QUrl(Ws.toString() + "/ws/" + room.ConnectionId));
            Rooms.push_back(std::move(room));
        }
        // Every student's page holds its live link, as the page does.
        QList<QPair<QByteArray, QByteArray>> seats[kPageThreads];
        for (size_t i = 0; i < Students.size(); ++i)
            seats[i % kPageThreads].append({Students[i].Workplace, Students[i].Key});
        for (int t = 0; t < kPageThreads; ++t) {
            Pages[t] = new TPages;
            Pages[t]->moveToThread(&PageThreads[t]);
            PageThreads[t].start();
            QMetaObject::invokeMethod(
                Pages[t], [p = Pages[t], url = Ws, list = seats[t]] { p->Open(url, list); });
        }
        QElapsedTimer wait;
        wait.start();
        while (wait.elapsed() < 30000) {
            const bool rooms = std::all_of(Rooms.begin(), Rooms.end(), [](const TRoom& r) {
                return r.Link->state() == QAbstractSocket::ConnectedState;
            });
            const bool pages = PagesReady() == int(Students.size());
            if (rooms && pages) return true;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        return false;
    }

    void Finish(TStudent& s)
    {
        if (!s.Noticed || !s.Replied) return;
        s.InFlight = false;
    }

    void OnNotice(const QString& text)
    {
        const QByteArray words = QByteArray::fromBase64(text.toLatin1());
        if (!words.startsWith("updated ")) return;
        const auto it = ByWorkplace.constFind(words.mid(8));
        if (it == ByWorkplace.constEnd()) return;
        TStudent& s = Students[size_t(*it)];
        if (!s.InFlight || s.Noticed) return;
        s.Noticed = true;
        if (Measuring && s.Measured) NoticeMs.push_back((NowNs() - s.SentNs) / 1e6);
        Finish(s);
    }

    void OnReply(int index, bool ok)
    {
        TStudent& s = Students[size_t(index)];
        if (s.Measured) ok ? ++Ok : ++Refused;
        if (Measuring && s.Measured) ReplyMs.push_back((NowNs() - s.SentNs) / 1e6);
        s.Replied = true;
        if (ok)
            s.Next = (s.Next + 1) % 4;
        else
            s.Noticed = true; // a refused move is not announced
        Finish(s);
    }

    void Move(int index)
    {
        TStudent& s = Students[size_t(index)];
        if (s.InFlight) {
            // The previous move is still under way; after 2 s its notice counts as missed.
            if (NowNs() - s.SentNs < 2000000000LL) return;
            if (s.Measured && !s.Noticed) ++Missed;
        }
        s.InFlight = true;
        s.Noticed = s.Replied = false;
        s.Measured = Measuring;
        s.SentNs = NowNs();
        if (Measuring) ++Sent;
        TRawConnection* best = Connections.front().get();
        for (const auto& c : Connections)
            if (c->Pending() < best->Pending()) best = c.get();
        best->Request("/student/move/" + s.Workplace + "/" + kMoves[s.Next], "TVLStudent: " + s.Key,
                      index);
    }

    // Every student moves once per interval, spread evenly over it.
    void Run(double seconds, int intervalMs)
    {
        const qint64 start = NowNs();
        const double rate = double(Students.size()) * 1000.0 / intervalMs;
        qint64 issued = 0;
        size_t next = 0;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        tick.setInterval(1);
        QEventLoop loop;
        QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
            const double elapsed = (NowNs() - start) / 1e9;
            if (elapsed >= seconds) {
                loop.quit();
                return;
            }
            for (const qint64 due = qint64(elapsed * rate); issued < due; ++issued) {
                Move(int(next));
                next = (next + 1) % Students.size();
            }
        });
        tick.start();
        loop.exec();
    }

    qint64 StatusKb(const char* field) const
    {
        QFile status(QStringLiteral("/proc/%1/status").arg(ServicePid));
        if (!status.open(QIODevice::ReadOnly)) return -1;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith(field))
                return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
        return -1;
    }

    // Seconds of processor time the service used so far.
    double ServiceCpuSeconds() const
    {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(ServicePid));
        if (!stat.open(QIODevice::ReadOnly)) return -1;
        const QList<QByteArray> fields = stat.readAll().split(')').value(1).split(' ');
        // After the name: state is field 3; utime and stime are fields 14 and 15.
        return (fields.value(12).toDouble() + fields.value(13).toDouble()) / 100.0;
    }
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    gClock.start();
    QCommandLineParser parser;
    parser.setApplicationDescription("Load program for the students' side of tavlora-service.");
    parser.addHelpOption();
    parser.addOptions({{"rooms", "Rooms.", "N", "1"},
                       {"students", "Students per room.", "N", "16"},
                       {"seconds", "Measured seconds.", "S", "20"},
                       {"interval-ms", "Each student moves once in this time.", "MS", "2000"},
                       {"service", "The service binary.", "FILE", TAVLORA_SERVICE_BINARY}});
    parser.process(app);
    const int rooms = parser.value("rooms").toInt();
    const int students = parser.value("students").toInt();
    const int interval = std::max(10, parser.value("interval-ms").toInt());
    if (rooms < 1 || students < 1) return std::fprintf(stderr, "bad --rooms or --students\n"), 2;

    QTemporaryDir dir;
    TLoad load;
    load.DataDir = dir.path();
    QProcess service;
    service.setStandardErrorFile(dir.filePath("service.log"));
    service.start(parser.value("service"), {"--data", dir.path(), "--api-port", "0", "--ws-port",
                                            "0", "--open-registration", "--engine", "none"});
    if (!service.waitForStarted() || !service.waitForReadyRead(15000))
        return std::fprintf(stderr, "the service did not start\n"), 1;
    const auto match =
        QRegularExpression("api=(\\d+) ws=(\\d+)").match(QString::fromUtf8(service.readLine()));
    load.Api = QUrl("http://127.0.0.1:" + match.captured(1));
    load.Ws = QUrl("ws://127.0.0.1:" + match.captured(2));
    load.ServicePid = service.processId();
    for (int i = 0; i < 16; ++i) {
        auto c = std::make_unique<TRawConnection>(load.Api.host(), quint16(load.Api.port()));
        c->Done = [&load](int index, bool ok) { load.OnReply(index, ok); };
        load.Connections.push_back(std::move(c));
    }
    std::fprintf(stderr, "setting up %d rooms of %d students…\n", rooms, students);
    if (!load.AddRooms(rooms, students)) return std::fprintf(stderr, "setting up failed\n"), 1;

    load.Run(3, interval); // warm-up
    load.NoticeMs.clear();
    load.ReplyMs.clear();
    load.Sent = load.Ok = load.Refused = load.Missed = 0;
    const qint64 statesBefore = load.PageStates();
    const double cpuBefore = load.ServiceCpuSeconds();
    const double seconds = parser.value("seconds").toDouble();
    load.Measuring = true;
    load.Run(seconds, interval);
    load.Measuring = false;
    QElapsedTimer drain;
    drain.start();
    while (drain.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    const double cpu = load.ServiceCpuSeconds() - cpuBefore;

    std::printf("rooms students moves/s   sent     ok refused missed page_states "
                "updated_p50_ms p90_ms p99_ms max_ms reply_p50_ms reply_p99_ms service_cpu_%% "
                "service_rss_mb\n");
    std::printf("%5d %8zu %7.1f %6lld %6lld %7lld %6lld %11lld %14.2f %6.2f %6.2f %6.2f %12.2f "
                "%12.2f %13.0f %14.1f\n",
                rooms, load.Students.size(), load.Sent / seconds, load.Sent, load.Ok, load.Refused,
                load.Missed, load.PageStates() - statesBefore, Percentile(load.NoticeMs, 50),
                Percentile(load.NoticeMs, 90), Percentile(load.NoticeMs, 99),
                Percentile(load.NoticeMs, 100), Percentile(load.ReplyMs, 50),
                Percentile(load.ReplyMs, 99), 100.0 * cpu / seconds,
                load.StatusKb("VmRSS:") / 1024.0);
    std::fflush(stdout);
    ::kill(pid_t(service.processId()), SIGTERM);
    service.waitForFinished(10000);
    const bool clean = service.exitStatus() == QProcess::NormalExit && service.exitCode() == 0;
    const bool passed = load.Refused == 0 && load.Missed == 0 && load.Ok == load.Sent;
    std::printf("service stopped %s; %s\n", clean ? "cleanly" : "with a failure",
                passed ? "every move taken and announced" : "SOME MOVES FAILED");
    return clean && passed ? 0 : 1;
}
