#include "TestRegistry.h"
#include "TSvgPath.h"

#include <QElapsedTimer>

namespace {

bool Near(const QPointF& a, const QPointF& b, qreal tolerance = 0.01)
{
    return qAbs(a.x() - b.x()) <= tolerance && qAbs(a.y() - b.y()) <= tolerance;
}

bool Near(const QRectF& a, const QRectF& b, qreal tolerance = 0.01)
{
    return Near(a.topLeft(), b.topLeft(), tolerance) &&
           Near(a.bottomRight(), b.bottomRight(), tolerance);
}

QString Describe(const QPainterPath& path)
{
    QStringList parts;
    for (int i = 0; i < path.elementCount(); ++i) {
        const auto& e = path.elementAt(i);
        parts << QStringLiteral("%1:%2,%3").arg(int(e.type)).arg(e.x).arg(e.y);
    }
    return parts.join(u' ');
}

} // namespace

class TestSvgPath : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void reflectedControlPoints();
    void arcs_data();
    void arcs();
    void errorOffset();
    void longInputStaysLinear();
};
TAVLORA_REGISTER_TEST(TestSvgPath);

void TestSvgPath::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("elements");
    QTest::addColumn<QRectF>("bounds");
    QTest::addColumn<QPointF>("last");

    const QRectF line(10, 20, 20, 20);
    QTest::newRow("absolute") << "M10,20 L30,40" << true << 2 << line << QPointF(30, 40);
    QTest::newRow("relative") << "m10,20 l20,20" << true << 2 << line << QPointF(30, 40);
    QTest::newRow("blanks, tabs and spaced commas")
        << " M 10 , 20\tL\n30 ,40 " << true << 2 << line << QPointF(30, 40);
    QTest::newRow("no separators around letters")
        << "M10,20L30,40" << true << 2 << line << QPointF(30, 40);
    QTest::newRow("implicit lineto after M")
        << "M10 20 30 40 50 20" << true << 3 << QRectF(10, 20, 40, 20) << QPointF(50, 20);
    QTest::newRow("implicit relative lineto after m")
        << "m10 20 20 20 20 -20" << true << 3 << QRectF(10, 20, 40, 20) << QPointF(50, 20);
    QTest::newRow("comma between groups") << "M10,20,30,40" << true << 2 << line << QPointF(30, 40);
    QTest::newRow("repeated L") << "M0 0 L10 0 10 10 0 10" << true << 4 << QRectF(0, 0, 10, 10)
                                << QPointF(0, 10);
    QTest::newRow("numbers run together")
        << "M1-2L3.5.5" << true << 2 << QRectF(1, -2, 2.5, 2.5) << QPointF(3.5, 0.5);
    QTest::newRow("signs, exponents, bare fractions")
        << "M.5+.5l1e1-1E+1" << true << 2 << QRectF(0.5, -9.5, 10, 10) << QPointF(10.5, -9.5);
    QTest::newRow("trailing dot") << "M5. 5.L10 10" << true << 2 << QRectF(5, 5, 5, 5)
                                  << QPointF(10, 10);
    QTest::newRow("H and V") << "M10 10 H50 V30 h-20 v10" << true << 5 << QRectF(10, 10, 40, 30)
                             << QPointF(30, 40);
    QTest::newRow("cubic") << "M0 0 C0 10 10 10 10 0" << true << 4 << QRectF(0, 0, 10, 7.5)
                           << QPointF(10, 0);
    QTest::newRow("relative cubic, repeated") << "m0 0 c0 10 10 10 10 0 0 10 10 10 10 0" << true
                                              << 7 << QRectF(0, 0, 20, 7.5) << QPointF(20, 0);
    QTest::newRow("quadratic") << "M0 0 Q10 10 20 0" << true << 4 << QRectF(0, 0, 20, 5)
                               << QPointF(20, 0);
    QTest::newRow("close returns to the start")
        << "M0 0 L10 0 L10 10 Z L20 20" << true << 6 << QRectF(0, 0, 20, 20) << QPointF(20, 20);
    QTest::newRow("relative after close")
        << "M10 10 L20 10 z m5 5 l1 0" << true << 5 << QRectF(10, 10, 10, 5) << QPointF(16, 15);
    QTest::newRow("empty") << "" << true << 0 << QRectF() << QPointF();
    QTest::newRow("blanks only") << " \r\n\t" << true << 0 << QRectF() << QPointF();

    // Errors keep the segments before them.
    QTest::newRow("missing coordinate")
        << "M10 10 L20 20 L30" << false << 2 << QRectF(10, 10, 10, 10) << QPointF(20, 20);
    QTest::newRow("unknown command")
        << "M10 10 L20 20 X 5 5" << false << 2 << QRectF(10, 10, 10, 10) << QPointF(20, 20);
    QTest::newRow("not starting with moveto") << "L10 10" << false << 0 << QRectF() << QPointF();
    QTest::newRow("comma after the letter") << "M,10 10" << false << 0 << QRectF() << QPointF();
    QTest::newRow("trailing comma")
        << "M10 10 L20 20," << false << 2 << QRectF(10, 10, 10, 10) << QPointF(20, 20);
    QTest::newRow("number after close")
        << "M0 0 L10 10 Z 5" << false << 3 << QRectF(0, 0, 10, 10) << QPointF(0, 0);
    QTest::newRow("exponent without digits") << "M1e L2 2" << false << 0 << QRectF() << QPointF();
    QTest::newRow("overflowing number")
        << "M0 0 L1e999 2" << false << 1 << QRectF() << QPointF(0, 0);
    QTest::newRow("underflow is zero")
        << "M0 0 L1e-999 2" << true << 2 << QRectF(0, 0, 0, 2) << QPointF(0, 2);
    // QPainterPath drops points of 1e128 and more, so they end the path like an error.
    QTest::newRow("huge coordinate") << "M0 0 L1e200 0" << false << 1 << QRectF() << QPointF(0, 0);
    QTest::newRow("sum too large")
        << "M9e127 0 l9e127 0" << false << 1 << QRectF() << QPointF(9e127, 0);
    QTest::newRow("bad arc flag") << "M0 0 L5 5 A5 5 0 2 1 20 20" << false << 2
                                  << QRectF(0, 0, 5, 5) << QPointF(5, 5);
    QTest::newRow("lone dot") << "M0 0 L. 5" << false << 1 << QRectF() << QPointF(0, 0);
}

void TestSvgPath::parse()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(int, elements);
    QFETCH(QRectF, bounds);
    QFETCH(QPointF, last);
    bool parsed = !ok;
    const QPainterPath path = TSvgPath::parse(text, &parsed);
    QCOMPARE(parsed, ok);
    QVERIFY2(path.elementCount() == elements, qPrintable(Describe(path)));
    if (elements > 1) QVERIFY2(Near(path.boundingRect(), bounds), qPrintable(Describe(path)));
    if (elements > 0)
        QVERIFY2(Near(QPointF(path.elementAt(elements - 1)), last), qPrintable(Describe(path)));
}

void TestSvgPath::reflectedControlPoints()
{
    // S mirrors the previous cubic's second control point about the current point.
    QPainterPath path = TSvgPath::parse(u"M0 0 C0 10 10 10 10 0 S20 -10 20 0");
    QCOMPARE(path.elementCount(), 7);
    QCOMPARE(QPointF(path.elementAt(4)), QPointF(10, -10));
    QCOMPARE(QPointF(path.elementAt(5)), QPointF(20, -10));
    // Without a cubic before it, the first control point is the current point.
    path = TSvgPath::parse(u"M0 0 L5 0 s10 10 15 0");
    QCOMPARE(QPointF(path.elementAt(2)), QPointF(5, 0));
    QCOMPARE(QPointF(path.elementAt(4)), QPointF(20, 0));
    // T mirrors the previous quadratic's control point: (10, 10) about (20, 0) gives (30, -10).
    path = TSvgPath::parse(u"M0 0 Q10 10 20 0 T40 0");
    QVERIFY2(Near(path.boundingRect(), QRectF(0, -5, 40, 10)), qPrintable(Describe(path)));
    // After a line T has no control point to mirror: a straight segment.
    path = TSvgPath::parse(u"M0 0 L10 0 T20 0");
    QVERIFY(Near(path.boundingRect(), QRectF(0, 0, 20, 0)));
    // A cubic before Q/T or a quadratic before S is no help either.
    path = TSvgPath::parse(u"M0 0 Q10 10 20 0 S30 0 40 0");
    QCOMPARE(QPointF(path.elementAt(4)), QPointF(20, 0));
}

void TestSvgPath::arcs_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("elements");
    QTest::addColumn<QRectF>("bounds");
    // A half circle from (0, 0) to (20, 0): sweep 1 runs through (10, -10) with y downward.
    const QRectF upper(0, -10, 20, 10), lower(0, 0, 20, 10);
    QTest::newRow("half circle") << "M0 0 A10 10 0 0 1 20 0" << 7 << upper;
    QTest::newRow("other sweep") << "M0 0 A10 10 0 0 0 20 0" << 7 << lower;
    QTest::newRow("radii too small are scaled up") << "M0 0 A1 1 0 0 1 20 0" << 7 << upper;
    QTest::newRow("negative radii count as positive") << "M0 0 A-10 -10 0 0 1 20 0" << 7 << upper;
    QTest::newRow("flags without separators") << "M0 0a10 10 0 0120 0" << 7 << upper;
    QTest::newRow("large arc") << "M0 0 A20 20 0 1 1 20 0" << 13 << QRectF(-10, -37.32, 40, 37.32);
    QTest::newRow("small arc") << "M0 0 A20 20 0 0 1 20 0" << 4 << QRectF(0, -2.68, 20, 2.68);
    QTest::newRow("rotated ellipse") << "M0 0 A20 10 90 0 1 0 40" << 7 << QRectF(0, 0, 10, 40);
    QTest::newRow("zero radius is a line") << "M0 0 A0 10 0 0 1 20 0" << 2 << QRectF(0, 0, 20, 0);
    QTest::newRow("same end point is skipped") << "M5 5 A10 10 0 0 1 5 5" << 1 << QRectF();
}

void TestSvgPath::arcs()
{
    QFETCH(QString, text);
    QFETCH(int, elements);
    QFETCH(QRectF, bounds);
    bool ok = false;
    const QPainterPath path = TSvgPath::parse(text, &ok);
    QVERIFY(ok);
    QVERIFY2(path.elementCount() == elements, qPrintable(Describe(path)));
    if (elements > 1) {
        // Béziers approximate the circle to well below a unit of the piece box.
        QVERIFY2(Near(path.boundingRect(), bounds, 0.05), qPrintable(Describe(path)));
        QVERIFY(Near(path.currentPosition(), QPointF(path.elementAt(elements - 1))));
    }
}

void TestSvgPath::errorOffset()
{
    bool ok = true;
    qsizetype at = 0;
    TSvgPath::parse(u"M10 10 L20 20 X", &ok, &at);
    QVERIFY(!ok);
    QCOMPARE(at, 14);
    TSvgPath::parse(u"M10 10", &ok, &at);
    QVERIFY(ok);
    QCOMPARE(at, -1);
}

void TestSvgPath::longInputStaysLinear()
{
    // A hundred thousand arcs and a run of digits parse in bounded time and space.
    const QString arcs = QStringLiteral("M0 0") + QStringLiteral("a1 1 0 1 1 2 0").repeated(100000);
    const QString digits = QStringLiteral("M") + QString(1000000, u'9') + QStringLiteral(" 0");
    QElapsedTimer timer;
    timer.start();
    bool ok = false;
    QCOMPARE(TSvgPath::parse(arcs, &ok).elementCount(), 1 + 100000 * 6);
    QVERIFY(ok);
    TSvgPath::parse(digits, &ok);
    QVERIFY(!ok); // 10^1000000 does not fit a double
    QVERIFY(timer.elapsed() < 20000);
}

#include "tst_svgpath.moc"
