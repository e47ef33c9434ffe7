#include "BuiltInSounds.h"
#include "Lang.h"
#include "ParamsFile.h"
#include "TConfig.h"
#include "TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

// An executable folder and a documents folder of their own for every test.
struct TFolders
{
    QTemporaryDir Root;
    QString Exe = Root.filePath("bin/");
    QString Documents = Root.filePath("home/Documents/");

    TFolders()
    {
        QDir().mkpath(Exe);
        QDir().mkpath(Documents);
    }
    QString Data() const { return Documents + "Tavlora/"; }
    QString Params() const { return Exe + "params.dat"; }
    void WriteParams(const QStringList& lines) const
    {
        QVERIFY(ParamsFile::Save(Params(), TNameValueList(lines)));
    }
    TNameValueList ReadParams() const
    {
        TNameValueList list;
        ParamsFile::Load(Params(), list);
        return list;
    }
};

QByteArray ReadBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class TestConfig : public QObject
{
    Q_OBJECT
private slots:
    void firstRun_data();
    void firstRun();
    void everyKeyRoundTrips();
    void emptyValueRemovesItsLine();
    void storedFolders_data();
    void storedFolders();
    void lessonsFolderMigrates();
    void soundFolderKeepsUserFiles();
    void unreadableParamsStartFromDefaults();
    void languageChoice();
    void serverAddress_data();
    void serverAddress();
};

void TestConfig::firstRun_data()
{
    QTest::addColumn<bool>("documentsExist");
    QTest::newRow("documents folder exists") << true;
    QTest::newRow("new account without a documents folder") << false;
}

void TestConfig::firstRun()
{
    QFETCH(bool, documentsExist);
    TFolders folders;
    if (!documentsExist) QDir(folders.Documents).removeRecursively();
    {
        TConfig config(folders.Exe, folders.Documents);
        config.LoadParams();
        QCOMPARE(config.LastLoad(), ParamsFile::TLoad::Missing);
        QCOMPARE(config.DataPath(), folders.Data());
        QCOMPARE(config.FolderLanguage(), folders.Data() + "Translate/");
        QCOMPARE(config.CollectionPath(), folders.Data() + "Collections/");
        QCOMPARE(config.LessonsPath(), folders.Data() + "Rooms/");
        QCOMPARE(config.FolderUsers(), folders.Data() + "Users/");
        QCOMPARE(config.SoundsPath(), folders.Data() + "Sounds/");
        for (const char* sub :
             {"Translate", "Collections/ToSend", "Rooms/ToSend", "Users", "Sounds"})
            QVERIFY2(QFileInfo(folders.Data() + sub).isDir(), sub);
        for (const QString& name : BuiltInSounds::Names())
            QCOMPARE(ReadBytes(config.SoundsPath() + name + ".wav"), BuiltInSounds::Data(name));
        QCOMPARE(ActiveLanguageCode(), "en");
        QCOMPARE(Lang("frmConfig"), "Settings"); // the built-in table: no files yet
        QCOMPARE(config.RegCode(), "");
        QCOMPARE(config.ServerAddress(), "http://127.0.0.1");
        QCOMPARE(config.JSSchool().value("0").toObject().value("school_code").toString(), "Own");
        QCOMPARE(config.JSRooms().value("loaded").toInt(), 0);
        QVERIFY(!QFile::exists(folders.Params())); // written at the first save
    }
    // Destroying a loaded holder saves.
    QCOMPARE(folders.ReadParams().Value("PathToData"), folders.Data());
}

void TestConfig::everyKeyRoundTrips()
{
    TFolders folders;
    const QString own = folders.Root.filePath("own/");
    for (const char* sub : {"", "data", "lang", "coll", "rooms", "users", "sounds"})
        QDir().mkpath(own + sub);
    QStringList written;
    {
        TConfig config(folders.Exe, folders.Documents);
        config.LoadParams();
        config.Params().SetValue("MainFormLeft", "120"); // keys of other parts go along
        config.setFolderData(own + "data");
        config.setFolderLanguage(own + "lang");
        config.setFolderCollections(own + "coll/");
        config.setFolderRooms(own + "rooms");
        config.setFolderUsers(own + "users");
        config.setFolderSounds(own + "sounds");
        config.setActiveLanguage("ru");
        config.setRegCode("6f1c0e2a-0000-4000-8000-00000000abcd");
        config.setToken("0a1b2c3d-0000-4000-8000-000000000001");
        config.setLiChessUserName("coach");
        config.setLiChessUserClub("club=1"); // "=" inside a value
        config.setLiChessToken("lip_x");
        config.setSelectedCollection("1718000000001");
        config.setServerAddress("https://lessons.school.example");
        QVERIFY(config.SaveParams());
        written = config.Params().Lines();
    }
    TConfig config(folders.Exe, folders.Documents);
    config.LoadParams();
    QCOMPARE(config.LastLoad(), ParamsFile::TLoad::Loaded);
    QCOMPARE(config.Params().Lines(), written); // every line, in its order
    QCOMPARE(config.Params().Name(0), "MainFormLeft");
    QCOMPARE(config.FolderData(), own + "data/");
    QCOMPARE(config.FolderLanguage(), own + "lang/");
    QCOMPARE(config.CollectionPath(), own + "coll/");
    QCOMPARE(config.LessonsPath(), own + "rooms/");
    QCOMPARE(config.FolderUsers(), own + "users/");
    QCOMPARE(config.SoundsPath(), own + "sounds/");
    QCOMPARE(config.ActiveLanguage(), "ru");
    QCOMPARE(config.RegCode(), "6f1c0e2a-0000-4000-8000-00000000abcd");
    QCOMPARE(config.Token(), "0a1b2c3d-0000-4000-8000-000000000001");
    QCOMPARE(config.LiChessUserName(), "coach");
    QCOMPARE(config.LiChessUserClub(), "club=1");
    QCOMPARE(config.LiChessToken(), "lip_x");
    QCOMPARE(config.SelectedCollection(), "1718000000001");
    QCOMPARE(config.ServerAddress(), "https://lessons.school.example");
    QCOMPARE(config.Params().Value("mainformleft"), "120"); // names ignore letter case
}

void TestConfig::emptyValueRemovesItsLine()
{
    TFolders folders;
    TConfig config(folders.Exe, folders.Documents);
    config.LoadParams();
    config.setLiChessToken("secret");
    config.setRegCode("code");
    QVERIFY(config.SaveParams());
    QCOMPARE(folders.ReadParams().Value("LiChessToken"), "secret");
    config.setLiChessToken(QString());
    QVERIFY(config.SaveParams());
    const TNameValueList saved = folders.ReadParams();
    QCOMPARE(saved.IndexOfName("LiChessToken"), -1);
    QCOMPARE(saved.Value("RegCode"), "code");
}

void TestConfig::storedFolders_data()
{
    QTest::addColumn<QString>("stored");   // "@" stands for the test's root folder
    QTest::addColumn<QString>("expected"); // "default" for the default collections folder
    QTest::newRow("usable, gets its delimiter") << "@/mine"
                                                << "@/mine/";
    QTest::newRow("missing, one level is created") << "@/new"
                                                   << "@/new/";
    QTest::newRow("blanks only") << "   "
                                 << "default";
    QTest::newRow("one character") << "/"
                                   << "default";
    QTest::newRow("two characters with the delimiter") << "x"
                                                       << "default";
    QTest::newRow("missing parent") << "@/no/such/parent"
                                    << "default";
    QTest::newRow("wildcard") << "@/a*b"
                              << "default";
    QTest::newRow("question mark") << "@/a?b"
                                   << "default";
    QTest::newRow("control character") << "@/a\tb"
                                       << "default";
    QTest::newRow("relative") << "relative/folder"
                              << "default";
    QTest::newRow("a file, not a folder") << "@/file.txt"
                                          << "default";
}

void TestConfig::storedFolders()
{
    QFETCH(QString, stored);
    QFETCH(QString, expected);
    TFolders folders;
    const QString root = folders.Root.path();
    QDir().mkpath(root + "/mine");
    WriteBytes(root + "/file.txt", "x");
    stored.replace("@", root);
    expected =
        expected == "default" ? folders.Data() + "Collections/" : expected.replace("@", root);
    folders.WriteParams({"PathCollections=" + stored});
    TConfig config(folders.Exe, folders.Documents);
    config.LoadParams();
    QCOMPARE(config.CollectionPath(), expected);
    QVERIFY(QFileInfo(expected + "ToSend").isDir());
    QVERIFY(!QFileInfo::exists(root + "/a*b"));
}

void TestConfig::lessonsFolderMigrates()
{
    TFolders folders;
    const QString parent = folders.Root.filePath("school/");
    QDir().mkpath(parent + "Lessons/sub");
    QDir().mkpath(parent + "Rooms");
    WriteBytes(parent + "Lessons/a.lsn", "room a");
    WriteBytes(parent + "Lessons/b.LSN", "room b");
    WriteBytes(parent + "Lessons/c.lsn", "room c, old copy");
    WriteBytes(parent + "Lessons/notes.txt", "not a room");
    WriteBytes(parent + "Lessons/sub/d.lsn", "in a subfolder");
    WriteBytes(parent + "Rooms/c.room", "room c, newer"); // already migrated once
    folders.WriteParams({"PathLessons=" + parent + "Lessons"});

    TConfig config(folders.Exe, folders.Documents);
    config.LoadParams();
    QCOMPARE(config.LessonsPath(), parent + "Rooms/");
    QCOMPARE(ReadBytes(parent + "Rooms/a.room"), "room a");
    QCOMPARE(ReadBytes(parent + "Rooms/ToSend/a.room"), "room a");
    QCOMPARE(ReadBytes(parent + "Rooms/b.room"), "room b");
    QCOMPARE(ReadBytes(parent + "Rooms/c.room"), "room c, newer"); // never overwritten
    QCOMPARE(ReadBytes(parent + "Rooms/ToSend/c.room"), "room c, old copy");
    QCOMPARE(QDir(parent + "Rooms").entryList(QDir::Files).size(), 3);
    QCOMPARE(QDir(parent + "Rooms/ToSend").entryList(QDir::Files).size(), 3);
    QVERIFY(QFile::exists(parent + "Lessons/a.lsn")); // the old folder stays
    QVERIFY(config.SaveParams());
    QCOMPARE(folders.ReadParams().Value("PathRooms"), parent + "Rooms/");

    // PathRooms, read after PathLessons, wins: nothing is migrated.
    const QString rooms = folders.Root.filePath("rooms2/");
    QDir().mkpath(rooms);
    folders.WriteParams({"PathLessons=" + parent + "Lessons/", "PathRooms=" + rooms});
    QFile::remove(parent + "Rooms/a.room");
    TConfig again(folders.Exe, folders.Documents);
    again.LoadParams();
    QCOMPARE(again.LessonsPath(), rooms);
    QVERIFY(!QFile::exists(parent + "Rooms/a.room"));
}

void TestConfig::soundFolderKeepsUserFiles()
{
    TFolders folders;
    TConfig config(folders.Exe, folders.Documents);
    config.LoadParams();
    const QString sounds = config.SoundsPath();
    WriteBytes(sounds + "NewMove.wav", "the user's own sound");
    QVERIFY(QFile::remove(sounds + "Checkmate.wav"));
    config.LoadParams();
    QCOMPARE(ReadBytes(sounds + "NewMove.wav"), "the user's own sound");
    QCOMPARE(ReadBytes(sounds + "Checkmate.wav"), BuiltInSounds::Data("Checkmate"));
}

void TestConfig::unreadableParamsStartFromDefaults()
{
    TFolders folders;
    const QByteArray junk("\x78\x9C not really deflate data", 27);
    WriteBytes(folders.Params(), junk);
    TConfig config(folders.Exe, folders.Documents);
    config.LoadParams();
    QCOMPARE(config.LastLoad(), ParamsFile::TLoad::Unreadable);
    QCOMPARE(config.DataPath(), folders.Data());
    QCOMPARE(ReadBytes(folders.Params() + ".bad"), junk);
    QVERIFY(config.SaveParams());
    QCOMPARE(folders.ReadParams().Value("PathToData"), folders.Data());
    QCOMPARE(ReadBytes(folders.Params() + ".bad"), junk);
}

void TestConfig::languageChoice()
{
    TFolders folders;
    folders.WriteParams({"ActiveLanguage=de"});
    {
        TConfig config(folders.Exe, folders.Documents);
        config.LoadParams();
        QCOMPARE(ActiveLanguageCode(), "en"); // no de.lng
        QStringList items;
        QCOMPARE(config.FillLanguageList(items), 0);
        QCOMPARE(items.size(), 2);
        QVERIFY(QFile::exists(config.FolderLanguage() + "ru.lng"));
        QCOMPARE(config.ActiveLanguage(), "en");
        QVERIFY(!config.SelectLanguage(items[0]));
        QVERIFY(config.SelectLanguage(items[1]));
        QCOMPARE(ActiveLanguageCode(), "ru");
        QCOMPARE(Lang("frmConfig"), QStringLiteral("Настройки"));
        QVERIFY(config.SaveParams());
    }
    QCOMPARE(folders.ReadParams().Value("ActiveLanguage"), "ru");
    TConfig config(folders.Exe, folders.Documents);
    config.LoadParams();
    QCOMPARE(ActiveLanguageCode(), "ru"); // from the file written before
    QStringList items;
    QCOMPARE(config.FillLanguageList(items), 1);
}

void TestConfig::serverAddress_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("api");
    QTest::addColumn<QString>("live");
    QTest::addColumn<QString>("web");
    QTest::newRow("default") << ""
                             << "http://127.0.0.1:13208"
                             << "ws://127.0.0.1:13207/ws/"
                             << "http://127.0.0.1:13208/addon_v3/";
    QTest::newRow("https host") << "https://lessons.school.example"
                                << "https://lessons.school.example:13208"
                                << "wss://lessons.school.example:13207/ws/"
                                << "https://lessons.school.example:13208/addon_v3/";
    QTest::newRow("address in the school") << " http://192.168.1.20 "
                                           << "http://192.168.1.20:13208"
                                           << "ws://192.168.1.20:13207/ws/"
                                           << "http://192.168.1.20:13208/addon_v3/";
    QTest::newRow("no scheme, own API port") << "board.example:8443"
                                             << "http://board.example:8443"
                                             << "ws://board.example:13207/ws/"
                                             << "http://board.example:8443/addon_v3/";
    QTest::newRow("IPv6 with a path") << "HTTPS://[::1]:9000/some/path"
                                      << "https://[::1]:9000"
                                      << "wss://[::1]:13207/ws/"
                                      << "https://[::1]:9000/addon_v3/";
    QTest::newRow("other scheme") << "ftp://files.example"
                                  << "http://127.0.0.1:13208"
                                  << "ws://127.0.0.1:13207/ws/"
                                  << "http://127.0.0.1:13208/addon_v3/";
    QTest::newRow("port 0") << "board.example:0"
                            << "http://127.0.0.1:13208"
                            << "ws://127.0.0.1:13207/ws/"
                            << "http://127.0.0.1:13208/addon_v3/";
    QTest::newRow("no host") << "http://"
                             << "http://127.0.0.1:13208"
                             << "ws://127.0.0.1:13207/ws/"
                             << "http://127.0.0.1:13208/addon_v3/";
    QTest::newRow("garbage") << "not an address at all"
                             << "http://127.0.0.1:13208"
                             << "ws://127.0.0.1:13207/ws/"
                             << "http://127.0.0.1:13208/addon_v3/";
}

void TestConfig::serverAddress()
{
    QFETCH(QString, address);
    QFETCH(QString, api);
    QFETCH(QString, live);
    QFETCH(QString, web);
    TConfig config(QDir::tempPath(), QDir::tempPath());
    config.setServerAddress(address);
    QCOMPARE(config.ApiBaseUrl().toString(), api);
    QCOMPARE(config.LiveLinkBaseUrl().toString(), live);
    QCOMPARE(config.WebSiteBaseUrl().toString(), web);
}

TAVLORA_REGISTER_TEST(TestConfig);
#include "tst_config.moc"
