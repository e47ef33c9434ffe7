#pragma once

#include <functional>
#include <QSet>
#include <QString>
#include <QStringList>

class TConfig;
class TTVLApiClient;

// The steps of a synchronisation with the server, run one piece at a time by the
// synchronisation window's timer (or by a test): fetch the lists of collections, schools and
// rooms, delete the local files the server no longer lists, and download every file that is
// missing or whose MD5 digest differs from the server's. Steps 0 to 8, then 1000 (finished).
//
// A file with a local change that has not reached the server (a copy in its folder's ToSend,
// or one set aside in ToSend/Error) is never deleted or replaced here: the server's copy is
// taken once the change has been uploaded.
//
// Reads and writes the settings holder's CollectionsOnServer, RoomsOnServer and JSSchool and
// its folders; UI thread only, like the holder.
class TSynchronizer
{
public:
    static constexpr int kFinished = 1000;
    static constexpr int kStepSpacingMs = 500;
    static constexpr int kErrorWaitMs = 2000;
    static constexpr int kStepBarMaximum = 7;

    explicit TSynchronizer(TConfig& Holder);

    // A new run from step 0: the label empty, the bar at 0 of 7.
    void Start();
    // Runs the next piece of work: a whole step, or within the download steps one announcement
    // or one download. Gives the delay in ms before the next call, -1 when the run is finished.
    int RunNext();
    bool Finished() const { return FNumStep == kFinished; }

    // The next step to run.
    int NumStep() const { return FNumStep; }
    void setNumStep(int Value);

    // What the window shows.
    QString StepText() const { return FStepText; }
    int BarValue() const { return FBarValue; }
    int BarMaximum() const { return FBarMaximum; }
    // Called after every change of the texts or the bar.
    std::function<void()> OnViewChanged;

    // The spacing of the steps and the wait that keeps a failed download's text on screen.
    int StepSpacingMs() const { return FStepSpacingMs; }
    void setStepSpacingMs(int Value) { FStepSpacingMs = qMax(0, Value); }
    int ErrorWaitMs() const { return FErrorWaitMs; }
    void setErrorWaitMs(int Value) { FErrorWaitMs = qMax(0, Value); }

    const QStringList& SchoolsCollection() const { return FSchoolsCollection; }
    const QStringList& CollectionToLoad() const { return FCollectionToLoad; }
    const QStringList& RoomsToLoad() const { return FRoomsToLoad; }

    // The file names written, in the data folder and the collections folder.
    static QString CollectionsListFile() { return QStringLiteral("collestions.json"); }
    static QString RoomsListFile() { return QStringLiteral("rooms.json"); }
    static QString SchoolsListFile() { return QStringLiteral("schools.sch"); }

private:
    struct TKind
    {
        const char* LoadStepKey; // "LoadCollections"
        const char* LoadKey;     // "LoadCollection"
        const char* ErrorKey;    // "ErrorLoadCollection"
        int NameLength;
        QString Extension;
        QString Folder;
        bool Rooms;
    };
    TKind Collections() const;
    TKind Rooms() const;

    void RunStep(int Step);
    // Steps 1 and 6: deletes the files of the folder that the list does not name.
    void DeleteOld(const QString& ListText, const TKind& Kind);
    // Steps 3 and 7: adds to Target what has to be downloaded.
    void CalcToLoad(const QString& ListText, const TKind& Kind, QStringList& Target);
    // Steps 4 and 8, one piece per call; gives the delay before the next.
    int LoadNext();
    bool Download(const TKind& Kind, const QString& ID);

    void SetText(const QString& Text);
    void StepBar();
    void Changed();
    TTVLApiClient* Client() const;

    TConfig& FHolder;
    int FNumStep = 0;
    QStringList FSchoolsCollection;
    QStringList FCollectionToLoad;
    QStringList FRoomsToLoad;

    // Step 5 fetched the rooms list; step 6 deletes only then.
    bool FRoomsListFetched = false;
    // Within a download step: the next entry, and whether it has been announced.
    int FLoadIndex = -1;
    bool FLoadAnnounced = false;

    QString FStepText;
    int FBarValue = 0;
    int FBarMaximum = kStepBarMaximum;
    int FStepSpacingMs = kStepSpacingMs;
    int FErrorWaitMs = kErrorWaitMs;
};
