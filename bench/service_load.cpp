// Load program for tavlora-service: rooms with one teacher link each and 16 workplaces whose
// board parameters change once a second. Measures the time from a change request's reply to
// the "updated" notification on the teacher's link, counts refused requests, and reads the
// service's peak memory. With --step it adds rooms until the 99th percentile passes the limit.
//
//   service_load [--rooms 200] [--workplaces 16] [--seconds 20] [--step 0] [--max-rooms 2000]
//                [--p99-limit-ms 25]

#include "LoadTools.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHash>
#include <QJsonObject>
#include <vector>

namespace {

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

class TLoad
{
public:
    TLoadService Service;
    std::vector<TLoadRoom> Rooms;
    std::vector<TWorkplace> Workplaces;
    QHash<QByteArray, int> ByWorkplace;
    TConnections Connections;

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

    bool AddRooms(int count, int workplacesPerRoom)
    {
        for (int n = 0; n < count; ++n) {
            const int index = int(Rooms.size());
            const bool added = Service.AddRoom(
                Rooms, workplacesPerRoom,
                [&](const TLoadRoom&, const QJsonObject& join) {
                    TWorkplace wp;
                    wp.Id = join.value("workplace_id").toString().toLatin1();
                    if (wp.Id.isEmpty()) return false;
                    wp.Room = index;
                    ByWorkplace.insert(wp.Id, int(Workplaces.size()));
                    Workplaces.push_back(wp);
                    return true;
                },
                [this](const QString& text) { OnNotice(text); });
            if (!added) return false;
        }
        // Every link open before the load starts.
        return WaitFor([this] { return TLoadService::LinksOpen(Rooms); }, 15000);
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
        LeastBusy(Connections)->Request(path, "TVLToken: " + Rooms[size_t(wp.Room)].Token, index);
    }

    // Runs the load for the given seconds; every workplace changes once a second.
    void Run(double seconds)
    {
        RunPaced(seconds, double(Workplaces.size()), Workplaces.size(), 2,
                 [this](int index) { Send(index); });
    }
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("Load program for tavlora-service.");
    parser.addHelpOption();
    parser.addOptions({{"rooms", "Rooms at the start.", "N", "200"},
                       {"workplaces", "Workplaces per room.", "N", "16"},
                       {"seconds", "Measured seconds per step.", "S", "20"},
                       {"step", "Rooms added per step (0: one step only).", "N", "0"},
                       {"max-rooms", "Stop stepping here.", "N", "2000"},
                       {"p99-limit-ms", "Stepping stops when p99 exceeds this.", "MS", "25"},
                       {"service", "The service binary.", "FILE", TServiceProcess::Binary()}});
    parser.process(app);
    const int workplaces = parser.value("workplaces").toInt();
    const int step = parser.value("step").toInt();
    const double limit = parser.value("p99-limit-ms").toDouble();

    TLoad load;
    if (!load.Service.Start(parser.value("service")))
        return std::fprintf(stderr, "the service did not start\n"), 1;
    load.Connections = OpenConnections(load.Service.Process.ApiBase(), 16,
                                       [&load](int index, bool ok) { load.OnReply(index, ok); });
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
        WaitFor([] { return false; }, 1000);
        const double p99 = Percentile(load.LatenciesMs, 99);
        const qint64 pid = load.Service.Process.ProcessId();
        std::printf(
            "%5d %10d %9zu %6lld %6lld %7lld %8lld %8lld %7lld %7.2f %7.2f %7.2f %7.2f %15.1f "
            "%16.1f\n",
            rooms, workplaces, load.Workplaces.size(), load.Due, load.Sent, load.Ok, load.Refused,
            load.Notices, load.Missed, Percentile(load.LatenciesMs, 50),
            Percentile(load.LatenciesMs, 90), p99, Percentile(load.LatenciesMs, 100),
            StatusKb(pid, "VmRSS:") / 1024.0, StatusKb(pid, "VmHWM:") / 1024.0);
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
    const bool clean = load.Service.Process.Stop();
    std::printf("service stopped %s\n", clean ? "cleanly" : "with a failure");
    if (!clean) std::fprintf(stderr, "%s\n", qPrintable(load.Service.Process.Log().right(4000)));
    return clean ? 0 : 1;
}
