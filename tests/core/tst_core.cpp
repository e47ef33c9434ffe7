#include "TNameValueList.h"
#include "TextFile.h"

#include <QTemporaryDir>
#include <QtTest>

class TestCore : public QObject
{
    Q_OBJECT
private slots:
    void nameValueList();
    void textFileRoundTrip();
    void splitLines_data();
    void splitLines();
};

void TestCore::nameValueList()
{
    TNameValueList list;
    list.SetValue("Lang", "en");
    list.SetValue("Folder", "C:/data/");
    list.Add("no equals sign");
    list.SetValue("LANG", "ru"); // same name, other case: replaced in place
    QCOMPARE(list.Lines(), QStringList({"Lang=ru", "Folder=C:/data/", "no equals sign"}));
    QCOMPARE(list.Value("folder"), "C:/data/");
    QCOMPARE(list.Name(2), "no equals sign");
    QCOMPARE(list.ValueFromIndex(2), QString());

    list.SetValue("x", "a=b"); // the value is everything after the first "="
    QCOMPARE(list.Value("X"), "a=b");
    list.SetValue("lang", QString()); // empty removes
    QCOMPARE(list.IndexOfName("Lang"), -1);
    list.Sort();
    QCOMPARE(list.Lines(), QStringList({"Folder=C:/data/", "no equals sign", "x=a=b"}));
    QCOMPARE(list.Text(), "Folder=C:/data/\r\nno equals sign\r\nx=a=b\r\n");
}

void TestCore::textFileRoundTrip()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a.txt");
    const QStringList lines = {"Ферзь", "", "e4 e5"};
    QVERIFY(TextFile::WriteLines(path, lines));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    QVERIFY(bytes.endsWith("\r\n\r\ne4 e5\r\n"));
    QStringList back;
    QVERIFY(TextFile::ReadLines(path, back));
    QCOMPARE(back, lines);

    QString error;
    QVERIFY(!TextFile::WriteLines(dir.filePath("missing/b.txt"), lines, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!TextFile::ReadLines(dir.filePath("none.txt"), back));
    QVERIFY(back.isEmpty());
}

void TestCore::splitLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("crlf") << "a\r\nb\r\n" << QStringList{"a", "b"};
    QTest::newRow("lf and cr") << "a\nb\rc" << QStringList{"a", "b", "c"};
    QTest::newRow("empty lines kept") << "a\r\n\r\nb" << QStringList{"a", "", "b"};
    QTest::newRow("empty") << "" << QStringList{};
}

void TestCore::splitLines()
{
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    QCOMPARE(TextFile::SplitLines(text), lines);
}

QTEST_GUILESS_MAIN(TestCore)
#include "tst_core.moc"
