#pragma once

#include <QPainterPath>
#include <QStringView>

// SVG 1.1 path data ("M10,10 L20,20 ...") to a QPainterPath. Piece sets carry their drawings as
// path data, so this is what turns a piece-set line into something a QPainter can draw.
class TSvgPath
{
public:
    // Every command of the path grammar: M L H V C S Q T A Z in absolute and relative form,
    // repeated coordinates without repeating the letter, comma or blank separators, numbers run
    // together ("1-2", "0.5.5") and arc flags without separators. Arcs become cubic Béziers.
    // On a syntax error the path keeps every segment before it, as SVG renderers draw it, and
    // ok is set to false; errorOffset (when given) gets the position of the offending
    // character. Work is linear in the length of the text.
    static QPainterPath parse(QStringView data, bool* ok = nullptr,
                              qsizetype* errorOffset = nullptr);
};
