#include "TSvgPath.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <numbers>
#include <QVarLengthArray>

namespace {

bool IsWsp(char16_t c)
{
    return c == 0x20 || c == 0x09 || c == 0x0A || c == 0x0C || c == 0x0D;
}

bool IsDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

// QPainterPath ignores points it cannot hold (1e128 and beyond, with a warning); such a point
// ends the path like a syntax error.
bool Finite(const QPointF& p)
{
    constexpr double kLimit = 1e128;
    return std::abs(p.x()) < kLimit && std::abs(p.y()) < kLimit;
}

// Cubic Béziers for one elliptical arc, after the endpoint-to-centre conversion of the SVG
// implementation notes (including the correction of radii too small to reach the end point).
// False when the numbers overflow.
bool AddArc(QPainterPath& path, QPointF from, double rx, double ry, double angleDeg, bool largeArc,
            bool sweep, QPointF to)
{
    if (from == to) return true;
    rx = std::abs(rx);
    ry = std::abs(ry);
    if (rx == 0 || ry == 0) {
        path.lineTo(to);
        return true;
    }
    const double phi = std::fmod(angleDeg, 360.0) * std::numbers::pi / 180.0;
    const double cosPhi = std::cos(phi), sinPhi = std::sin(phi);
    const double dx2 = (from.x() - to.x()) / 2, dy2 = (from.y() - to.y()) / 2;
    const double x1p = cosPhi * dx2 + sinPhi * dy2;
    const double y1p = -sinPhi * dx2 + cosPhi * dy2;

    const double lambda = (x1p * x1p) / (rx * rx) + (y1p * y1p) / (ry * ry);
    if (lambda > 1) {
        const double scale = std::sqrt(lambda);
        rx *= scale;
        ry *= scale;
    }
    const double rx2 = rx * rx, ry2 = ry * ry;
    const double den = rx2 * y1p * y1p + ry2 * x1p * x1p;
    double coef = den == 0 ? 0 : std::sqrt(std::max(0.0, (rx2 * ry2 - den) / den));
    if (largeArc == sweep) coef = -coef;
    const double cxp = coef * rx * y1p / ry;
    const double cyp = -coef * ry * x1p / rx;
    const double cx = cosPhi * cxp - sinPhi * cyp + (from.x() + to.x()) / 2;
    const double cy = sinPhi * cxp + cosPhi * cyp + (from.y() + to.y()) / 2;

    const double theta1 = std::atan2((y1p - cyp) / ry, (x1p - cxp) / rx);
    const double theta2 = std::atan2((-y1p - cyp) / ry, (-x1p - cxp) / rx);
    double delta = theta2 - theta1;
    if (!sweep && delta > 0)
        delta -= 2 * std::numbers::pi;
    else if (sweep && delta < 0)
        delta += 2 * std::numbers::pi;
    if (!std::isfinite(cx) || !std::isfinite(cy) || !std::isfinite(delta)) return false;

    // At most a quarter turn per Bézier keeps the error invisible.
    const int segments =
        std::clamp(int(std::ceil(std::abs(delta) / (std::numbers::pi / 2) - 1e-9)), 1, 4);
    const double step = delta / segments;
    const double k = 4.0 / 3.0 * std::tan(step / 4);
    const auto point = [&](double a) {
        return QPointF(cx + rx * std::cos(a) * cosPhi - ry * std::sin(a) * sinPhi,
                       cy + rx * std::cos(a) * sinPhi + ry * std::sin(a) * cosPhi);
    };
    const auto tangent = [&](double a) {
        return QPointF(-rx * std::sin(a) * cosPhi - ry * std::cos(a) * sinPhi,
                       -rx * std::sin(a) * sinPhi + ry * std::cos(a) * cosPhi);
    };
    QPointF start = from;
    for (int i = 0; i < segments; ++i) {
        const double a0 = theta1 + i * step, a1 = a0 + step;
        const QPointF end = i + 1 == segments ? to : point(a1);
        const QPointF c1 = start + k * tangent(a0);
        const QPointF c2 = end - k * tangent(a1);
        if (!Finite(c1) || !Finite(c2) || !Finite(end)) return false;
        path.cubicTo(c1, c2, end);
        start = end;
    }
    return true;
}

class Parser
{
public:
    explicit Parser(QStringView text) : s(text) {}

    bool Run(QPainterPath& path);
    qsizetype pos = 0;

private:
    char16_t Peek() const { return pos < s.size() ? s[pos].unicode() : 0; }
    bool AtEnd() const { return pos >= s.size(); }
    void SkipWsp()
    {
        while (pos < s.size() && IsWsp(s[pos].unicode()))
            ++pos;
    }
    bool StartsNumber() const
    {
        const char16_t c = Peek();
        return IsDigit(c) || c == u'+' || c == u'-' || c == u'.';
    }
    // The separator between two arguments: blanks with at most one comma among them.
    void CommaWsp()
    {
        SkipWsp();
        if (Peek() == u',') {
            ++pos;
            SkipWsp();
        }
    }
    bool Number(double& value);
    bool Flag(bool& value);
    bool Coordinates(double* values, int count);
    bool ArcArguments(double* values, bool& largeArc, bool& sweep);

    QStringView s;
};

bool Parser::Number(double& value)
{
    const qsizetype start = pos;
    QVarLengthArray<char, 64> text;
    bool negative = false;
    if (Peek() == u'+' || Peek() == u'-') {
        negative = Peek() == u'-';
        ++pos;
    }
    if (negative) text.append('-');
    qsizetype intDigits = 0, fracDigits = 0;
    bool leadingZeros = true;
    qsizetype significantIntDigits = 0;
    while (IsDigit(Peek())) {
        const char16_t c = Peek();
        if (c != u'0' || !leadingZeros) {
            leadingZeros = false;
            ++significantIntDigits;
        }
        text.append(char(c));
        ++intDigits;
        ++pos;
    }
    if (Peek() == u'.') {
        const qsizetype dot = pos;
        ++pos;
        while (IsDigit(Peek())) {
            if (fracDigits == 0) text.append('.');
            text.append(char(Peek()));
            ++fracDigits;
            ++pos;
        }
        // "5." is a number; a lone "." is not.
        if (fracDigits == 0 && intDigits == 0) {
            pos = dot;
        }
    }
    if (intDigits == 0 && fracDigits == 0) {
        pos = start;
        return false;
    }
    // An exponent only when digits follow: "1e" leaves the "e" to be read as a command.
    long exponent = 0;
    if (Peek() == u'e' || Peek() == u'E') {
        qsizetype p = pos + 1;
        bool expNegative = false;
        if (p < s.size() && (s[p] == u'+' || s[p] == u'-')) {
            expNegative = s[p] == u'-';
            ++p;
        }
        if (p < s.size() && IsDigit(s[p].unicode())) {
            text.append('e');
            if (expNegative) text.append('-');
            while (p < s.size() && IsDigit(s[p].unicode())) {
                text.append(char(s[p].unicode()));
                if (exponent < 100000) exponent = exponent * 10 + (s[p].unicode() - u'0');
                ++p;
            }
            if (expNegative) exponent = -exponent;
            pos = p;
        }
    }
    double result = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), result);
    if (ec == std::errc::result_out_of_range) {
        // Too small to tell from zero is zero; too large to hold is an error.
        if (significantIntDigits + exponent > 0) {
            pos = start;
            return false;
        }
        result = negative ? -0.0 : 0.0;
    } else if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(result)) {
        pos = start;
        return false;
    }
    value = result;
    return true;
}

bool Parser::Flag(bool& value)
{
    const char16_t c = Peek();
    if (c != u'0' && c != u'1') return false;
    value = c == u'1';
    ++pos;
    return true;
}

bool Parser::Coordinates(double* values, int count)
{
    for (int i = 0; i < count; ++i) {
        if (i > 0) CommaWsp();
        if (!Number(values[i])) return false;
    }
    return true;
}

bool Parser::ArcArguments(double* values, bool& largeArc, bool& sweep)
{
    if (!Coordinates(values, 3)) return false;
    CommaWsp();
    if (!Flag(largeArc)) return false;
    CommaWsp();
    if (!Flag(sweep)) return false;
    CommaWsp();
    return Coordinates(values + 3, 2);
}

bool Parser::Run(QPainterPath& path)
{
    QPointF current(0, 0), subpathStart(0, 0);
    // Control points to reflect for S and T; only valid right after C/S and Q/T.
    QPointF lastCubic, lastQuad;
    bool haveCubic = false, haveQuad = false;

    SkipWsp();
    if (AtEnd()) return true;
    if (Peek() != u'M' && Peek() != u'm') return false;

    while (true) {
        SkipWsp();
        if (AtEnd()) return true;
        const char16_t command = Peek();
        const bool relative = command >= u'a' && command <= u'z';
        const char16_t upper = relative ? char16_t(command - (u'a' - u'A')) : command;
        if (QStringView(u"MLHVCSQTAZ").indexOf(QChar(upper)) < 0) return false;
        ++pos;
        SkipWsp();

        if (upper == u'Z') {
            path.closeSubpath();
            current = subpathStart;
            haveCubic = haveQuad = false;
            continue;
        }

        bool first = true;
        while (true) {
            const QPointF base = relative ? current : QPointF(0, 0);
            double v[7] = {};
            bool largeArc = false, sweep = false;
            QPointF next;
            bool cubic = false, quad = false;
            switch (upper) {
            case u'M':
            case u'L':
                if (!Coordinates(v, 2)) return false;
                next = base + QPointF(v[0], v[1]);
                if (!Finite(next)) return false;
                // Coordinates after a moveto are linetos.
                if (upper == u'M' && first) {
                    path.moveTo(next);
                    subpathStart = next;
                } else {
                    path.lineTo(next);
                }
                break;
            case u'H':
                if (!Coordinates(v, 1)) return false;
                next = QPointF(base.x() + v[0], current.y());
                if (!Finite(next)) return false;
                path.lineTo(next);
                break;
            case u'V':
                if (!Coordinates(v, 1)) return false;
                next = QPointF(current.x(), base.y() + v[0]);
                if (!Finite(next)) return false;
                path.lineTo(next);
                break;
            case u'C': {
                if (!Coordinates(v, 6)) return false;
                const QPointF c1 = base + QPointF(v[0], v[1]), c2 = base + QPointF(v[2], v[3]);
                next = base + QPointF(v[4], v[5]);
                if (!Finite(c1) || !Finite(c2) || !Finite(next)) return false;
                path.cubicTo(c1, c2, next);
                lastCubic = c2;
                cubic = true;
                break;
            }
            case u'S': {
                if (!Coordinates(v, 4)) return false;
                const QPointF c1 = haveCubic ? 2 * current - lastCubic : current;
                const QPointF c2 = base + QPointF(v[0], v[1]);
                next = base + QPointF(v[2], v[3]);
                if (!Finite(c1) || !Finite(c2) || !Finite(next)) return false;
                path.cubicTo(c1, c2, next);
                lastCubic = c2;
                cubic = true;
                break;
            }
            case u'Q': {
                if (!Coordinates(v, 4)) return false;
                const QPointF c = base + QPointF(v[0], v[1]);
                next = base + QPointF(v[2], v[3]);
                if (!Finite(c) || !Finite(next)) return false;
                path.quadTo(c, next);
                lastQuad = c;
                quad = true;
                break;
            }
            case u'T': {
                if (!Coordinates(v, 2)) return false;
                const QPointF c = haveQuad ? 2 * current - lastQuad : current;
                next = base + QPointF(v[0], v[1]);
                if (!Finite(c) || !Finite(next)) return false;
                path.quadTo(c, next);
                lastQuad = c;
                quad = true;
                break;
            }
            case u'A':
                if (!ArcArguments(v, largeArc, sweep)) return false;
                next = base + QPointF(v[3], v[4]);
                if (!Finite(next) ||
                    !AddArc(path, current, v[0], v[1], v[2], largeArc, sweep, next))
                    return false;
                break;
            }
            current = next;
            haveCubic = cubic;
            haveQuad = quad;
            first = false;

            // Another group of the same command follows after an optional comma.
            SkipWsp();
            if (Peek() == u',') {
                ++pos;
                SkipWsp();
                if (!StartsNumber()) return false;
                continue;
            }
            if (!StartsNumber()) break;
        }
    }
}

} // namespace

QPainterPath TSvgPath::parse(QStringView data, bool* ok, qsizetype* errorOffset)
{
    QPainterPath path;
    Parser parser(data);
    const bool parsed = parser.Run(path);
    if (ok) *ok = parsed;
    if (errorOffset) *errorOffset = parsed ? -1 : parser.pos;
    return path;
}
