#include "CollectionTestDoubles.h"

#include <QCoreApplication>
#include <QThread>

namespace {
bool OnUiThread()
{
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}
} // namespace

void TTilesDouble::Check(const char* call, int tile) const
{
    auto* self = const_cast<TTilesDouble*>(this);
    if (!OnUiThread())
        self->Faults.append(QStringLiteral("%1 off the UI thread").arg(QLatin1String(call)));
    if (tile < 0 || tile >= int(Tiles.size()))
        self->Faults.append(
            QStringLiteral("%1 for unknown tile %2").arg(QLatin1String(call)).arg(tile));
    else if (Gone.contains(tile))
        self->Faults.append(
            QStringLiteral("%1 for gone tile %2").arg(QLatin1String(call)).arg(tile));
}

int TTilesDouble::CreateTile(int ItemID)
{
    if (!OnUiThread()) Faults.append(QStringLiteral("CreateTile off the UI thread"));
    ++ScrollBoxTag;
    TTile tile;
    tile.ItemID = ItemID;
    tile.Name = QStringLiteral("frCollectionInList") + QString::number(ScrollBoxTag);
    Tiles.push_back(tile);
    return int(Tiles.size()) - 1;
}

QSize TTilesDouble::TileImageSize(int Tile) const
{
    Check("TileImageSize", Tile);
    return Gone.contains(Tile) ? QSize() : ImageSize;
}

void TTilesDouble::SetTileData(int Tile, int Tag, const QString& FENPosition)
{
    Check("SetTileData", Tile);
    if (Tile >= 0 && Tile < int(Tiles.size())) {
        Tiles[size_t(Tile)].Tag = Tag;
        Tiles[size_t(Tile)].FENPosition = FENPosition;
    }
}

void TTilesDouble::SetTileImage(int Tile, const QImage& Image)
{
    Check("SetTileImage", Tile);
    ++FImages;
    if (Tile >= 0 && Tile < int(Tiles.size())) {
        Tiles[size_t(Tile)].Image = Image;
        ++Tiles[size_t(Tile)].Images;
    }
}

void TViewProcessDouble::FlushSteps()
{
    if (FSteps > 0) Calls.append(QStringLiteral("steps %1").arg(FSteps));
    FSteps = 0;
}

void TViewProcessDouble::ShowProcess(int Maximum)
{
    FlushSteps();
    Calls.append(QStringLiteral("show %1").arg(Maximum));
}

void TViewProcessDouble::SetInfo(const QString& Text)
{
    FlushSteps();
    Calls.append(QStringLiteral("info ") + Text);
}

void TViewProcessDouble::ProcessEvents()
{
    FlushSteps();
    Calls.append(QStringLiteral("events"));
    if (OnProcessEvents) OnProcessEvents();
}

void TViewProcessDouble::HideProcess()
{
    FlushSteps();
    Calls.append(QStringLiteral("hide"));
}
