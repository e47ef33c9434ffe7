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
#include <cstdio>
#include <memory>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QJsonObject>
#include <QThread>
#include <QWebSocket>
#include <vector>

namespace {

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

class TLoad
{
public:
    TLoadService Service;
    std::vector<TLoadRoom> Rooms;
    std::vector<TStudent> Students;
    QHash<QByteArray, int> ByWorkplace;
    TConnections Connections;
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

    bool Set(const TLoadRoom& room, const QByteArray& workplace, const QByteArray& name,
             const QByteArray& value)
    {
        return Service
                   .Get("/workplace/setParameter/" + workplace + "/" + name + "/" + value,
                        room.Token)
                   .value("success")
                   .toInt() == 1;
    }

    // Seats one student: the task push of the teacher's board, the reload last.
    bool Seat(const TLoadRoom& room, int index, const QJsonObject& join)
    {
        TStudent student;
        student.Workplace = join.value("workplace_id").toString().toLatin1();
        student.Key = join.value("student_key").toString().toLatin1();
        student.Room = index;
        if (student.Workplace.isEmpty()) return false;
        for (const auto& [name, value] : std::initializer_list<std::pair<QByteArray, QByteArray>>{
                 {"answer", "none"},
                 {"count_max_moves", "999"},
                 {"en_moves", "1"},
                 {"markers", "1"},
                 {"orientation", "w"},
                 {"position",
                  "rnbqkbnr~pppppppp~8~8~8~8~PPPPPPPP~RNBQKBNR%20w%20KQkq%20-%200%201"}})
            if (!Set(room, student.Workplace, name, value)) return false;
        if (Service.Get("/workplace/reloadPosition/" + student.Workplace, room.Token)
                .value("success")
                .toInt() != 1)
            return false;
        ByWorkplace.insert(student.Workplace, int(Students.size()));
        Students.push_back(std::move(student));
        return true;
    }

    bool AddRooms(int count, int students)
    {
        for (int n = 0; n < count; ++n) {
            const int index = int(Rooms.size());
            const bool added = Service.AddRoom(
                Rooms, students,
                [&](const TLoadRoom& room, const QJsonObject& join) {
                    return Seat(room, index, join);
                },
                [this](const QString& text) { OnNotice(text); });
            if (!added) return false;
        }
        // Every student's page holds its live link, as the page does.
        QList<QPair<QByteArray, QByteArray>> seats[kPageThreads];
        for (size_t i = 0; i < Students.size(); ++i)
            seats[i % kPageThreads].append({Students[i].Workplace, Students[i].Key});
        for (int t = 0; t < kPageThreads; ++t) {
            Pages[t] = new TPages;
            Pages[t]->moveToThread(&PageThreads[t]);
            PageThreads[t].start();
            QMetaObject::invokeMethod(Pages[t], [p = Pages[t], url = Service.Process.WsBase(),
                                                 list = seats[t]] { p->Open(url, list); });
        }
        return WaitFor(
            [this] {
                return TLoadService::LinksOpen(Rooms) && PagesReady() == int(Students.size());
            },
            30000);
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
        LeastBusy(Connections)
            ->Request("/student/move/" + s.Workplace + "/" + kMoves[s.Next], "TVLStudent: " + s.Key,
                      index);
    }

    // Every student moves once per interval, spread evenly over it.
    void Run(double seconds, int intervalMs)
    {
        RunPaced(seconds, double(Students.size()) * 1000.0 / intervalMs, Students.size(), 1,
                 [this](int index) { Move(index); });
    }

    // Seconds of processor time the service used so far.
    double ServiceCpuSeconds() const
    {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(Service.Process.ProcessId()));
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
    QCommandLineParser parser;
    parser.setApplicationDescription("Load program for the students' side of tavlora-service.");
    parser.addHelpOption();
    parser.addOptions({{"rooms", "Rooms.", "N", "1"},
                       {"students", "Students per room.", "N", "16"},
                       {"seconds", "Measured seconds.", "S", "20"},
                       {"interval-ms", "Each student moves once in this time.", "MS", "2000"},
                       {"service", "The service binary.", "FILE", TServiceProcess::Binary()}});
    parser.process(app);
    const int rooms = parser.value("rooms").toInt();
    const int students = parser.value("students").toInt();
    const int interval = std::max(10, parser.value("interval-ms").toInt());
    if (rooms < 1 || students < 1) return std::fprintf(stderr, "bad --rooms or --students\n"), 2;

    TLoad load;
    if (!load.Service.Start(parser.value("service"), {"--engine", "none"}))
        return std::fprintf(stderr, "the service did not start\n"), 1;
    load.Connections = OpenConnections(load.Service.Process.ApiBase(), 16,
                                       [&load](int index, bool ok) { load.OnReply(index, ok); });
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
    WaitFor([] { return false; }, 1000);
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
                StatusKb(load.Service.Process.ProcessId(), "VmRSS:") / 1024.0);
    std::fflush(stdout);
    const bool clean = load.Service.Process.Stop();
    const bool passed = load.Refused == 0 && load.Missed == 0 && load.Ok == load.Sent;
    std::printf("service stopped %s; %s\n", clean ? "cleanly" : "with a failure",
                passed ? "every move taken and announced" : "SOME MOVES FAILED");
    return clean && passed ? 0 : 1;
}
