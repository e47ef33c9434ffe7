#pragma once

#include "TChessItem.h"

#include <memory>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <vector>

class ICollectionTiles;
class IViewProcess;
class TConfig;
class TDrawBoardThread;

// One collection file in memory: its name and its puzzles and games, in file order. Loading,
// saving and editing run on the UI thread; thumbnails are drawn by TDrawBoardThread.
//
// File: "#" + name, then sections opened by "#EPD" (or "#FEN") with one puzzle per line and
// "#PGN" with one game up to the next "#" line; UTF-8 with byte-order mark, CR LF.
class TChessCollection : public QObject
{
    Q_OBJECT

public:
    // PathCollections is the folder files are loaded from. Saving goes to the holder's
    // collections folder when there is a holder, else to the same folder.
    explicit TChessCollection(const QString& PathCollections = QString(),
                              const TConfig* Holder = nullptr, QObject* parent = nullptr);
    // Stops every drawing thread and waits for it, then frees the items.
    ~TChessCollection() override;

    // Reads <PathCollections>/<CollectionID>.tvl; true when it gave at least one item, whose
    // thumbnails are then started. A missing or unreadable file leaves the collection empty
    // with id 0.
    bool LoadCollection(qint64 CollectionID);
    // The lines of a file, read into the emptied collection with progress; the collection id
    // stays as it is.
    void ReadCollectionLines(const QStringList& Lines);
    // Writes the collection into the ToSend folder, then into the collections folder, both
    // replaced atomically; false when either write failed, there is no collection id, or a
    // load is still running (the UI handles its events during a load).
    bool SaveCollection();
    // The lines SaveCollection writes.
    QStringList SaveToLines() const;

    // Appends a puzzle and saves; true when it was made and saved. A text that cannot stand as
    // one puzzle line, or a load still running, makes nothing.
    bool AddPuzzle(const QString& Puzzle);
    // Removes and frees the item and saves; an index out of range (or a load still running)
    // does nothing. True when an item was removed and the collection saved.
    bool DeleteItem(int Idx);
    // Index of the last item with this FID, -1 for none.
    int FindByID(int ID) const;
    TChessItem* GetChessItem(int Idx) const;
    int GetCount() const { return int(FLines.size()); }
    // ctlNone counts every item.
    int GetCountByType(TChessTypeLine TypeItems) const;
    // Frees the items and the read lines; drawing threads still running are told to stop.
    void ClearLines();

    // Thumbnails: each call starts one drawing thread.
    void Redraw(TChessItem* Item);
    void RedrawAll();
    // Registers and numbers a thread; the collection owns it from here and frees it when it
    // ends.
    void AddThreadDraw(TDrawBoardThread* DrawThread);
    int CountDrawThreads() const { return int(DrawThreadsList.size()); }

    qint64 CollectionID() const { return FCollectionID; }
    QString NameCollection() const { return FNameCollection; }
    QString PathCollections() const { return FPathCollections; }
    void setPathCollections(const QString& Value) { FPathCollections = Value; }
    ICollectionTiles* Tiles() const { return FTiles; }
    void setTiles(ICollectionTiles* Value) { FTiles = Value; }
    IViewProcess* ViewProcess() const { return FViewProcess; }
    void setViewProcess(IViewProcess* Value) { FViewProcess = Value; }

private:
    friend class TChessItem;
    friend class TChessPuzzle;
    friend class TDrawBoardThread;

    void ReadLine(const QString& Line);
    TChessItem* AppendItem(std::unique_ptr<TChessItem> Item);
    QString SaveFolder() const;
    void StartThread(std::unique_ptr<TDrawBoardThread> Thread);
    void ThreadFinished(TDrawBoardThread* Thread);
    // A finished thumbnail, on the UI thread; dropped when its item is gone or redrawn since.
    void ThumbnailDrawn(const TDrawJob& Job, const QImage& Image);

    QStringList FSource;
    std::vector<std::unique_ptr<TChessItem>> FLines;
    int FLastID = -1;
    int FLastIDDrawThread = 1;
    TChessTypeLine FCurrentType = ctlPuzzle;
    qint64 FCollectionID = 0;
    QString FNameCollection;
    QString FPathCollections;
    std::vector<std::unique_ptr<TDrawBoardThread>> DrawThreadsList;

    const TConfig* FHolder;
    ICollectionTiles* FTiles = nullptr;
    IViewProcess* FViewProcess = nullptr;
    QHash<quint64, TChessItem*> FItemsByKey;
    quint64 FNextKey = 1;
    // Grows with every ClearLines, so a load notices when the UI cleared it meanwhile.
    quint64 FClearCount = 0;
    bool FLoading = false;
};
