#include "TArrows.h"
#include "TestRegistry.h"

class TestArrows : public QObject
{
    Q_OBJECT
private slots:
    void fieldTexts_data();
    void fieldTexts();
    void addAndFind();
    void wireTexts();
    void clearByKind();
    void colours();
    void copying();
    void selections();
};
TAVLORA_REGISTER_TEST(TestArrows);

void TestArrows::fieldTexts_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("back"); // StrToFields of the text
    QTest::newRow("square") << 54 << "e4" << 54;
    QTest::newRow("pair") << 5254 << "e2e4" << 5254;
    QTest::newRow("corners") << 1188 << "a1h8" << 1188;
    QTest::newRow("zero") << 0 << "a0" << 10;
    QTest::newRow("file 9") << 95 << "a5" << 15;
}

void TestArrows::fieldTexts()
{
    QFETCH(int, number);
    QFETCH(QString, text);
    QFETCH(int, back);
    QCOMPARE(FieldsToStr(number), text);
    QCOMPARE(StrToFields(text), back);
    QCOMPARE(StrToFields("52"), 52);
    QCOMPARE(StrToFields("e"), 0);
    QCOMPARE(StrToFields("e2e4q"), 5254);
    QCOMPARE(StrToFields("zz"), 0);
}

void TestArrows::addAndFind()
{
    TArrows arrows;
    QCOMPARE(arrows.AddArrow(52, 54, BlueSelection), 0);
    QCOMPARE(arrows.AddArrow("5254", RedSelection), 0); // numeric text finds it
    QCOMPARE(arrows.AddArrow("52", "54", RedSelection), 0);
    QCOMPARE(arrows.Arrows(0)->TypeArrow(), BlueSelection); // the old kind stays
    QCOMPARE(arrows.AddArrow("e2e4", RedSelection), 1);     // letter text finds nothing
    QCOMPARE(arrows.AddArrow("e2e4", RedSelection), 2);
    QCOMPARE(arrows.CountArrows(), 3);
    QCOMPARE(arrows.FindArrow(52, 54), 2); // the last match
    QCOMPARE(arrows.FindArrow("e2e4"), -1);
    QCOMPARE(arrows.Arrows(1)->Fields(), "5254");

    TArrow arrow("g1f3", WhiteSelection);
    QCOMPARE(arrow.FromField(), 71);
    QCOMPARE(arrow.ToField(), 63);
    QCOMPARE(arrow.ToFieldCol(), 6);
    QCOMPARE(arrow.ToFieldRow(), 3);
    arrow.setToField(64);
    QCOMPARE(arrow.ToField(), 64);
    QCOMPARE(TArrow("e2", BlueSelection).ToField(), 0);

    QVERIFY(arrows.ClearArrow(0));
    QVERIFY(!arrows.ClearArrow(5));
    QVERIFY(!arrows.ClearArrow(-1));
    QVERIFY(arrows.ClearArrow("5254"));
    QVERIFY(arrows.ClearArrow(52, 54));
    QCOMPARE(arrows.CountArrows(), 0);
}

void TestArrows::wireTexts()
{
    TArrows arrows;
    QCOMPARE(arrows.ArrowsStr(), QString());
    QCOMPARE(arrows.ArrowsByType(BlueSelection), "-");
    arrows.AddArrow("e2e4", BlueSelection);
    arrows.AddArrow(71, 63, BlueSelection);
    arrows.AddArrow(48, 15, RedSelection);
    QCOMPARE(arrows.ArrowsByType(BlueSelection), "e2e4g1f3");
    QCOMPARE(arrows.ArrowsByType(RedSelection), "d8a5");
    QCOMPARE(arrows.ArrowsByType(WhiteSelection), "-");
    QCOMPARE(arrows.ArrowsStr(), "e2e4g1f3d8a5");
}

void TestArrows::clearByKind()
{
    TArrows arrows;
    arrows.AddArrow(52, 54, HelpSelection);
    arrows.AddArrow(71, 63, BlueSelection);
    arrows.AddArrow(57, 55, HelpSelection);
    arrows.AddArrow(11, 18, RedSelection);
    QVERIFY(arrows.ClearArrow(HelpSelection));
    QVERIFY(!arrows.ClearArrow(HelpSelection));
    QCOMPARE(arrows.ArrowsStr(), "g1f3a1a8");
}

void TestArrows::colours()
{
    TArrows arrows;
    QCOMPARE(arrows.ArrowsColor(BlueSelection), QRgb(0xFF4169E1));
    QCOMPARE(arrows.ArrowsColor(HelpSelection), QRgb(0xFF008000));
    QCOMPARE(arrows.ArrowsColor(StudentSelection), QRgb(0x00000000));
    QCOMPARE(arrows.ArrowsColor(6), QRgb(0));
    QCOMPARE(arrows.ArrowsColor(-1), QRgb(0));
    arrows.setArrowsColor(HelpSelection, 0xFF123456);
    QCOMPARE(arrows.ArrowsColor(HelpSelection), QRgb(0xFF008000));
    arrows.setArrowsColor(BlackSelection, 0xFF123456);
    QCOMPARE(arrows.ArrowsColor(BlackSelection), QRgb(0xFF123456));
}

void TestArrows::copying()
{
    TArrows a, b;
    a.AddArrow(52, 54, BlueSelection);
    a.AddArrow(71, 63, RedSelection);
    b.AddArrow(71, 63, WhiteSelection);
    b.AddArrow(11, 18, BlackSelection);
    b.CopyArrows(a, false);
    QCOMPARE(b.ArrowsStr(), "g1f3a1a8e2e4");
    QCOMPARE(b.Arrows(0)->TypeArrow(), WhiteSelection);
    b.CopyArrows(a, true);
    QCOMPARE(b.ArrowsStr(), "e2e4g1f3");
    QCOMPARE(b.Arrows(1)->TypeArrow(), RedSelection);
    b.CopyArrows(b, true); // copying a list into itself keeps it
    QCOMPARE(b.CountArrows(), 2);
    QCOMPARE(b.CopyArrow(a, 7), -1);

    b.setArrows(0, TArrow("a1a2", BlackSelection));
    QCOMPARE(b.ArrowsByType(BlackSelection), "a1a2");
}

void TestArrows::selections()
{
    TSelectedFields marks;
    QCOMPARE(marks.SelectionsStr(), "-");
    QCOMPARE(marks.AddSelection("e4", BlueSelection), 0);
    QCOMPARE(marks.AddSelection(45, RedSelection), 1);
    QCOMPARE(marks.AddSelection(54, RedSelection), 0); // the square has a mark: colour stays
    QCOMPARE(marks.SelectionsStr(), "e40d51");
    QCOMPARE(marks.FindSelection("d5"), 1);

    TSelectedFields copy;
    copy.AddSelection(45, BlueSelection);
    copy.CopySelections(marks, false);
    QCOMPARE(copy.SelectionsStr(), "d50e40");
    copy.CopySelections(marks, true);
    QCOMPARE(copy.SelectionsStr(), "e40d51");

    QVERIFY(marks.ClearSelection("e4"));
    QVERIFY(!marks.ClearSelection(54));
    copy.setSelections(0, TSelectField(11, RedSelection));
    QCOMPARE(copy.SelectionsStr(), "a11d51");
    copy.ClearSelections();
    QCOMPARE(copy.CountSelections(), 0);
}

#include "tst_arrows.moc"
