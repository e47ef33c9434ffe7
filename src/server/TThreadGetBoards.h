#pragma once

#include "TServerThread.h"

#include <optional>
#include <QMutex>
#include <QString>
#include <QUrl>

class TBoardsRoom;
class TSnapshotBoard;

// A workplace snapshot ("/workplace/download/"), decoded. Absent members leave the board's
// values as they are.
struct TBoardSnapshot
{
    bool HasData = false;
    std::optional<QString> CurrentFEN; // unescaped
    std::optional<QString> BoardStatus;
    std::optional<QString> Moves; // unescaped

    // False for anything but an object whose "success" is exactly "1".
    static bool Decode(const QString& reply, TBoardSnapshot& snapshot);
    // On the UI thread: the time, the members there are, and a redraw.
    void ApplyTo(TSnapshotBoard& board, const QDateTime& now) const;
};

// The live room's board polling thread: empties the room's board queue one workplace per pass,
// downloads its snapshot with a request of its own (not through the API client and its lock)
// and hands it to the UI thread, which applies it to the board showing that workplace.
class TThreadGetBoards : public TServerThread
{
    Q_OBJECT
public:
    static constexpr int kConnectTimeoutMs = 100;
    static constexpr int kReadTimeoutMs = 3000;
    static constexpr int kPauseMs = 50;

    // Made on the UI thread by the room, which must outlive the loop or stop it first (its
    // hand-offs do nothing once the thread is told to stop). Runs at once unless Suspended.
    TThreadGetBoards(bool Suspended, const QString& Token, TBoardsRoom& room, const QUrl& apiBase,
                     QObject* parent = nullptr);
    ~TThreadGetBoards() override;

    QString Token() const;
    void setToken(const QString& token);

protected:
    void run() override;

private:
    // Hand-off 1, on the UI thread: the queue's head into FUpdatedBoard.
    void GetUpdatedBoard();
    QString Download(const QString& id) const;

    TBoardsRoom& FRoom;
    const QUrl FApiBase;
    mutable QMutex FTokenLock;
    QString FToken;
    QString FUpdatedBoard;
};
