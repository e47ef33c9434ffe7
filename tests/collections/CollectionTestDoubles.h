#pragma once

#include "ICollectionTiles.h"
#include "IViewProcess.h"

#include <functional>
#include <QImage>
#include <QSet>
#include <QSize>
#include <QString>
#include <QStringList>
#include <vector>

// Stands in for the collections browser: one record per tile, and a note of every call that
// reached it off the UI thread or for a tile the test has declared gone.
class TTilesDouble : public ICollectionTiles
{
public:
    struct TTile
    {
        int ItemID = -1;
        QString Name;
        int Tag = -1;
        QString FENPosition;
        QImage Image;
        int Images = 0;
    };

    int CreateTile(int ItemID) override;
    QSize TileImageSize(int Tile) const override;
    void SetTileData(int Tile, int Tag, const QString& FENPosition) override;
    void SetTileImage(int Tile, const QImage& Image) override;

    int ImagesDelivered() const { return FImages; }
    // Calls made off the UI thread or for a tile marked gone.
    QStringList Faults;

    QSize ImageSize{145, 145};
    int ScrollBoxTag = 0;
    std::vector<TTile> Tiles;
    // Tiles whose items the test has deleted.
    QSet<int> Gone;

private:
    void Check(const char* call, int tile) const;
    int FImages = 0;
};

// Stands in for the progress window and logs its calls; runs of steps are logged as one entry.
class TViewProcessDouble : public IViewProcess
{
public:
    void ShowProcess(int Maximum) override;
    void StepProcess() override { ++FSteps; }
    void SetInfo(const QString& Text) override;
    void ProcessEvents() override;
    void HideProcess() override;

    QStringList Calls;
    // Runs inside ProcessEvents, as a user's click would.
    std::function<void()> OnProcessEvents;

private:
    void FlushSteps();
    int FSteps = 0;
};
