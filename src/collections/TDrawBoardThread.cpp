#include "TDrawBoardThread.h"

#include "CollectionsLog.h"
#include "TChessCollection.h"
#include "TFENData.h"

#include <algorithm>
#include <climits>
#include <exception>
#include <QMetaObject>

TDrawBoardThread::TDrawBoardThread(TChessCollection* Owner) : FOwner(Owner) {}

TDrawBoardThread::~TDrawBoardThread()
{
    requestInterruption();
    wait();
}

bool TDrawBoardThread::AddItem(TChessItem* Item)
{
    if (!Item || isRunning() || isFinished()) return false;
    const quint64 key = Item->FKey;
    // The same item twice in one list would only be drawn twice. Items are told apart by their
    // key, not by FID: after a delete and an add two items can share an FID.
    if (key != 0 && std::any_of(ListToDraw.begin(), ListToDraw.end(),
                                [key](const TDrawJob& job) { return job.ItemKey == key; }))
        return false;
    std::optional<TDrawJob> job = Item->MakeDrawJob();
    if (!job) return false;
    ListToDraw.push_back(std::move(*job));
    return true;
}

void TDrawBoardThread::PrepareBoard(TFENData& Board)
{
    if (Board.Pieces().IsEmpty()) Board.LoadPiecesFromFile(QStringLiteral(":/pieces/0.pset"));
}

QImage TDrawBoardThread::DrawThumbnail(const TDrawJob& Job, TFENData& Board)
{
    const qint64 side =
        std::min(qint64(Job.ImageSize.width()) * 9 / 10, qint64(Job.ImageSize.height()) * 9 / 10);
    if (side <= 0) return QImage();
    Board.setFEN(Job.Position);
    Board.Arrows().ClearArrows();
    if (Job.Arrows) {
        Board.Arrows().CopyArrows(*Job.Arrows, true);
        for (int kind = 0; kind < kColorSelectionCount; ++kind)
            Board.Arrows().setArrowsColor(kind, Job.Arrows->ArrowsColor(kind));
    }
    return Board.RenderBoard(false, int(std::min<qint64>(side, INT_MAX)));
}

void TDrawBoardThread::run()
{
    TFENData board;
    PrepareBoard(board);
    while (!ListToDraw.empty()) {
        if (isInterruptionRequested()) {
            ListToDraw.clear();
            break;
        }
        const TDrawJob job = std::move(ListToDraw.front());
        ListToDraw.pop_front();
        QImage image;
        try {
            image = DrawThumbnail(job, board);
        } catch (const std::exception& e) {
            // The tile keeps its old picture; the next item is drawn all the same.
            qCWarning(lcCollections) << "thumbnail of item" << job.FID << "failed:" << e.what();
        }
        // Never waits for the UI thread, so the collection can always wait for this thread.
        TChessCollection* owner = FOwner;
        QMetaObject::invokeMethod(
            owner, [owner, job, image] { owner->ThumbnailDrawn(job, image); },
            Qt::QueuedConnection);
    }
}
