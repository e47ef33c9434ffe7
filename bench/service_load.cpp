// Load program for tavlora-service: rooms with one teacher link each and 16 workplaces whose
// board parameters change once a second. Measures the time from a change request's reply to
// the "updated" notification on the teacher's link, counts refused requests, and reads the
// service's peak memory. With --step it adds rooms until the 99th percentile passes the limit.
//
//   service_load [--rooms 200] [--workplaces 16] [--seconds 20] [--step 0] [--max-rooms 2000]
//                [--p99-limit-ms 25]

#include "LoadTools.h"

#include <algorithm>
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

struct TWorkplace
{
    QByteArray Id;
    int Room = 0;
    qint64 Counter = 0;
    qint64 ReplyNs = -1;  // reply of the change in flight, -1 while none
    qint64 NoticeNs = -1; // notification that came before its reply
    bool Open = false;    // a change waits for its reply or its notification
    bool Measured = false;
    qint64 SentNs = 0;
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
    std::vector<TWorkplace> Workplaces;
    QHash<QByteArray, int> ByWorkplace;
    QNetworkAccessManager Nam[2];
    std::vector<std::unique_ptr<TRawConnection>> Connections;

    void OpenConnections(int count)
    {
        for (int i = 0; i < count; ++i) {
            auto connection = std::make_unique<TRawConnection>(Api.host(), quint16(Api.port()));
            connection->Done = [this](int index, bool ok) { OnReply(index, ok); };
            Connections.push_back(std::move(connection));
        }
    }

    void OnReply(int index, bool ok)
    {
        TWorkplace& w = Workplaces[size_t(index)];
        if (w.Measured) ok ? ++Ok : ++Refused;
        if (!ok) {
            w.Open = false;
            return;
        }
        const qint64 now = NowNs();
        if (w.NoticeNs >= 0)
            Record(w, w.NoticeNs - now); // the notice overtook the reply: 0 ms
        else
            w.ReplyNs = now;
    }
    bool Measuring = false;
    std::vector<double> LatenciesMs;
    qint64 Due = 0, Sent = 0, Ok = 0, Refused = 0, Notices = 0, Missed = 0;

    QJsonObject Get(const QByteArray& path, const QByteArray& token = {})
    {
        QNetworkRequest request(QUrl::fromEncoded(Api.toEncoded() + path));
        if (!token.isEmpty()) request.setRawHeader("TVLToken", token);
        QNetworkReply* reply = Nam[0].get(request);
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
        file.open(QIODevice::ReadOnly);
        static const QRegularExpression code("X-Tavlora-Code: (\\d{6})");
        return code.match(QString::fromUtf8(file.readAll())).captured(1);
    }

    bool AddRooms(int count, int workplacesPerRoom)
    {
        for (int n = 0; n < count; ++n) {
            const int index = int(Rooms.size());
            TRoom room;
            const QByteArray email = "teacher" + QByteArray::number(index) + "%40load.example";
            if (Get("/user/code/new_by_email/" + email).value("success").toInt() != 1) return false;
            const QJsonObject signIn =
                Get("/user/reg_code_by_email/" + email + "/" + NewestCode().toLatin1());
            room.Token = signIn.value("token").toString().toLatin1();
            const QByteArray regCode = signIn.value("reg_code").toString().toLatin1();
            room.ConnectionId =
                Get("/user/token/" + regCode, room.Token).value("connection_id").toString();
            room.RoomId = Get("/room/new/Room" + QByteArray::number(index), room.Token)
                              .value("RoomId")
                              .toString()
                              .toLatin1();
            if (room.RoomId.isEmpty() || room.ConnectionId.isEmpty()) return false;
            for (int w = 0; w < workplacesPerRoom; ++w) {
                TWorkplace wp;
                wp.Id = Get("/student/join/" + room.RoomId + "/S" + QByteArray::number(w))
                            .value("workplace_id")
                            .toString()
                            .toLatin1();
                if (wp.Id.isEmpty()) return false;
                wp.Room = index;
                ByWorkplace.insert(wp.Id, int(Workplaces.size()));
                Workplaces.push_back(wp);
            }
            room.Link = std::make_unique<QWebSocket>();
            QWebSocket* link = room.Link.get();
            QObject::connect(link, &QWebSocket::textMessageReceived, link,
                             [this](const QString& text) { OnNotice(text); });
            link->open(QUrl(Ws.toString() + "/ws/" + room.ConnectionId));
            Rooms.push_back(std::move(room));
        }
        // Every link open before the load starts.
        QElapsedTimer wait;
        wait.start();
        while (wait.elapsed() < 15000) {
            const bool all = std::all_of(Rooms.begin(), Rooms.end(), [](const TRoom& r) {
                return r.Link->state() == QAbstractSocket::ConnectedState;
            });
            if (all) return true;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        return false;
    }

    void Record(TWorkplace& wp, qint64 latencyNs)
    {
        if (Measuring && wp.Measured) LatenciesMs.push_back(std::max<qint64>(0, latencyNs) / 1e6);
        wp.Open = false;
        wp.ReplyNs = wp.NoticeNs = -1;
    }

    void OnNotice(const QString& text)
    {
        const QByteArray words = QByteArray::fromBase64(text.toLatin1());
        if (!words.startsWith("updated ")) return;
        const auto it = ByWorkplace.constFind(words.mid(8));
        if (it == ByWorkplace.constEnd()) return;
        ++Notices;
        TWorkplace& wp = Workplaces[size_t(*it)];
        if (!wp.Open) return;
        if (wp.ReplyNs >= 0)
            Record(wp, NowNs() - wp.ReplyNs);
        else
            wp.NoticeNs = NowNs();
    }

    void Send(int index)
    {
        TWorkplace& wp = Workplaces[size_t(index)];
        if (Measuring) ++Due;
        if (wp.Open) {
            // The previous change of this board is still under way; after 2 s its notice counts
            // as missed.
            if (NowNs() - wp.SentNs < 2000000000LL) return;
            if (wp.Measured) ++Missed;
        }
        wp.Open = true;
        wp.SentNs = NowNs();
        wp.Measured = Measuring;
        wp.ReplyNs = wp.NoticeNs = -1;
        ++wp.Counter;
        const QByteArray path = "/workplace/setParameter/" + wp.Id + "/selected/" +
                                QByteArray::number(wp.Counter % 88 + 11) + "0";
        if (Measuring) ++Sent;
        // The least busy connection takes it.
        TRawConnection* best = Connections.front().get();
        for (const auto& connection : Connections)
            if (connection->Pending() < best->Pending()) best = connection.get();
        best->Request(path, "TVLToken: " + Rooms[size_t(wp.Room)].Token, index);
    }

    // Runs the load for the given seconds; every workplace changes once a second.
    void Run(double seconds)
    {
        const qint64 start = NowNs();
        const double rate = double(Workplaces.size()); // changes per second
        qint64 issued = 0;
        size_t next = 0;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        tick.setInterval(2);
        QEventLoop loop;
        QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
            const double elapsed = (NowNs() - start) / 1e9;
            if (elapsed >= seconds) {
                loop.quit();
                return;
            }
            const qint64 due = qint64(elapsed * rate);
            for (; issued < due; ++issued) {
                Send(int(next));
                next = (next + 1) % Workplaces.size();
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
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    gClock.start();
    QCommandLineParser parser;
    parser.setApplicationDescription("Load program for tavlora-service.");
    parser.addHelpOption();
    parser.addOptions({{"rooms", "Rooms at the start.", "N", "200"},
                       {"workplaces", "Workplaces per room.", "N", "16"},
                       {"seconds", "Measured seconds per step.", "S", "20"},
                       {"step", "Rooms added per step (0: one step only).", "N", "0"},
                       {"max-rooms", "Stop stepping here.", "N", "2000"},
                       {"p99-limit-ms", "Stepping stops when p99 exceeds this.", "MS", "25"},
                       {"service", "The service binary.", "FILE", TAVLORA_SERVICE_BINARY}});
    parser.process(app);
    const int workplaces = parser.value("workplaces").toInt();
    const int step = parser.value("step").toInt();
    const double limit = parser.value("p99-limit-ms").toDouble();

    QTemporaryDir dir;
    TLoad load;
    load.DataDir = dir.path();
    QProcess service;
    service.setStandardErrorFile(dir.filePath("service.log"));
    service.start(parser.value("service"), {"--data", dir.path(), "--api-port", "0", "--ws-port",
                                            "0", "--open-registration"});
    if (!service.waitForStarted() || !service.waitForReadyRead(15000))
        return std::fprintf(stderr, "the service did not start\n"), 1;
    const auto match =
        QRegularExpression("api=(\\d+) ws=(\\d+)").match(QString::fromUtf8(service.readLine()));
    load.Api = QUrl("http://127.0.0.1:" + match.captured(1));
    load.Ws = QUrl("ws://127.0.0.1:" + match.captured(2));
    load.ServicePid = service.processId();

    load.OpenConnections(16);
    int rooms = parser.value("rooms").toInt();
    int best = 0;
    std::printf(
        "rooms workplaces changes/s    due   sent      ok  refused  notices  missed  p50_ms  "
        "p90_ms  p99_ms  max_ms  "
        "service_rss_mb  service_peak_mb\n");
    while (true) {
        if (!load.AddRooms(rooms - int(load.Rooms.size()), workplaces))
            return std::fprintf(stderr, "setting up %d rooms failed\n", rooms), 1;
        load.Measuring = false;
        load.Run(3); // warm-up
        load.LatenciesMs.clear();
        load.Due = load.Sent = load.Ok = load.Refused = load.Notices = load.Missed = 0;
        load.Measuring = true;
        load.Run(parser.value("seconds").toDouble());
        load.Measuring = false;
        // Let the last replies and notices come in.
        QElapsedTimer drain;
        drain.start();
        while (drain.elapsed() < 1000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        const double p99 = Percentile(load.LatenciesMs, 99);
        std::printf(
            "%5d %10d %9zu %6lld %6lld %7lld %8lld %8lld %7lld %7.2f %7.2f %7.2f %7.2f %15.1f "
            "%16.1f\n",
            rooms, workplaces, load.Workplaces.size(), load.Due, load.Sent, load.Ok, load.Refused,
            load.Notices, load.Missed, Percentile(load.LatenciesMs, 50),
            Percentile(load.LatenciesMs, 90), p99, Percentile(load.LatenciesMs, 100),
            load.StatusKb("VmRSS:") / 1024.0, load.StatusKb("VmHWM:") / 1024.0);
        std::fflush(stdout);
        // Passed: every change that was due went out (none waited for the previous one of its
        // board), every one was taken and announced, and the 99th percentile holds.
        const bool passed = p99 >= 0 && p99 <= limit && load.Refused == 0 && load.Missed == 0 &&
                            load.Ok == load.Sent && load.Sent == load.Due;
        if (passed) best = rooms;
        if (step <= 0 || !passed || rooms + step > parser.value("max-rooms").toInt()) break;
        rooms += step;
    }
    if (step > 0)
        std::printf(
            "highest load with p99 <= %.0f ms and nothing refused: %d rooms (%d changes/s)\n",
            limit, best, best * workplaces);
    ::kill(pid_t(service.processId()), SIGTERM);
    service.waitForFinished(10000);
    const bool clean = service.exitStatus() == QProcess::NormalExit && service.exitCode() == 0;
    std::printf("service stopped %s\n", clean ? "cleanly" : "with a failure");
    if (!clean) {
        QFile log(dir.filePath("service.log"));
        log.open(QIODevice::ReadOnly);
        std::fprintf(stderr, "%s\n", log.readAll().right(4000).constData());
    }
    return clean ? 0 : 1;
}
