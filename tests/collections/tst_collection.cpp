// Collection files: loading with progress, saving into ToSend and the collections folder,
// editing, the fixtures, and failures.
#include "CollectionTestDoubles.h"
#include "Lang.h"
#include "TChessCollection.h"
#include "TConfig.h"
#include "TestRegistry.h"
#include "TextFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTemporaryDir>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr qint64 kID = 1700000000001;
const QString kFile = u"1700000000001.tvl"_s;

QByteArray ReadBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray Fixture(const QString& name)
{
    const QByteArray bytes = ReadBytes(QStringLiteral(TAVLORA_FIXTURES "/collections/") + name);
    if (bytes.isEmpty()) qFatal("fixture %s is missing", qPrintable(name));
    return bytes;
}

QStringList Lines(const QByteArray& bytes)
{
    return TextFile::SplitLines(TextFile::DecodeUtf8(bytes));
}

QByteArray FileOf(const QStringList& lines)
{
    return TextFile::EncodeUtf8Bom(lines);
}

const TChessPuzzle* PuzzleAt(const TChessCollection& collection, int idx)
{
    const TChessItem* item = collection.GetChessItem(idx);
    return item && item->TypeChessLine() == ctlPuzzle ? static_cast<const TChessPuzzle*>(item)
                                                      : nullptr;
}

const QString kP1 = u"6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - bm Rd8#;"_s;
const QString kP2 = u"R7/P4k2/8/8/8/8/r7/6K1 w - - bm Rh8;"_s;
const QString kP3 = u"7k/p7/1R5K/6r1/6p1/6P1/8/8 w - - bm Rb7;"_s;

} // namespace

class TestChessCollection : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void mixedFixtureRoundTripsByteForByte();
    void winAtChessFixture();
    void titleOnlyFile();
    void missingFile();
    void unreadableFile_data();
    void unreadableFile();
    void progressReported();
    void uiActsWhileLoading_data();
    void uiActsWhileLoading();
    void addPuzzle_data();
    void addPuzzle();
    void deleteItem_data();
    void deleteItem();
    void findByIdAfterDeleteAndAdd();
    void saveFolders_data();
    void saveFolders();
    void failedWriteReported_data();
    void failedWriteReported();
    void loadAfterFileEndingInAGame();

private:
    QString Folder() const { return FDir->path() + u'/'; }
    void PutFile(const QByteArray& bytes, const QString& name = kFile) const;

    std::unique_ptr<QTemporaryDir> FDir;
};

void TestChessCollection::initTestCase()
{
    // The built-in English table, so the progress texts read as users see them.
    static QTemporaryDir languages;
    SetLanguageFolder(languages.path() + u'/');
    LoadLanguage(u"en"_s);
}

void TestChessCollection::init()
{
    FDir = std::make_unique<QTemporaryDir>();
    QVERIFY(FDir->isValid());
}

void TestChessCollection::cleanup()
{
    FDir.reset();
}

void TestChessCollection::PutFile(const QByteArray& bytes, const QString& name) const
{
    QFile file(Folder() + name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

void TestChessCollection::mixedFixtureRoundTripsByteForByte()
{
    // Two puzzles, two real games with comments, a variation and a result, a puzzle; written
    // as the program writes (byte-order mark, CR LF).
    const QByteArray fixture = Fixture(u"mixed.tvl"_s);
    PutFile(fixture);
    TChessCollection collection(Folder());
    QVERIFY(collection.LoadCollection(kID));
    QCOMPARE(collection.CollectionID(), kID);
    QCOMPARE(collection.NameCollection(), u"Комбинации и классика"_s);
    QCOMPARE(collection.GetCountByType(ctlNone), 5);
    QCOMPARE(collection.GetCountByType(ctlPuzzle), 3);
    QCOMPARE(collection.GetCountByType(ctlGame), 2);
    QCOMPARE(collection.GetCountByType(ctlCourse), 0);
    const QList<TChessTypeLine> kinds{ctlPuzzle, ctlPuzzle, ctlGame, ctlGame, ctlPuzzle};
    for (int i = 0; i < kinds.size(); ++i)
        QCOMPARE(collection.GetChessItem(i)->TypeChessLine(), kinds[i]);
    QCOMPARE(PuzzleAt(collection, 0)->BestMove(), u"Qg6"_s);
    QCOMPARE(PuzzleAt(collection, 1)->CountMoves(), 3);
    QVERIFY(PuzzleAt(collection, 1)->ShowMarkers());
    QCOMPARE(collection.GetChessItem(2)->Source().size(), 11);
    QVERIFY(collection.GetChessItem(3)->Source().last().endsWith(u"23. Be7# 1-0"_s));

    QFile::remove(Folder() + kFile);
    QVERIFY(collection.SaveCollection());
    QCOMPARE(ReadBytes(Folder() + u"ToSend/"_s + kFile), fixture);
    QCOMPARE(ReadBytes(Folder() + kFile), fixture);
}

void TestChessCollection::winAtChessFixture()
{
    // The 300 positions of "Win at Chess" as they are published: no title, no byte-order mark,
    // LF line ends.
    const QByteArray epd = Fixture(u"win_at_chess.epd"_s);
    const QStringList published = Lines(epd);
    QCOMPARE(published.size(), 300);
    PutFile(epd);

    TChessCollection collection(Folder());
    QVERIFY(collection.LoadCollection(kID));
    QCOMPARE(collection.NameCollection(), QString());
    QCOMPARE(collection.GetCountByType(ctlPuzzle), 300);
    QCOMPARE(collection.GetCountByType(ctlGame), 0);
    QCOMPARE(collection.FindByID(299), 299);
    QCOMPARE(PuzzleAt(collection, 0)->BestMove(), u"Qg6"_s);
    QCOMPARE(PuzzleAt(collection, 299)->BestMove(), u"g6"_s);
    // WAC.022 lists two best moves: the first part's last two fields become one operation.
    QCOMPARE(PuzzleAt(collection, 21)->BestMove(), QString());
    QCOMPARE(PuzzleAt(collection, 21)->Data().Value(u"Ba2"_s), u"Nxf7"_s);
    // WAC.274 starts with "am"; its "bm" follows a blank after ";" and is not read.
    QCOMPARE(PuzzleAt(collection, 273)->Data().Lines(), QStringList{u"am=Rd6"_s});

    QVERIFY(collection.SaveCollection());
    const QByteArray saved = ReadBytes(Folder() + kFile);
    QCOMPARE(Lines(saved), QStringList({u"#"_s, u"#EPD"_s}) + published);
    QVERIFY(saved.startsWith("\xEF\xBB\xBF#\r\n#EPD\r\n"));

    TChessCollection again(Folder());
    QVERIFY(again.LoadCollection(kID));
    QCOMPARE(again.GetCount(), 300);
    for (int i = 0; i < 300; ++i)
        QCOMPARE(PuzzleAt(again, i)->Puzzle(), published[i]);
    QVERIFY(again.SaveCollection());
    QCOMPARE(ReadBytes(Folder() + kFile), saved);
}

void TestChessCollection::titleOnlyFile()
{
    PutFile(FileOf({u"#Nothing yet"_s}));
    TChessCollection collection(Folder());
    QVERIFY(!collection.LoadCollection(kID));
    QCOMPARE(collection.CollectionID(), kID);
    QCOMPARE(collection.NameCollection(), u"Nothing yet"_s);
    QVERIFY(collection.SaveCollection());
    QCOMPARE(ReadBytes(Folder() + kFile), FileOf({u"#Nothing yet"_s, u"#EPD"_s}));
}

void TestChessCollection::missingFile()
{
    PutFile(FileOf({u"#Old"_s, kP1}));
    TViewProcessDouble view;
    TChessCollection collection(Folder());
    collection.setViewProcess(&view);
    QVERIFY(collection.LoadCollection(kID));
    QVERIFY(!collection.LoadCollection(kID + 1));
    QCOMPARE(collection.CollectionID(), 0);
    QCOMPARE(collection.GetCount(), 0);
    QCOMPARE(collection.NameCollection(), QString());
    QCOMPARE(view.Calls.count(u"hide"_s), 1); // only the first load showed progress
    // Nothing is loaded, so nothing may be saved under a made-up name.
    QVERIFY(!collection.SaveCollection());
    QVERIFY(!collection.AddPuzzle(kP2));
    QVERIFY(!QFile::exists(Folder() + u"0.tvl"_s));
    QVERIFY(!QFile::exists(Folder() + u"ToSend/0.tvl"_s));
}

void TestChessCollection::unreadableFile_data()
{
    QTest::addColumn<bool>("folder"); // else a file without read permission
    QTest::newRow("no read permission") << false;
    QTest::newRow("a folder in its place") << true;
}

void TestChessCollection::unreadableFile()
{
    QFETCH(bool, folder);
    const QString path = Folder() + kFile;
    const QByteArray before = FileOf({u"#Set"_s, u"#EPD"_s, kP1, kP2});
    const QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner;
    if (folder) {
        QVERIFY(QDir().mkpath(path));
    } else {
        PutFile(before);
        QVERIFY(QFile::setPermissions(path, {}));
        if (QFile probe(path); probe.open(QIODevice::ReadOnly)) {
            QFile::setPermissions(path, permissions);
            QSKIP("permissions do not keep this user from reading");
        }
    }

    TChessCollection collection(Folder());
    QVERIFY(!collection.LoadCollection(kID));
    QCOMPARE(collection.CollectionID(), 0);
    QCOMPARE(collection.GetCount(), 0);
    // An edit must not put a near-empty collection in place of the one that was not read.
    QVERIFY(!collection.AddPuzzle(kP3));
    QVERIFY(!collection.DeleteItem(0));
    QVERIFY(!collection.SaveCollection());
    QVERIFY(!QFile::exists(Folder() + u"ToSend/"_s + kFile));
    if (folder) {
        QVERIFY(QFileInfo(path).isDir());
        return;
    }
    QVERIFY(QFile::setPermissions(path, permissions));
    QCOMPARE(ReadBytes(path), before);
}

void TestChessCollection::progressReported()
{
    // A title and 24 puzzles: every line is a step, the label follows every 10 lines left.
    QStringList lines{u"#Progress"_s};
    for (int i = 0; i < 24; ++i)
        lines.append(i % 2 ? kP1 : kP2);
    PutFile(FileOf(lines));
    TViewProcessDouble view;
    TChessCollection collection(Folder());
    collection.setViewProcess(&view);
    QVERIFY(collection.LoadCollection(kID));
    QCOMPARE(view.Calls, (QStringList{u"show 25"_s, u"info Loaded 0 lines"_s, u"steps 5"_s,
                                      u"info Loaded 4 lines"_s, u"events"_s, u"steps 10"_s,
                                      u"info Loaded 14 lines"_s, u"events"_s, u"steps 10"_s,
                                      u"info Loaded 24 lines"_s, u"events"_s, u"hide"_s}));
}

void TestChessCollection::uiActsWhileLoading_data()
{
    QTest::addColumn<QString>("click");
    QTest::addColumn<int>("events"); // how many times the UI got its turn
    QTest::newRow("edits it") << u"edit"_s << 11;
    QTest::newRow("clears it") << u"clear"_s << 3;
    QTest::newRow("frees it") << u"free"_s << 3;
}

void TestChessCollection::uiActsWhileLoading()
{
    // A click handled while the progress window lets the UI process its events.
    QFETCH(QString, click);
    QFETCH(int, events);
    QStringList lines{u"#Busy"_s};
    for (int i = 0; i < 100; ++i)
        lines.append(kP1);
    const QByteArray file = FileOf(lines);
    PutFile(file);

    TViewProcessDouble view;
    QPointer<TChessCollection> collection = new TChessCollection(Folder());
    collection->setViewProcess(&view);
    int clicks = 0;
    view.OnProcessEvents = [&] {
        if (++clicks != 3) return;
        // Another load, or an edit that would save half the collection, is refused.
        QVERIFY(!collection->LoadCollection(kID));
        QVERIFY(!collection->DeleteItem(0));
        QVERIFY(!collection->AddPuzzle(kP2));
        QVERIFY(!collection->SaveCollection());
        if (click == u"clear")
            collection->ClearLines();
        else if (click == u"free")
            delete collection.data();
    };
    const bool loaded = collection->LoadCollection(kID);
    QCOMPARE(view.Calls.last(), u"hide"_s);
    QCOMPARE(view.Calls.count(u"events"_s), events);
    QCOMPARE(ReadBytes(Folder() + kFile), file);
    QVERIFY(!QFile::exists(Folder() + u"ToSend/"_s + kFile));
    if (click == u"free") {
        QVERIFY(!collection);
        QVERIFY(!loaded);
        return;
    }
    QCOMPARE(loaded, click == u"edit");
    QCOMPARE(collection->GetCount(), click == u"edit" ? 100 : 0);
    view.OnProcessEvents = nullptr;
    QVERIFY(collection->LoadCollection(kID));
    QCOMPARE(collection->GetCount(), 100);
    QVERIFY(collection->DeleteItem(0)); // editing works again once loaded
    delete collection.data();
}

void TestChessCollection::addPuzzle_data()
{
    QTest::addColumn<QString>("puzzle");
    QTest::addColumn<QString>("stored"); // empty when refused
    QTest::newRow("puzzle") << kP2 << kP2;
    QTest::newRow("editor text with a final blank") << kP3 + u' ' << kP3;
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("blanks only") << u" \t "_s << QString();
    QTest::newRow("a marker") << u"#PGN"_s << QString();
    QTest::newRow("two lines") << kP2 + u"\r\n" + kP3 << QString();
}

void TestChessCollection::addPuzzle()
{
    QFETCH(QString, puzzle);
    QFETCH(QString, stored);
    const QByteArray before = FileOf({u"#Set"_s, u"#EPD"_s, kP1});
    PutFile(before);
    TChessCollection collection(Folder());
    QVERIFY(collection.LoadCollection(kID));

    QCOMPARE(collection.AddPuzzle(puzzle), !stored.isEmpty());
    if (stored.isEmpty()) {
        QCOMPARE(collection.GetCount(), 1);
        QCOMPARE(ReadBytes(Folder() + kFile), before);
        QVERIFY(!QFile::exists(Folder() + u"ToSend/"_s + kFile));
        return;
    }
    QCOMPARE(collection.GetCount(), 2);
    QCOMPARE(collection.GetChessItem(1)->ID(), 1);
    QCOMPARE(PuzzleAt(collection, 1)->Puzzle(), stored);
    const QByteArray after = FileOf({u"#Set"_s, u"#EPD"_s, kP1, stored});
    QCOMPARE(ReadBytes(Folder() + kFile), after);
    QCOMPARE(ReadBytes(Folder() + u"ToSend/"_s + kFile), after);
}

void TestChessCollection::deleteItem_data()
{
    QTest::addColumn<int>("idx");
    QTest::addColumn<QStringList>("left"); // empty when nothing is deleted
    QTest::newRow("first") << 0 << QStringList{kP2, kP3};
    QTest::newRow("last") << 2 << QStringList{kP1, kP2};
    QTest::newRow("equal to the count") << 3 << QStringList();
    QTest::newRow("negative") << -1 << QStringList();
}

void TestChessCollection::deleteItem()
{
    QFETCH(int, idx);
    QFETCH(QStringList, left);
    PutFile(FileOf({u"#Set"_s, u"#EPD"_s, kP1, kP2, kP3}));
    TChessCollection collection(Folder());
    QVERIFY(collection.LoadCollection(kID));

    QCOMPARE(collection.DeleteItem(idx), !left.isEmpty());
    if (left.isEmpty()) {
        QCOMPARE(collection.GetCount(), 3);
        QVERIFY(!QFile::exists(Folder() + u"ToSend/"_s + kFile)); // not saved
        return;
    }
    QCOMPARE(collection.GetCount(), 2);
    QCOMPARE(ReadBytes(Folder() + u"ToSend/"_s + kFile),
             FileOf(QStringList{u"#Set"_s, u"#EPD"_s} + left));
}

void TestChessCollection::findByIdAfterDeleteAndAdd()
{
    PutFile(FileOf({u"#Set"_s, kP1, kP2, kP3}));
    TChessCollection collection(Folder());
    QVERIFY(collection.LoadCollection(kID));
    QVERIFY(collection.DeleteItem(0));
    QVERIFY(collection.AddPuzzle(kP1));
    // FIDs are item counts at creation: 1, 2 and again 2.
    QCOMPARE(collection.GetChessItem(2)->ID(), 2);
    QCOMPARE(collection.FindByID(2), 2);
    QCOMPARE(collection.FindByID(1), 0);
    QCOMPARE(collection.FindByID(0), -1);
    QCOMPARE(collection.FindByID(3), -1);
    QVERIFY(!collection.GetChessItem(3));
    QVERIFY(!collection.GetChessItem(-1));
}

void TestChessCollection::saveFolders_data()
{
    QTest::addColumn<bool>("withHolder");
    QTest::newRow("the folder it was loaded from") << false;
    QTest::newRow("the settings holder's collections folder") << true;
}

void TestChessCollection::saveFolders()
{
    QFETCH(bool, withHolder);
    QTemporaryDir other;
    TConfig holder(other.path(), other.path());
    holder.setFolderCollections(other.path());
    PutFile(FileOf({u"#Set"_s, kP1}));

    TChessCollection collection(Folder(), withHolder ? &holder : nullptr);
    QVERIFY(collection.LoadCollection(kID));
    QVERIFY(collection.AddPuzzle(kP2));
    const QString target = withHolder ? other.path() + u'/' : Folder();
    const QByteArray expected = FileOf({u"#Set"_s, u"#EPD"_s, kP1, kP2});
    QCOMPARE(ReadBytes(target + kFile), expected);
    QCOMPARE(ReadBytes(target + u"ToSend/"_s + kFile), expected);
    if (withHolder) QVERIFY(!QFile::exists(Folder() + u"ToSend/"_s + kFile));
}

void TestChessCollection::failedWriteReported_data()
{
    QTest::addColumn<QString>("blocked"); // a folder standing where a file must go
    QTest::addColumn<bool>("toSendWritten");
    QTest::newRow("ToSend copy") << u"ToSend/"_s + kFile << false;
    QTest::newRow("collection file") << kFile << true;
}

void TestChessCollection::failedWriteReported()
{
    QFETCH(QString, blocked);
    QFETCH(bool, toSendWritten);
    const QByteArray before = FileOf({u"#Set"_s, u"#EPD"_s, kP1});
    PutFile(before);
    TChessCollection collection(Folder());
    QVERIFY(collection.LoadCollection(kID));
    if (blocked == kFile) QVERIFY(QFile::remove(Folder() + kFile));
    QVERIFY(QDir().mkpath(Folder() + blocked));

    QVERIFY(!collection.AddPuzzle(kP2));
    QVERIFY(!collection.SaveCollection());
    const QByteArray after = FileOf({u"#Set"_s, u"#EPD"_s, kP1, kP2});
    QCOMPARE(ReadBytes(Folder() + u"ToSend/"_s + kFile), toSendWritten ? after : QByteArray());
    if (blocked != kFile) QCOMPARE(ReadBytes(Folder() + kFile), before); // the old file stays whole
}

void TestChessCollection::loadAfterFileEndingInAGame()
{
    // The reader's place in the first file must not carry over into the next one.
    PutFile(FileOf({u"#Games"_s, u"#PGN"_s, u"1. e4 e5 *"_s}));
    PutFile(FileOf({kP1, kP2}), u"1700000000002.tvl"_s);
    TChessCollection collection(Folder());
    QVERIFY(collection.LoadCollection(kID));
    QVERIFY(collection.LoadCollection(kID + 1));
    QCOMPARE(collection.GetCountByType(ctlPuzzle), 2);
    QCOMPARE(PuzzleAt(collection, 0)->Puzzle(), kP1);
}

TAVLORA_REGISTER_TEST(TestChessCollection);
#include "tst_collection.moc"
