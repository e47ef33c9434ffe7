#include "TUploadThread.h"

#include "CollectionsLog.h"
#include "IUploadReport.h"
#include "Lang.h"
#include "PendingFiles.h"
#include "TTVLApiClient.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

constexpr int kCollectionNameLength = 13;
constexpr int kRoomNameLength = 10;

} // namespace

TUploadThread::TUploadThread(TTVLApiClient& Client, QObject* parent)
    : TServerThread(parent), FClient(Client)
{
    setObjectName(QStringLiteral("TUploadThread"));
}

TUploadThread::~TUploadThread()
{
    // Here, not in the base: the loop uses the members below, which go before the base does.
    if (isRunning() && !StopAndWait(10000)) {
        qCCritical(lcCollections) << "the upload thread did not end; waiting on";
        wait();
    }
}

QString TUploadThread::CollectionsPathToSend() const
{
    QMutexLocker lock(&FPathsLock);
    return FCollectionsPathToSend;
}

void TUploadThread::setCollectionsPathToSend(const QString& Value)
{
    QMutexLocker lock(&FPathsLock);
    FCollectionsPathToSend = PendingFiles::WithDelimiter(Value);
}

QString TUploadThread::RoomsPathToSend() const
{
    QMutexLocker lock(&FPathsLock);
    return FRoomsPathToSend;
}

void TUploadThread::setRoomsPathToSend(const QString& Value)
{
    QMutexLocker lock(&FPathsLock);
    FRoomsPathToSend = PendingFiles::WithDelimiter(Value);
}

QString TUploadThread::UserUUID() const
{
    QMutexLocker lock(&FPathsLock);
    return FUserUUID;
}

void TUploadThread::setUserUUID(const QString& Value)
{
    QMutexLocker lock(&FPathsLock);
    FUserUUID = Value;
}

void TUploadThread::run()
{
    while (!isInterruptionRequested()) {
        const QString collections = CollectionsPathToSend();
        const QString rooms = RoomsPathToSend();
        FCollectionsList = ListPending(collections, QStringLiteral(".tvl"));
        FRoomsList = ListPending(rooms, QStringLiteral(".room"));
        const int count = int(FCollectionsList.size() + FRoomsList.size());
        FCountToSend.store(count);
        if (!FCollectionsList.isEmpty())
            HandleFile(collections, FCollectionsList.first(), TKind::Collection);
        if (!FRoomsList.isEmpty()) HandleFile(rooms, FRoomsList.first(), TKind::Room);
        ++FPassCount;
        Report(count);
        Pause(kPassPauseMs);
    }
}

QStringList TUploadThread::ListPending(const QString& Folder, const QString& Extension)
{
    // An empty folder would read as the working directory.
    if (Folder.isEmpty()) return {};
    QStringList files = QDir(Folder).entryList({u'*' + Extension}, QDir::Files, QDir::Name);
    if (!FStuck.isEmpty())
        files.removeIf(
            [&](const QString& name) { return FStuck.contains(StuckKey(Folder + name)); });
    return files;
}

void TUploadThread::HandleFile(const QString& Folder, const QString& FileName, TKind Kind)
{
    const QString extension =
        Kind == TKind::Collection ? QStringLiteral(".tvl") : QStringLiteral(".room");
    const int length = Kind == TKind::Collection ? kCollectionNameLength : kRoomNameLength;
    const QString path = Folder + FileName;
    const QString name = FileName.chopped(extension.size());

    if (name.trimmed().size() != length) {
        if (QFile::remove(path) || !QFileInfo::exists(path))
            qCInfo(lcCollections).noquote() << "upload: dropped" << path << "(not an identifier)";
        else
            MarkStuck(path, "a file of a malformed name cannot be deleted");
        return;
    }

    bool result = false;
    QString sent;
    if (QFileInfo(path).isFile()) {
        PendingFiles::FileMd5(path, sent);
        if (FClient.CheckServer(CancelHandle())) {
            result = Upload(path, Kind);
            if (AfterUpload) AfterUpload(path, result);
            // Cut short by the stop: no fault of the file, which waits for the next run.
            if (!result && isInterruptionRequested()) return;
        } else {
            Pause(ServerWaitMs());
            // Stopped while waiting: the file stays pending for the next run, not set aside.
            if (isInterruptionRequested()) return;
        }
    }

    if (result) {
        // The client deletes the file it sent; what is still here was written meanwhile
        // (a newer change, kept for the next pass) or could not be deleted.
        if (!QFileInfo::exists(path)) return;
        QString now;
        if (sent.isEmpty() || !PendingFiles::FileMd5(path, now) || now != sent) {
            qCInfo(lcCollections).noquote() << "upload:" << path << "changed while sent; kept";
            return;
        }
        if (!QFile::remove(path)) MarkStuck(path, "a sent file cannot be deleted");
        return;
    }
    Quarantine(Folder, name, extension);
}

bool TUploadThread::Upload(const QString& Path, TKind Kind)
{
    return Kind == TKind::Collection ? FClient.UploadCollection(Path, CancelHandle())
                                     : FClient.UploadRoom(Path, CancelHandle());
}

void TUploadThread::Quarantine(const QString& Folder, const QString& Name, const QString& Extension)
{
    const QString path = Folder + Name + Extension;
    if (!QFileInfo::exists(path)) return; // gone meanwhile: nothing to set aside
    const QString errorFolder = PendingFiles::ErrorFolder(Folder);
    if (!QDir().mkpath(errorFolder) || !QFileInfo(errorFolder).isDir()) {
        MarkStuck(path, "the Error folder cannot be made for a file not taken");
        return;
    }
    const QString target =
        errorFolder + PendingFiles::QuarantineName(Name, QDateTime::currentDateTime());
    if (QFileInfo::exists(target)) QFile::remove(target);
    if (QFile::rename(path, target)) {
        qCInfo(lcCollections).noquote() << "upload: not taken, set aside as" << target;
        return;
    }
    // A copy that could not be completed into a move is not left behind.
    if (QFileInfo::exists(path) && QFileInfo(target).isFile()) QFile::remove(target);
    if (QFileInfo::exists(path)) MarkStuck(path, "a file not taken cannot be moved aside");
}

void TUploadThread::Report(int Count)
{
    // Nobody listens: no reason to hold the thread up on the UI thread.
    if (!FShowInMain.load()) return;
    HandOff([this, Count] {
        if (!FShowInMain.load() || !FReport) return;
        FReport->ShowCountToSend(Count, Lang(QStringLiteral("DataToSend")) + u' ' +
                                            QString::number(Count));
    });
}

void TUploadThread::MarkStuck(const QString& Path, const char* Why)
{
    FStuck.insert(StuckKey(Path));
    qCWarning(lcCollections).noquote()
        << "upload:" << Why << "-" << Path << "stays in place and is left out until it changes";
}

QString TUploadThread::StuckKey(const QString& Path)
{
    const QFileInfo info(Path);
    return Path + u'|' + QString::number(info.size()) + u'|' +
           QString::number(info.lastModified().toMSecsSinceEpoch());
}
