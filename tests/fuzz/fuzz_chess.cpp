// Any bytes as FEN, EPD, square texts, SVG path data and piece set: nothing may crash or hang,
// and the board keeps eight squares per rank.
#include "TFENData.h"
#include "TSvgPath.h"

#include <cstdint>
#include <cstdlib>
#include <QBuffer>
#include <QImage>
#include <QLoggingCategory>
#include <QPainter>
#include <QtEndian>

namespace {

void Check(bool condition)
{
    if (!condition) std::abort();
}

void CheckBoard(const TFENData& data)
{
    for (int row = 1; row <= 8; ++row)
        Check(data.Line(row).size() == 8);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Broken piece paths are logged; at this rate that is only noise.
    QLoggingCategory::setFilterRules(QStringLiteral("tavlora.*=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    const QByteArray raw(reinterpret_cast<const char*>(bytes), qsizetype(size));
    const QString text = QString::fromUtf8(raw);

    {
        TFENData data(text);
        CheckBoard(data);
        // What the codec writes, it reads back unchanged.
        const QString fen = data.FEN();
        data.setFEN(fen);
        Check(data.FEN() == fen);
        CheckBoard(data);

        // A few move tests and moves, squares taken from the input.
        for (size_t i = 0; i + 1 < size && i < 16; i += 2) {
            const int from = 11 + bytes[i] % 78, to = 11 + bytes[i + 1] % 78;
            if (data.CanMovePiece(from, to))
                data.MovePiece(from, to, QChar(u"QRBN "[bytes[i] % 5]));
            CheckBoard(data);
        }
        data.CheckExists();
        data.CheckmateExists();
        data.FindOwnerKing();
        CheckBoard(data);
    }
    {
        TFENData data;
        data.setEPD(text);
        CheckBoard(data);
        data.EPD();
        FENToPositionCode(text);
        StrToFields(text);
        if (size >= 4) FieldsToStr(int(qFromUnaligned<quint32>(bytes)));
        data.Arrows().AddArrow(text, BlueSelection);
        data.SelectedFields.AddSelection(text, RedSelection);
    }
    {
        bool ok = false;
        qsizetype at = 0;
        const QPainterPath path = TSvgPath::parse(text, &ok, &at);
        Check(ok == (at < 0));
        Check(at <= text.size());
    }
    {
        // The input as a piece set, drawn as one small square and as a small board.
        TFENData data(QStringLiteral("kqrbnpcx/KQRBNPCX/Ff6/8/8/8/8/8 b - - 0 1"));
        QBuffer stream;
        stream.setData(raw);
        stream.open(QIODevice::ReadOnly);
        Check(data.LoadPiecesFromStream(stream));
        QImage canvas(24, 24, QImage::Format_ARGB32_Premultiplied);
        {
            QPainter painter(&canvas);
            data.DrawField(painter, u'K', 1, 1);
            data.DrawField(painter, text.isEmpty() ? QChar(u'q') : text.front(), 2, 1);
        }
        Check(data.RenderBoard(false, 90).width() == 90);
    }
    return 0;
}
