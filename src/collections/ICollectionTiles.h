#pragma once

#include <QImage>
#include <QSize>
#include <QString>

// The collections browser's side of the item tiles (TfrCollectionInList in its scroll box
// vsbCollections). The model never holds a widget: it keeps the handle a tile was made with and
// asks for everything through here, always on the UI thread.
class ICollectionTiles
{
public:
    virtual ~ICollectionTiles() = default;

    // Makes the tile of a new item: the scroll box's tag grows by 1, the tile is named
    // "frCollectionInList" + the new tag, prepared, given ItemID (SetID) and placed at (-1, -1).
    // Returns the tile's handle, -1 when no tile was made.
    virtual int CreateTile(int ItemID) = 0;
    // Size of the tile's thumbnail image (Image1); empty when the tile or its image is gone.
    virtual QSize TileImageSize(int Tile) const = 0;
    // The tile's tag and FENPosition, set with every thumbnail drawn for it.
    virtual void SetTileData(int Tile, int Tag, const QString& FENPosition) = 0;
    // A finished thumbnail for the tile's image.
    virtual void SetTileImage(int Tile, const QImage& Image) = 0;
};
