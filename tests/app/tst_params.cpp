#include "ParamsFile.h"
#include "TestRegistry.h"
#include "ZlibStream.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

class TestParamsFile : public QObject
{
    Q_OBJECT
private slots:
    void formatOnDisk_data();
    void formatOnDisk();
    void unreadableFiles_data();
    void unreadableFiles();
};

void TestParamsFile::formatOnDisk_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QByteArray>("text"); // what the stream holds
    QTest::newRow("Latin-1") << QStringList({"PathToData=/home/zoë/Tavlora/", "RegCode=abc"})
                             << QByteArray("PathToData=/home/zo\xEB/Tavlora/\r\nRegCode=abc\r\n");
    QTest::newRow("beyond Latin-1")
        << QStringList({QStringLiteral("PathToData=/home/иван/Документы/Tavlora/"), "x=€"})
        << (QByteArray("\xEF\xBB\xBF") +
            QStringLiteral("PathToData=/home/иван/Документы/Tavlora/\r\nx=€\r\n").toUtf8());
    QTest::newRow("Latin-1 that starts like the mark")
        << QStringList({"\u00EF\u00BB\u00BFx=1"})
        << QByteArray("\xEF\xBB\xBF\xC3\xAF\xC2\xBB\xC2\xBFx=1\r\n");
    QTest::newRow("starts with the mark's character")
        << QStringList({QChar(0xFEFF) + QStringLiteral("x=1")})
        << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBFx=1\r\n");
    QTest::newRow("empty list") << QStringList() << QByteArray();
}

void TestParamsFile::formatOnDisk()
{
    QFETCH(QStringList, lines);
    QFETCH(QByteArray, text);
    QTemporaryDir dir;
    const QString path = dir.filePath("params.dat");
    QVERIFY(ParamsFile::Save(path, TNameValueList(lines)));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes.left(2), "\x78\x9C"); // zlib, default level
    QByteArray inflated;
    QVERIFY(ZlibStream::Decompress(bytes, inflated));
    QCOMPARE(inflated, text);

    TNameValueList read({"stale=1"});
    QCOMPARE(ParamsFile::Load(path, read), ParamsFile::TLoad::Loaded);
    QCOMPARE(read.Lines(), lines);
}

void TestParamsFile::unreadableFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray good = ParamsFile::Encode(TNameValueList({"PathToData=/x/", "RegCode=y"}));
    QTest::newRow("truncated") << good.left(good.size() - 5);
    QTest::newRow("header only") << good.left(2);
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("qCompress format") << qCompress(QByteArray("PathToData=/x/\r\n"));
    QByteArray noise(4096, Qt::Uninitialized);
    QRandomGenerator random(42);
    for (char& c : noise)
        c = char(random.bounded(256));
    QTest::newRow("random") << noise;
    QByteArray flipped = good;
    flipped[good.size() / 2] = char(flipped[good.size() / 2] ^ 0x55);
    QTest::newRow("one byte changed") << flipped;
}

void TestParamsFile::unreadableFiles()
{
    QFETCH(QByteArray, bytes);
    QTemporaryDir dir;
    const QString path = dir.filePath("params.dat");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();

    TNameValueList list({"stale=1"});
    QCOMPARE(ParamsFile::Load(path, list), ParamsFile::TLoad::Unreadable);
    QVERIFY(list.IsEmpty());
    // The unreadable file is kept beside it, byte for byte.
    QFile bad(path + ".bad");
    QVERIFY(bad.open(QIODevice::ReadOnly));
    QCOMPARE(bad.readAll(), bytes);
}

TAVLORA_REGISTER_TEST(TestParamsFile);
#include "tst_params.moc"
