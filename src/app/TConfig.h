#pragma once

#include "ParamsFile.h"
#include "TNameValueList.h"
#include "TServerUrls.h"
#include "TTVLApiClient.h"

#include <functional>
#include <memory>
#include <QJsonObject>
#include <QString>
#include <QStringList>

// The settings holder: the settings list and its file params.dat, the data folders, the account
// code, the server's lists and the version texts. It lives for the whole run; the settings
// window is a view over it. UI thread only.
class TSignInUi;

class TConfig
{
public:
    // Empty folders mean Qt's: the executable's folder and the user's documents folder.
    explicit TConfig(const QString& exeFolder = QString(),
                     const QString& documentsFolder = QString());
    // Saves the settings once more when they were loaded.
    ~TConfig();
    TConfig(const TConfig&) = delete;
    TConfig& operator=(const TConfig&) = delete;

    // Reads params.dat into the list and the list into the holder, checks and creates the
    // folders, seeds the sound folder and loads the active language.
    void LoadParams();
    // Writes the holder into the list and the list into params.dat; false when the file could
    // not be written.
    bool SaveParams();
    // Falls back to the default of every folder that cannot be used or created.
    void CheckFolders();
    // The one API client of the process; none before CreateAPIClient.
    TTVLApiClient* APIClient() const { return FAPIClient.get(); }
    // Creates the API client (once) for the server of the settings and gives it the stored token
    // and account code. Start-up calls it after the settings and the language are loaded.
    TTVLApiClient& CreateAPIClient();
    // The sign-in of the holder's creation: Connect, with the dialogs of ui (none: only a stored
    // account code and token can connect); then the account code and token are kept and the
    // settings saved, and the background API thread starts with the token. False without a
    // connection, in which case the program does not start.
    bool SignIn(TSignInUi* ui);

    // How the last LoadParams found params.dat.
    ParamsFile::TLoad LastLoad() const { return FLastLoad; }

    // The settings list, shared by every part that keeps a setting; saved as a whole.
    TNameValueList& Params() { return FParams; }
    const TNameValueList& Params() const { return FParams; }

    // Where the language choice and the folder pickers of the settings window meet the holder.
    // Fills the items with the built-in languages (writing their files) and gives the index
    // to select for the current language, -1 for none.
    int FillLanguageList(QStringList& items);
    // The choice of a language by its display name; true when it changed and was loaded.
    bool SelectLanguage(const QString& displayName);

    // The folder edit boxes; a set path gets its trailing delimiter.
    QString FolderData() const { return FFolderData; }
    QString FolderLanguage() const { return FFolderLanguage; }
    QString FolderCollections() const { return FFolderCollections; }
    QString FolderRooms() const { return FFolderRooms; }
    QString FolderUsers() const { return FFolderUsers; }
    QString FolderSounds() const { return FFolderSounds; }
    void setFolderData(const QString& path);
    void setFolderLanguage(const QString& path);
    void setFolderCollections(const QString& path);
    void setFolderRooms(const QString& path);
    void setFolderUsers(const QString& path);
    void setFolderSounds(const QString& path);

    QString DataPath() const { return FFolderData; }
    QString CollectionPath() const { return FFolderCollections; }
    QString LessonsPath() const { return FFolderRooms; }
    QString SoundsPath() const { return FFolderSounds; }

    // The own version: the first line of the built-in VER_INFO.
    static QString VerInfo();
    // The newest published version, asked anew at every reading; empty when none came. Each
    // reading tells the settings window whether it differs from VerInfo.
    QString ActualVersion();
    std::function<void(bool visible)> OnUpdateButtonVisible;       // sbUpdateExe
    std::function<void(bool underlined)> OnVersionLabelUnderlined; // lblVerInfo

    QString ActiveLanguage() const { return FActiveLanguage; } // the language box's tag
    void setActiveLanguage(const QString& code) { FActiveLanguage = code; }
    QString RegCode() const { return FRegCode; } // the account code, shown in lblRegCode
    void setRegCode(const QString& code) { FRegCode = code; }
    // The access token lives in the settings list itself.
    QString Token() const { return FParams.Value(QStringLiteral("Token")); }
    void setToken(const QString& token) { FParams.SetValue(QStringLiteral("Token"), token); }
    QString LiChessUserName() const { return FLiChessUserName; }
    QString LiChessUserClub() const { return FLiChessUserClub; }
    QString LiChessToken() const { return FLiChessToken; }
    void setLiChessUserName(const QString& value) { FLiChessUserName = value; }
    void setLiChessUserClub(const QString& value) { FLiChessUserClub = value; }
    void setLiChessToken(const QString& value) { FLiChessToken = value; }
    QString SelectedCollection() const { return FSelectedCollection; }
    void setSelectedCollection(const QString& tag) { FSelectedCollection = tag; }

    // The board service: the address as set, and what is derived from it.
    QString ServerAddress() const { return FServerAddress; }
    void setServerAddress(const QString& address);
    TServerUrls ServerUrls() const { return TServerUrls::FromAddress(FServerAddress); }
    QUrl ApiBaseUrl() const { return ServerUrls().Api; }
    QUrl LiveLinkBaseUrl() const { return ServerUrls().LiveLink; }
    QUrl WebSiteBaseUrl() const { return ServerUrls().WebSite; }

    QStringList& CollectionsOnServer() { return FCollectionsOnServer; }
    QStringList& RoomsOnServer() { return FRoomsOnServer; }
    QJsonObject& JSSchool() { return FJSSchool; }
    QJsonObject& JSRooms() { return FJSRooms; }
    static QString DefaultJSSchool();
    static QString DefaultJSRooms();

    QString ExeFolder() const { return FExeFolder; }
    QString DocumentsFolder() const { return FDocumentsFolder; }
    QString DefaultDataFolder() const;
    QString ParamsPath() const;

private:
    void CheckFolderOrDefault(QString& folder, const QString& name);

    // The holder's state, in the order of its design.
    QStringList FCollectionsOnServer;
    QString FSelectedCollection;
    QStringList FRoomsOnServer;
    // Created after the first LoadParams, released before the lists below.
    std::unique_ptr<TTVLApiClient> FAPIClient;
    QJsonObject FJSSchool;
    QJsonObject FJSRooms;

    // What the settings window shows in its controls.
    QString FFolderData;
    QString FFolderLanguage;
    QString FFolderCollections;
    QString FFolderRooms;
    QString FFolderUsers;
    QString FFolderSounds;
    QString FActiveLanguage;
    QString FRegCode;
    QString FLiChessUserName;
    QString FLiChessUserClub;
    QString FLiChessToken;
    QString FServerAddress;

    TNameValueList FParams;
    QString FExeFolder;
    QString FDocumentsFolder;
    ParamsFile::TLoad FLastLoad = ParamsFile::TLoad::Missing;
    bool FLoaded = false;
};
