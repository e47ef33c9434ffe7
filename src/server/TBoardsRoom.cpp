#include "TBoardsRoom.h"

QMutex& TBoardQueue::Lock()
{
    static QMutex lock;
    return lock;
}

void TBoardQueue::Add(const QString& workplaceId)
{
    QMutexLocker lock(&Lock());
    if (!FItems.contains(workplaceId)) FItems.append(workplaceId);
}

QString TBoardQueue::TakeFirst()
{
    QMutexLocker lock(&Lock());
    return FItems.isEmpty() ? QString() : FItems.takeFirst();
}

QStringList TBoardQueue::Items() const
{
    QMutexLocker lock(&Lock());
    return FItems;
}

void TBoardQueue::Clear()
{
    QMutexLocker lock(&Lock());
    FItems.clear();
}
