#pragma once

#include <QDateTime>
#include <QMutex>
#include <QString>
#include <QStringList>

// The live room's board queue: workplace ids waiting for a fresh snapshot, oldest first, each at
// most once. Every writer and the polling thread's hand-off go through the one board-queue lock,
// held only around the queue operation itself. Safe from any thread.
class TBoardQueue
{
public:
    // AddQueueBoard: appended unless it waits already.
    void Add(const QString& workplaceId);
    // The oldest id, taken out; empty when none waits.
    QString TakeFirst();
    QStringList Items() const;
    void Clear();

    // The process-wide board-queue lock.
    static QMutex& Lock();

private:
    QStringList FItems;
};

// A student board as its snapshot reaches it. UI thread only.
class TSnapshotBoard
{
public:
    virtual ~TSnapshotBoard() = default;
    virtual void setDTUpdated(const QDateTime& when) = 0;
    virtual void setCurrentFEN(const QString& fen) = 0;
    virtual void setBoardStatus(const QString& status) = 0;
    virtual void setMoves(const QString& moves) = 0;
    virtual void DrawBoard() = 0;
};

// The live room as its polling thread sees it. Every call comes on the UI thread.
class TBoardsRoom
{
public:
    virtual ~TBoardsRoom() = default;
    // The head of the room's board queue, taken under the board-queue lock; empty when none.
    virtual QString TakeQueuedBoard() = 0;
    // 1-based position of the board showing the workplace, 0 when none does.
    virtual int FindBoard(const QString& workplaceId) = 0;
    // The n-th board, counted from 1; nullptr when there is none.
    virtual TSnapshotBoard* BoardAt(int n) = 0;
};
