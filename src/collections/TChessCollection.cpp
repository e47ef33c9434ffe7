#include "TChessCollection.h"

#include "CollectionsLog.h"
#include "DataFolders.h"
#include "ICollectionTiles.h"
#include "IViewProcess.h"
#include "Lang.h"
#include "TConfig.h"
#include "TDrawBoardThread.h"
#include "TextFile.h"

#include <algorithm>
#include <climits>
#include <exception>
#include <QDir>
#include <QFileInfo>
#include <QPointer>

Q_LOGGING_CATEGORY(lcCollections, "tavlora.collections")

namespace {

const QString kExtension = QStringLiteral(".tvl");
const QString kToSend = QStringLiteral("ToSend/");

// Blanks are the space and the control characters, as in every text file of the program.
QStringView TrimBlanks(QStringView s)
{
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && s[begin].unicode() <= u' ')
        ++begin;
    while (end > begin && s[end - 1].unicode() <= u' ')
        --end;
    return s.mid(begin, end - begin);
}

// The progress window for the whole of a load, hidden again on every way out.
class TProgressScope
{
public:
    TProgressScope(IViewProcess* view, qsizetype maximum) : FView(view)
    {
        if (FView) FView->ShowProcess(int(std::min<qsizetype>(maximum, INT_MAX)));
    }
    ~TProgressScope()
    {
        if (FView) FView->HideProcess();
    }
    TProgressScope(const TProgressScope&) = delete;
    TProgressScope& operator=(const TProgressScope&) = delete;

private:
    IViewProcess* FView;
};

} // namespace

TChessCollection::TChessCollection(const QString& PathCollections, const TConfig* Holder,
                                   QObject* parent)
    : QObject(parent), FPathCollections(PathCollections), FHolder(Holder)
{
}

TChessCollection::~TChessCollection()
{
    // The threads never wait for the UI thread, so waiting for them here always ends.
    for (const auto& thread : DrawThreadsList)
        thread->requestInterruption();
    for (const auto& thread : DrawThreadsList)
        thread->wait();
    DrawThreadsList.clear();
    ClearLines();
}

// ---------------------------------------------------------------- reading

bool TChessCollection::LoadCollection(qint64 CollectionID)
{
    if (FLoading) {
        qCWarning(lcCollections) << "collection" << CollectionID << "not loaded: a load is running";
        return false;
    }
    ClearLines();
    FCollectionID = 0;
    FNameCollection.clear();
    if (CollectionID <= 0 || FPathCollections.isEmpty()) return false;
    const QString file = DataFolders::IncludeTrailingPathDelimiter(FPathCollections) +
                         QString::number(CollectionID) + kExtension;
    // Without its lines the collection keeps no id: an edit would save a near-empty
    // collection over the file and send it to the server.
    QStringList lines;
    if (!TextFile::ReadLines(file, lines)) {
        if (QFileInfo::exists(file)) qCWarning(lcCollections) << "cannot read" << file;
        return false;
    }
    FCollectionID = CollectionID;
    QPointer<TChessCollection> self(this);
    ReadCollectionLines(lines);
    if (!self || GetCount() == 0) return false;
    RedrawAll();
    return true;
}

void TChessCollection::ReadCollectionLines(const QStringList& Lines)
{
    if (FLoading) return;
    ClearLines();
    FNameCollection.clear();
    FLoading = true;
    const quint64 clearCount = FClearCount;
    QPointer<TChessCollection> self(this);
    IViewProcess* view = FViewProcess;
    const QString loaded = Lang(QStringLiteral("Loaded"));
    const QString linesText = Lang(QStringLiteral("Lines"));
    const auto info = [&]() -> QString {
        return loaded + u' ' + QString::number(GetCount()) + u' ' + linesText;
    };

    TProgressScope progress(view, Lines.size());
    if (view) view->SetInfo(info());
    try {
        const qsizetype n = Lines.size();
        for (qsizetype i = 0; i < n; ++i) {
            if (view) view->StepProcess();
            ReadLine(Lines.at(i));
            // Every 10 lines only, so that large collections load fast.
            if (view && (n - i - 1) % 10 == 0) {
                view->SetInfo(info());
                view->ProcessEvents();
                // The UI may have freed or cleared the collection meanwhile.
                if (!self) return;
                if (FClearCount != clearCount) {
                    qCInfo(lcCollections) << "load given up: the collection was cleared";
                    break;
                }
            }
        }
    } catch (const std::exception& e) {
        qCWarning(lcCollections) << "load ended early:" << e.what();
    }
    FLoading = false;
}

void TChessCollection::ReadLine(const QString& Line)
{
    const QStringView s = TrimBlanks(Line);
    if (!s.isEmpty()) {
        if (s.front() == u'#') {
            const QStringView marker = s.mid(1);
            FLastID = -1;
            if (FSource.isEmpty())
                FNameCollection = marker.toString();
            else if (marker == u"EPD" || marker == u"FEN")
                FCurrentType = ctlPuzzle;
            else if (marker == u"PGN")
                FCurrentType = ctlGame;
        } else {
            if (FLastID < 0 || FLastID >= GetCount()) {
                std::unique_ptr<TChessItem> item;
                if (FCurrentType == ctlGame)
                    item = std::make_unique<TChessGame>(GetCount(), this);
                else
                    item = std::make_unique<TChessPuzzle>(GetCount(), this);
                AppendItem(std::move(item));
                FLastID = GetCount() - 1;
            }
            FLines[FLastID]->AddSource(s.size() == Line.size() ? Line : s.toString());
        }
    }
    FSource.append(Line);
    // Every puzzle line is an item of its own; game lines go on until a "#" line.
    if (FCurrentType == ctlPuzzle) FLastID = -1;
}

TChessItem* TChessCollection::AppendItem(std::unique_ptr<TChessItem> Item)
{
    Item->FCollection = this;
    Item->FKey = FNextKey++;
    FItemsByKey.insert(Item->FKey, Item.get());
    FLines.push_back(std::move(Item));
    return FLines.back().get();
}

// ---------------------------------------------------------------- writing

QStringList TChessCollection::SaveToLines() const
{
    QStringList lines;
    lines.reserve(qsizetype(FLines.size()) + 2);
    lines.append(u'#' + FNameCollection);
    TChessTypeLine section = ctlNone;
    QStringList gameLines;
    for (const auto& item : FLines) {
        if (item->TypeChessLine() == ctlPuzzle) {
            if (section != ctlPuzzle) lines.append(QStringLiteral("#EPD"));
            section = ctlPuzzle;
            lines.append(static_cast<const TChessPuzzle&>(*item).Puzzle());
        } else if (item->TypeChessLine() == ctlGame) {
            lines.append(QStringLiteral("#PGN"));
            section = ctlGame;
            static_cast<const TChessGame&>(*item).SaveGame(gameLines);
            lines.append(gameLines);
        }
    }
    if (FLines.empty()) lines.append(QStringLiteral("#EPD"));
    return lines;
}

QString TChessCollection::SaveFolder() const
{
    const QString folder = FHolder && !FHolder->CollectionPath().isEmpty()
                               ? FHolder->CollectionPath()
                               : FPathCollections;
    return folder.isEmpty() ? QString() : DataFolders::IncludeTrailingPathDelimiter(folder);
}

bool TChessCollection::SaveCollection()
{
    // Half a collection must never replace the whole file.
    if (FLoading) {
        qCWarning(lcCollections) << "collection" << FCollectionID << "not saved: still loading";
        return false;
    }
    // Without an id the file would be "0.tvl", which nothing ever reads or uploads.
    if (FCollectionID <= 0) {
        qCWarning(lcCollections) << "collection not saved: no collection is loaded";
        return false;
    }
    const QString folder = SaveFolder();
    if (folder.isEmpty()) {
        qCWarning(lcCollections) << "collection" << FCollectionID << "not saved: no folder";
        return false;
    }
    const QString name = QString::number(FCollectionID) + kExtension;
    const QByteArray bytes = TextFile::EncodeUtf8Bom(SaveToLines());
    // The upload copy first: a change in the folder is never without its way to the server.
    QDir().mkpath(folder + kToSend);
    QString error;
    for (const QString& path : QStringList{folder + kToSend + name, folder + name}) {
        if (!TextFile::WriteBytes(path, bytes, &error)) {
            qCWarning(lcCollections) << "cannot write" << path << error;
            return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------- editing

bool TChessCollection::AddPuzzle(const QString& Puzzle)
{
    if (FLoading) return false;
    const QString line = TChessPuzzle::PuzzleLine(Puzzle);
    if (line.isEmpty()) {
        qCWarning(lcCollections) << "not a puzzle line:" << Puzzle.left(80);
        return false;
    }
    AppendItem(std::make_unique<TChessPuzzle>(GetCount(), this))->AddSource(line);
    return SaveCollection();
}

bool TChessCollection::DeleteItem(int Idx)
{
    if (FLoading || Idx < 0 || Idx >= GetCount()) return false;
    std::unique_ptr<TChessItem> item = std::move(FLines[size_t(Idx)]);
    FLines.erase(FLines.begin() + Idx);
    FItemsByKey.remove(item->FKey);
    FLastID = -1;
    item.reset();
    return SaveCollection();
}

int TChessCollection::FindByID(int ID) const
{
    for (int i = GetCount() - 1; i >= 0; --i) {
        if (FLines[size_t(i)]->ID() == ID) return i;
    }
    return -1;
}

TChessItem* TChessCollection::GetChessItem(int Idx) const
{
    return Idx >= 0 && Idx < GetCount() ? FLines[size_t(Idx)].get() : nullptr;
}

int TChessCollection::GetCountByType(TChessTypeLine TypeItems) const
{
    if (TypeItems == ctlNone) return GetCount();
    return int(std::count_if(FLines.begin(), FLines.end(), [TypeItems](const auto& item) {
        return item->TypeChessLine() == TypeItems;
    }));
}

void TChessCollection::ClearLines()
{
    // Threads still drawing these items hold copies; they only need not go on.
    for (const auto& thread : DrawThreadsList)
        thread->requestInterruption();
    FItemsByKey.clear();
    FLines.clear();
    FSource.clear();
    FCurrentType = ctlPuzzle;
    FLastID = -1;
    ++FClearCount;
}

// ---------------------------------------------------------------- thumbnails

void TChessCollection::Redraw(TChessItem* Item)
{
    if (!Item || FItemsByKey.value(Item->FKey) != Item) return;
    auto thread = std::make_unique<TDrawBoardThread>(this);
    if (thread->AddItem(Item)) StartThread(std::move(thread));
}

void TChessCollection::RedrawAll()
{
    auto thread = std::make_unique<TDrawBoardThread>(this);
    for (const auto& item : FLines)
        thread->AddItem(item.get());
    if (thread->CountToDraw() > 0) StartThread(std::move(thread));
}

void TChessCollection::StartThread(std::unique_ptr<TDrawBoardThread> Thread)
{
    TDrawBoardThread* thread = Thread.release();
    AddThreadDraw(thread);
    // Below the UI thread, so that drawing never makes the window lag.
    thread->start(QThread::LowPriority);
}

void TChessCollection::AddThreadDraw(TDrawBoardThread* DrawThread)
{
    if (!DrawThread) return;
    ++FLastIDDrawThread;
    DrawThread->setID(FLastIDDrawThread);
    connect(DrawThread, &QThread::finished, this,
            [this, DrawThread] { ThreadFinished(DrawThread); });
    DrawThreadsList.emplace_back(DrawThread);
}

void TChessCollection::ThreadFinished(TDrawBoardThread* Thread)
{
    const auto it = std::find_if(DrawThreadsList.begin(), DrawThreadsList.end(),
                                 [Thread](const auto& t) { return t.get() == Thread; });
    if (it == DrawThreadsList.end()) return;
    (*it)->wait();
    DrawThreadsList.erase(it);
}

void TChessCollection::ThumbnailDrawn(const TDrawJob& Job, const QImage& Image)
{
    TChessItem* item = FItemsByKey.value(Job.ItemKey);
    // A later request for the same item shows a newer position; this one is stale.
    if (!item || item->FDrawSerial != Job.Serial || !FTiles || item->FFrameItem < 0) return;
    FTiles->SetTileData(item->FFrameItem, item->FID, Job.Position);
    if (!Image.isNull()) FTiles->SetTileImage(item->FFrameItem, Image);
}
