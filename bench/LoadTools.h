#pragma once

// Small pieces shared by the load programs: a raw kept-alive HTTP connection and percentiles.
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTcpSocket>

#include <algorithm>
#include <deque>
#include <functional>
#include <utility>
#include <vector>

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
