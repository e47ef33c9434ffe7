#pragma once

#include "TServerThread.h"

#include <atomic>
#include <functional>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QStringList>

class IUploadReport;
class TTVLApiClient;

// Empties the two ToSend folders in the background: each pass takes at most one collection
// file and one room file, sends it through the API client and deletes it once the server has
// taken it, or moves it into ToSend/Error (name: identifier "." ddMMyyHHmmsszzz) when the upload
// fails. A file with a malformed name is deleted without upload. Every pass publishes how many
// files are pending and reports that count to the main window while ShowInMain is on.
//
// Made and started by start-up after sign-in, stopped at shutdown (StopAndWait, or Stop and
// free on terminate); the folders are set before the start. A stop ends the request under way
// and leaves its file in ToSend for the next run.
class TUploadThread : public TServerThread
{
    Q_OBJECT
public:
    static constexpr int kPassPauseMs = 100;
    static constexpr int kServerWaitMs = 5000;

    explicit TUploadThread(TTVLApiClient& Client, QObject* parent = nullptr);
    ~TUploadThread() override;

    // A write adds the trailing delimiter.
    QString CollectionsPathToSend() const;
    void setCollectionsPathToSend(const QString& Value);
    QString RoomsPathToSend() const;
    void setRoomsPathToSend(const QString& Value);
    QString UserUUID() const;
    void setUserUUID(const QString& Value);

    // Files found at the start of the latest pass, 0 before the first one. A file that could be
    // neither deleted nor moved aside is left out from then on (it stays in ToSend for the next
    // program run), so the count still reaches 0. Any thread.
    int CountToSend() const { return FCountToSend.load(); }
    // Passes completed; lets a caller wait for the first count that means something.
    int PassCount() const { return FPassCount.load(); }

    // The report to the main window; both are written and read on the UI thread.
    bool ShowInMain() const { return FShowInMain.load(); }
    void setShowInMain(bool Value) { FShowInMain.store(Value); }
    void setReport(IUploadReport* Report) { FReport = Report; }

    // How long a file waits when the server does not answer before it is set aside.
    int ServerWaitMs() const { return FServerWaitMs.load(); }
    void setServerWaitMs(int Value) { FServerWaitMs.store(qMax(0, Value)); }

    // After each upload, on this thread, with the file and the upload's result; set before the
    // start.
    std::function<void(const QString& FileName, bool Result)> AfterUpload;

protected:
    void run() override;

private:
    enum class TKind
    {
        Collection,
        Room
    };
    // The files of a folder still to handle, sorted by name, without the stuck ones.
    QStringList ListPending(const QString& Folder, const QString& Extension);
    void HandleFile(const QString& Folder, const QString& FileName, TKind Kind);
    bool Upload(const QString& Path, TKind Kind);
    void Quarantine(const QString& Folder, const QString& Name, const QString& Extension);
    void Report(int Count);
    // A file that would hold up every later pass: left out for the rest of the run.
    void MarkStuck(const QString& Path, const char* Why);
    static QString StuckKey(const QString& Path);

    TTVLApiClient& FClient;
    mutable QMutex FPathsLock;
    QString FCollectionsPathToSend;
    QString FRoomsPathToSend;
    QString FUserUUID;

    std::atomic<int> FCountToSend{0};
    std::atomic<int> FPassCount{0};
    std::atomic<bool> FShowInMain{false};
    std::atomic<int> FServerWaitMs{kServerWaitMs};
    IUploadReport* FReport = nullptr;

    // Worker thread only: the file lists of the current pass and the stuck files, each known
    // by its path, size and time of change, so a rewritten file is tried again.
    QStringList FCollectionsList;
    QStringList FRoomsList;
    QSet<QString> FStuck;
};
