#pragma once

#include "TChessItem.h"

#include <deque>
#include <QImage>
#include <QThread>

class TChessCollection;
class TFENData;

// Draws the thumbnails of a list of items into images and hands each finished image to the
// collection on the UI thread, without waiting for it. The list holds copies made before the
// start, so the thread shares nothing with the items.
class TDrawBoardThread : public QThread
{
    Q_OBJECT

public:
    explicit TDrawBoardThread(TChessCollection* Owner);
    // Stops and waits: a thread object never outlives its run.
    ~TDrawBoardThread() override;

    // Queues the item's thumbnail; false for an item already queued here, an item without a
    // thumbnail, or a thread that has started. UI thread.
    bool AddItem(TChessItem* Item);
    int CountToDraw() const { return int(ListToDraw.size()); }
    int ID() const { return FID; }
    void setID(int Value) { FID = Value; }

    // The board of one job: side min(trunc(w / 10 * 9), trunc(h / 10 * 9)) of the tile image,
    // no letters, White at the bottom, with the job's arrows. Null when it cannot be drawn.
    static QImage DrawThumbnail(const TDrawJob& Job, TFENData& Board);
    // A position model for thumbnails: the program's piece set, else the built-in one.
    static void PrepareBoard(TFENData& Board);

protected:
    void run() override;

private:
    std::deque<TDrawJob> ListToDraw;
    TChessCollection* FOwner;
    int FID = 0;
};
