// The collection line reader on any bytes: no crash, no hang, every item readable, and what is
// saved reads back to the same items and saves the same again.
#include "TChessCollection.h"
#include "TextFile.h"

#include <cstdlib>

namespace {

struct TItemText
{
    TChessTypeLine Type;
    QStringList Text; // the puzzle line and its operations, or the game's lines
    bool operator==(const TItemText&) const = default;
};

QList<TItemText> Items(const TChessCollection& collection)
{
    QList<TItemText> items;
    for (int i = 0; i < collection.GetCount(); ++i) {
        const TChessItem* item = collection.GetChessItem(i);
        if (!item || item->ID() != i || collection.FindByID(i) != i) std::abort();
        if (item->TypeChessLine() == ctlPuzzle) {
            const auto* puzzle = static_cast<const TChessPuzzle*>(item);
            const QString line = puzzle->Puzzle();
            if (line.isEmpty() || line.front() == u'#' || TChessPuzzle::PuzzleLine(line) != line)
                std::abort();
            (void)puzzle->BestMove();
            (void)puzzle->CountMoves();
            (void)puzzle->ShowMarkers();
            items.append({ctlPuzzle, QStringList{line} + puzzle->Data().Lines()});
        } else if (item->TypeChessLine() == ctlGame) {
            QStringList lines;
            if (!static_cast<const TChessGame*>(item)->SaveGame(lines) || lines.isEmpty())
                std::abort();
            for (const QString& line : lines)
                if (TChessPuzzle::PuzzleLine(line) != line) std::abort();
            items.append({ctlGame, lines});
        } else {
            std::abort();
        }
    }
    if (collection.GetCountByType(ctlPuzzle) + collection.GetCountByType(ctlGame) !=
            collection.GetCountByType(ctlNone) ||
        collection.GetCountByType(ctlCourse) != 0)
        std::abort();
    return items;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    TChessCollection first;
    first.ReadCollectionLines(TextFile::SplitLines(TextFile::DecodeUtf8(bytes)));
    const QList<TItemText> items = Items(first);

    const QStringList saved = first.SaveToLines();
    const QByteArray file = TextFile::EncodeUtf8Bom(saved);
    TChessCollection second;
    second.ReadCollectionLines(TextFile::SplitLines(TextFile::DecodeUtf8(file)));
    if (second.NameCollection() != first.NameCollection() || Items(second) != items ||
        second.SaveToLines() != saved)
        std::abort();
    return 0;
}
