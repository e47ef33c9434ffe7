#pragma once

// What the synchronisation and upload tests share: a settings holder over temporary folders
// whose API client is signed in to the real service, files put on the service, and a way to
// make a folder whose entries cannot be deleted or moved, also for root.

#include "ServerFixture.h"
#include "TConfig.h"
#include "TextFile.h"

#include <memory>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <unistd.h>

namespace SyncFixture {

inline QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

inline bool WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

inline QString Md5(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

inline QJsonObject Json(const QStringList& lines)
{
    return QJsonDocument::fromJson(lines.join(u'\n').toUtf8()).object();
}

// An address where nothing listens: connecting is refused at once.
inline QUrl ClosedPortUrl()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port));
}

// A settings holder over fresh folders: Data/, Collections/ and Rooms/ (each with ToSend/).
struct THolder
{
    QTemporaryDir Dir;
    std::unique_ptr<TConfig> Config;

    explicit THolder(const QUrl& apiBase)
    {
        const QString root = Dir.path() + u'/';
        for (const char* folder : {"exe", "Data", "Collections/ToSend", "Rooms/ToSend"})
            QDir().mkpath(root + QLatin1String(folder));
        Config = std::make_unique<TConfig>(root + "exe", root + "docs");
        Config->setFolderData(root + "Data");
        Config->setFolderCollections(root + "Collections");
        Config->setFolderRooms(root + "Rooms");
        Config->setServerAddress(apiBase.toString());
        Config->CreateAPIClient();
    }

    TTVLApiClient& Client() { return *Config->APIClient(); }
    QString Data() const { return Config->DataPath(); }
    QString Collections() const { return Config->CollectionPath(); }
    QString Rooms() const { return Config->LessonsPath(); }
    QString Folder(bool room) const { return room ? Rooms() : Collections(); }

    // A fresh account on the service, signed in by the code way.
    bool SignIn(const TServiceProcess& service, const QString& email)
    {
        Client().setRegCode(service.AddAccount(email));
        return ServerFixture::SignInByCode(Client(), service, email);
    }
};

inline QString Extension(bool room)
{
    return room ? QStringLiteral(".room") : QStringLiteral(".tvl");
}

// The content a local change or the server holds, as the program writes it.
inline QByteArray Content(bool room, const QString& name)
{
    return room ? TextFile::EncodeUtf8Bom(QStringList{"NameRoom=" + name, "Collection1=1"})
                : TextFile::EncodeUtf8Bom(QStringList{
                      "#" + name, "#EPD", "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - bm Rd8#;"});
}

// A new collection or room on the service holding bytes; its identifier, empty on failure.
inline QString PutOnServer(TTVLApiClient& client, bool room, const QByteArray& bytes)
{
    const QString id = room ? client.NewRoom("Room") : client.CreateNewCollection("Tasks", "Own");
    if (id.isEmpty()) return id;
    QTemporaryDir upload;
    const QString path = upload.filePath(id + Extension(room));
    if (!WriteAll(path, bytes)) return QString();
    return (room ? client.UploadRoom(path) : client.UploadCollection(path)) ? id : QString();
}

// The service's digest of a file, empty when it does not list it.
inline QString Md5OnServer(TTVLApiClient& client, bool room, const QString& id)
{
    TNameValueList list;
    if (!(room ? client.GetRooms(list) : client.GetCollections(list))) return QString();
    return Json(list.Lines()).value(id).toObject().value("md5_hash").toString();
}

// A folder whose entries can be neither deleted nor moved nor added, until unlocked: the
// immutable attribute for root (who ignores permissions), no write permission otherwise.
class TFolderLock
{
public:
    explicit TFolderLock(const QString& folder) : FFolder(folder)
    {
        if (geteuid() == 0)
            FLocked = QProcess::execute(QStringLiteral("chattr"), {"+i", folder}) == 0;
        else
            FLocked = QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
        // Prove it: a file that cannot be made here cannot be deleted here either.
        if (FLocked && WriteAll(folder + "/probe", "x")) {
            QFile::remove(folder + "/probe");
            Unlock();
        }
    }
    ~TFolderLock() { Unlock(); }
    bool Locked() const { return FLocked; }
    void Unlock()
    {
        if (!FLocked) return;
        if (geteuid() == 0)
            QProcess::execute(QStringLiteral("chattr"), {"-i", FFolder});
        else
            QFile::setPermissions(FFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        FLocked = false;
    }

private:
    QString FFolder;
    bool FLocked = false;
};

} // namespace SyncFixture
