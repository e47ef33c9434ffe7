#pragma once

// Small pieces shared by the load programs: the service under load and its rooms, a raw
// kept-alive HTTP connection, a paced sending loop, the service's memory and percentiles.
#include "TServiceProcess.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QObject>
#include <QString>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>
#include <utility>
#include <vector>

// Nanoseconds on a steady clock; only differences mean something.
inline qint64 NowNs()
{
    static const QElapsedTimer clock = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return clock.nsecsElapsed();
}

// One kept-alive HTTP/1.1 connection with one request in flight at a time: far lighter than a
// network access manager, so a load program measures the service and not itself.
class TRawConnection
{
public:
    // Called with the request's tag and whether the reply was the success envelope.
    std::function<void(int tag, bool ok)> Done;

    TRawConnection(const QString& host, quint16 port) : FHost(host), FPort(port)
    {
        QObject::connect(&FSocket, &QTcpSocket::readyRead, &FSocket, [this] { OnRead(); });
        QObject::connect(&FSocket, &QTcpSocket::disconnected, &FSocket, [this] { OnLost(); });
        FSocket.connectToHost(FHost, FPort);
        FSocket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    }
    ~TRawConnection()
    {
        // No reconnection from the socket's own teardown.
        FSocket.disconnect();
        FSocket.abort();
    }
    TRawConnection(const TRawConnection&) = delete;
    TRawConnection& operator=(const TRawConnection&) = delete;

    int Pending() const { return int(FQueue.size()) + (FBusy ? 1 : 0); }
    // A GET with one extra header ("TVLToken: ..." or "TVLStudent: ...").
    void Request(const QByteArray& path, const QByteArray& header, int tag)
    {
        FQueue.push_back({"GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + header +
                              "\r\nAccept-Charset: UTF-8\r\n\r\n",
                          tag});
        Pump();
    }

private:
    void Pump()
    {
        if (FBusy || FQueue.empty()) return;
        FBusy = true;
        FCurrent = FQueue.front();
        FQueue.pop_front();
        FSocket.write(FCurrent.first);
    }
    void OnRead()
    {
        FBuffer += FSocket.readAll();
        while (FBusy) {
            const qsizetype end = FBuffer.indexOf("\r\n\r\n");
            if (end < 0) return;
            qsizetype length = 0;
            for (const QByteArray& line : FBuffer.left(end).split('\n'))
                if (line.toLower().startsWith("content-length:"))
                    length = line.mid(15).trimmed().toLongLong();
            if (FBuffer.size() < end + 4 + length) return;
            const QByteArray body = FBuffer.mid(end + 4, length);
            FBuffer.remove(0, end + 4 + length);
            FBusy = false;
            Done(FCurrent.second, body.startsWith("{\"success\":1"));
            Pump();
        }
    }
    void OnLost()
    {
        // A dropped connection fails its request; the next one reconnects.
        if (FBusy) {
            FBusy = false;
            Done(FCurrent.second, false);
        }
        FBuffer.clear();
        FSocket.connectToHost(FHost, FPort);
    }

    QString FHost;
    quint16 FPort;
    QTcpSocket FSocket;
    std::deque<std::pair<QByteArray, int>> FQueue;
    std::pair<QByteArray, int> FCurrent;
    bool FBusy = false;
    QByteArray FBuffer;
};

// The value below which `percent` per cent of the values lie (nearest rank); -1 for none.
inline double Percentile(std::vector<double> values, double percent)
{
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    const size_t rank = size_t(percent / 100.0 * double(values.size()));
    return values[std::min(values.size() - 1, rank)];
}

// A kB figure of /proc/PID/status ("VmRSS:", "VmHWM:"); -1 when there is none.
inline qint64 StatusKb(qint64 pid, const char* field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

using TConnections = std::vector<std::unique_ptr<TRawConnection>>;

// `count` connections to the service's HTTP port, all reporting to done.
inline TConnections OpenConnections(const QUrl& api, int count,
                                    const std::function<void(int tag, bool ok)>& done)
{
    TConnections connections;
    for (int i = 0; i < count; ++i) {
        auto connection = std::make_unique<TRawConnection>(api.host(), quint16(api.port()));
        connection->Done = done;
        connections.push_back(std::move(connection));
    }
    return connections;
}

// The connection with the fewest requests waiting: it takes the next one.
inline TRawConnection* LeastBusy(const TConnections& connections)
{
    TRawConnection* best = connections.front().get();
    for (const auto& connection : connections)
        if (connection->Pending() < best->Pending()) best = connection.get();
    return best;
}

// Calls send(0), send(1), ... send(count - 1), send(0), ... at `rate` calls a second for
// `seconds`, caught up on every tick of tickMs so that a late tick does not lower the rate.
inline void RunPaced(double seconds, double rate, size_t count, int tickMs,
                     const std::function<void(int index)>& send)
{
    const qint64 start = NowNs();
    qint64 issued = 0;
    size_t next = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(tickMs);
    QEventLoop loop;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        const double elapsed = double(NowNs() - start) / 1e9;
        if (elapsed >= seconds) {
            loop.quit();
            return;
        }
        for (const qint64 due = qint64(elapsed * rate); issued < due; ++issued) {
            send(int(next));
            next = (next + 1) % count;
        }
    });
    tick.start();
    loop.exec();
}

// Runs the event loop until done() holds (true) or timeoutMs pass (false).
inline bool WaitFor(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer wait;
    wait.start();
    while (wait.elapsed() < timeoutMs) {
        if (done()) return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return false;
}

// One teacher's room: signed in, the room made, the teacher's live link.
struct TLoadRoom
{
    QByteArray Token;
    QString ConnectionId;
    QByteArray RoomId;
    std::unique_ptr<QWebSocket> Link;
};

// The service under load, started as the tests start it but with open registration, and the
// blocking requests that set its rooms up.
class TLoadService
{
public:
    TServiceProcess Process;

    // The service binary `binary` with extraArgs.
    bool Start(const QString& binary, const QStringList& extraArgs = {})
    {
        Process.SetBinary(binary);
        return Process.Start(QStringList{QStringLiteral("--open-registration")} + extraArgs);
    }

    // A GET through an event loop of its own; the reply's JSON object (empty for none).
    QJsonObject Get(const QByteArray& path, const QByteArray& token = {})
    {
        QNetworkRequest request(QUrl::fromEncoded(Process.ApiBase().toEncoded() + path));
        if (!token.isEmpty()) request.setRawHeader("TVLToken", token);
        QNetworkReply* reply = FNam.get(request);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        reply->deleteLater();
        return QJsonDocument::fromJson(reply->readAll()).object();
    }

    // Adds room number rooms.size(): its teacher signs in with the mailed code and makes the
    // room, students "S0" ... join it, each join's reply handed to seated (false ends the
    // set-up), and the teacher's live link opens with its messages to onMessage. False when a
    // step failed.
    bool AddRoom(std::vector<TLoadRoom>& rooms, int students,
                 const std::function<bool(const TLoadRoom&, const QJsonObject& join)>& seated,
                 const std::function<void(const QString&)>& onMessage)
    {
        const QByteArray number = QByteArray::number(qsizetype(rooms.size()));
        TLoadRoom room;
        const QByteArray email = "teacher" + number + "%40load.example";
        if (Get("/user/code/new_by_email/" + email).value("success").toInt() != 1) return false;
        const QJsonObject signIn =
            Get("/user/reg_code_by_email/" + email + "/" + Process.LatestCode().toLatin1());
        room.Token = signIn.value("token").toString().toLatin1();
        room.ConnectionId =
            Get("/user/token/" + signIn.value("reg_code").toString().toLatin1(), room.Token)
                .value("connection_id")
                .toString();
        room.RoomId =
            Get("/room/new/Room" + number, room.Token).value("RoomId").toString().toLatin1();
        if (room.RoomId.isEmpty() || room.ConnectionId.isEmpty()) return false;
        for (int s = 0; s < students; ++s)
            if (!seated(room, Get("/student/join/" + room.RoomId + "/S" + QByteArray::number(s))))
                return false;
        room.Link = std::make_unique<QWebSocket>();
        QObject::connect(room.Link.get(), &QWebSocket::textMessageReceived, room.Link.get(),
                         onMessage);
        room.Link->open(QUrl(Process.WsBase().toString() + "/ws/" + room.ConnectionId));
        rooms.push_back(std::move(room));
        return true;
    }

    static bool LinksOpen(const std::vector<TLoadRoom>& rooms)
    {
        return std::all_of(rooms.begin(), rooms.end(), [](const TLoadRoom& room) {
            return room.Link->state() == QAbstractSocket::ConnectedState;
        });
    }

private:
    QNetworkAccessManager FNam;
};
