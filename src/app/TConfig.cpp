#include "TConfig.h"

#include "AppStoreLog.h"
#include "DataFolders.h"
#include "Lang.h"
#include "TAPIGetThread.h"
#include "TextFile.h"
#include "TWebScripts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QStandardPaths>

Q_LOGGING_CATEGORY(lcAppStore, "tavlora.app.store")

using DataFolders::CheckFolder;
using DataFolders::IncludeTrailingPathDelimiter;

namespace {

QJsonObject ParseObject(const QString& text)
{
    return QJsonDocument::fromJson(text.toUtf8()).object();
}

QString WithDelimiter(const QString& path)
{
    return path.isEmpty() ? path : IncludeTrailingPathDelimiter(path);
}

} // namespace

TConfig::TConfig(const QString& exeFolder, const QString& documentsFolder)
    : FJSSchool(ParseObject(DefaultJSSchool())), FJSRooms(ParseObject(DefaultJSRooms())),
      FServerAddress(TServerUrls::DefaultAddress())
{
    FExeFolder = WithDelimiter(exeFolder.isEmpty() && QCoreApplication::instance()
                                   ? QCoreApplication::applicationDirPath()
                                   : exeFolder);
    FDocumentsFolder =
        WithDelimiter(documentsFolder.isEmpty()
                          ? QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)
                          : documentsFolder);
}

TConfig::~TConfig()
{
    if (FLoaded) SaveParams();
    // The client stops its background thread before it goes.
    FAPIClient.reset();
}

TTVLApiClient& TConfig::CreateAPIClient()
{
    if (!FAPIClient) {
        FAPIClient = std::make_unique<TTVLApiClient>(ApiBaseUrl());
        FAPIClient->setLiveLinkBase(LiveLinkBaseUrl());
        FAPIClient->setToken(Token());
        FAPIClient->setRegCode(FRegCode);
    }
    return *FAPIClient;
}

bool TConfig::SignIn(TSignInUi* ui)
{
    TTVLApiClient& client = CreateAPIClient();
    client.setSignInUi(ui);
    const bool connected = client.Connect();
    client.setSignInUi(nullptr); // the dialogs may not outlive this call
    if (!connected) return false;

    // Kept only now, so a sign-in that failed leaves the stored identity alone.
    FRegCode = client.RegCode();
    setToken(client.Token());
    if (!SaveParams()) qCWarning(lcAppStore) << "the account could not be saved in" << ParamsPath();

    if (TAPIGetThread* old = client.ThreadAPIGet()) {
        old->StopAndWait();
        delete old;
    }
    auto* thread = new TAPIGetThread(client);
    client.setThreadAPIGet(thread);
    thread->setToken(client.Token());
    thread->setFreeOnTerminate(true);
    thread->start();
    return true;
}

QString TConfig::DefaultJSSchool()
{
    return QStringLiteral("{\"success\":1,\"count\":1,\"0\":{\"school_id\":0,\"school_code\":"
                          "\"Own\",\"school_name\":\"Own\",\"is_admin\":1}}");
}

QString TConfig::DefaultJSRooms()
{
    return QStringLiteral("{\"success\":1,\"count\":0, \"loaded\":0}");
}

QString TConfig::DefaultDataFolder() const
{
    return FDocumentsFolder + QStringLiteral("Tavlora/");
}

QString TConfig::ParamsPath() const
{
    return FExeFolder + QStringLiteral("params.dat");
}

QString TConfig::VerInfo()
{
    QString text;
    TextFile::ReadText(QStringLiteral(":/app/VER_INFO"), text);
    return TextFile::SplitLines(text).value(0).trimmed();
}

QString TConfig::ActualVersion()
{
    const QString version = TWebScripts(WebSiteBaseUrl()).LastVersion();
    const bool differs = version != VerInfo();
    if (OnUpdateButtonVisible) OnUpdateButtonVisible(differs);
    if (OnVersionLabelUnderlined) OnVersionLabelUnderlined(differs);
    return version;
}

void TConfig::setFolderData(const QString& path)
{
    FFolderData = WithDelimiter(path);
}

void TConfig::setFolderLanguage(const QString& path)
{
    FFolderLanguage = WithDelimiter(path);
}

void TConfig::setFolderCollections(const QString& path)
{
    FFolderCollections = WithDelimiter(path);
}

void TConfig::setFolderRooms(const QString& path)
{
    FFolderRooms = WithDelimiter(path);
}

void TConfig::setFolderUsers(const QString& path)
{
    FFolderUsers = WithDelimiter(path);
}

void TConfig::setFolderSounds(const QString& path)
{
    FFolderSounds = WithDelimiter(path);
}

void TConfig::setServerAddress(const QString& address)
{
    const QString trimmed = address.trimmed();
    FServerAddress = trimmed.isEmpty() ? TServerUrls::DefaultAddress() : trimmed;
    if (FAPIClient) {
        FAPIClient->setApiBase(ApiBaseUrl());
        FAPIClient->setLiveLinkBase(LiveLinkBaseUrl());
    }
}

void TConfig::LoadParams()
{
    if (QFile::exists(ParamsPath()))
        FLastLoad = ParamsFile::Load(ParamsPath(), FParams);
    else
        FLastLoad = ParamsFile::TLoad::Missing;

    // PathLessons is the rooms folder's earlier name: PathRooms, read after it, wins.
    const std::pair<const char*, QString TConfig::*> folders[] = {
        {"PathToData", &TConfig::FFolderData},
        {"PathTranslate", &TConfig::FFolderLanguage},
        {"PathCollections", &TConfig::FFolderCollections},
        {"PathLessons", &TConfig::FFolderRooms},
        {"PathRooms", &TConfig::FFolderRooms},
        {"PathUsers", &TConfig::FFolderUsers},
        {"PathSounds", &TConfig::FFolderSounds},
    };
    for (const auto& [key, folder] : folders) {
        const QString value = FParams.Value(QLatin1String(key));
        if (!value.trimmed().isEmpty()) this->*folder = IncludeTrailingPathDelimiter(value);
    }

    CheckFolders();
    DataFolders::SeedSoundFolder(FFolderSounds);

    FActiveLanguage = FParams.Value(QStringLiteral("ActiveLanguage"));
    FRegCode = FParams.Value(QStringLiteral("RegCode"));
    FLiChessUserName = FParams.Value(QStringLiteral("LiChessUserName"));
    FLiChessUserClub = FParams.Value(QStringLiteral("LiChessUserClub"));
    FLiChessToken = FParams.Value(QStringLiteral("LiChessToken"));
    FSelectedCollection = FParams.Value(QStringLiteral("SelectedCollection"));
    setServerAddress(FParams.Value(QStringLiteral("ServerAddress")));

    SetLanguageFolder(FFolderLanguage);
    LoadLanguage(FActiveLanguage);
    FLoaded = true;
}

bool TConfig::SaveParams()
{
    const std::pair<const char*, const QString*> values[] = {
        {"PathToData", &FFolderData},
        {"PathTranslate", &FFolderLanguage},
        {"PathCollections", &FFolderCollections},
        {"PathRooms", &FFolderRooms},
        {"PathUsers", &FFolderUsers},
        {"PathSounds", &FFolderSounds},
        {"ActiveLanguage", &FActiveLanguage},
        {"SelectedCollection", &FSelectedCollection},
        {"RegCode", &FRegCode},
        {"LiChessUserName", &FLiChessUserName},
        {"LiChessUserClub", &FLiChessUserClub},
        {"LiChessToken", &FLiChessToken},
        {"ServerAddress", &FServerAddress},
    };
    for (const auto& [key, value] : values)
        FParams.SetValue(QLatin1String(key), *value); // an empty value removes its line
    return ParamsFile::Save(ParamsPath(), FParams);
}

void TConfig::CheckFolderOrDefault(QString& folder, const QString& name)
{
    if (CheckFolder(folder, true)) return;
    folder = FFolderData + name + DataFolders::kDelimiter;
    CheckFolder(folder, true); // a default that cannot be made stays all the same
}

void TConfig::CheckFolders()
{
    if (!CheckFolder(FFolderData, true)) {
        FFolderData = DefaultDataFolder();
        // A new account may have no documents folder yet; the data folder goes inside it.
        QDir().mkpath(FDocumentsFolder);
        CheckFolder(FFolderData, true);
    }
    CheckFolderOrDefault(FFolderLanguage, QStringLiteral("Translate"));
    CheckFolderOrDefault(FFolderCollections, QStringLiteral("Collections"));
    // Changed files are copied into ToSend at once, so it has to exist whenever its folder does.
    if (CheckFolder(FFolderCollections, false))
        CheckFolder(FFolderCollections + QStringLiteral("ToSend/"), true);
    FFolderRooms = DataFolders::MigrateLessonsFolder(FFolderRooms);
    CheckFolderOrDefault(FFolderRooms, QStringLiteral("Rooms"));
    if (CheckFolder(FFolderRooms, false))
        CheckFolder(FFolderRooms + QStringLiteral("ToSend/"), true);
    CheckFolderOrDefault(FFolderUsers, QStringLiteral("Users"));
    CheckFolderOrDefault(FFolderSounds, QStringLiteral("Sounds"));
}

int TConfig::FillLanguageList(QStringList& items)
{
    SetLanguageFolder(FFolderLanguage);
    ::FillLanguageList(items);
    // The tag takes the language that is loaded now (a code without a table became "en").
    FActiveLanguage = ActiveLanguageCode();
    const int index = FindLanguageItem(items, FActiveLanguage);
    if (index >= 0) SelectLanguage(items[index]);
    LoadLanguage(FActiveLanguage); // now from the files just written
    return index;
}

bool TConfig::SelectLanguage(const QString& displayName)
{
    const QString code = LanguageCodeOfItem(displayName);
    if (code == FActiveLanguage) return false;
    FActiveLanguage = code;
    LoadLanguage(code);
    return true;
}
