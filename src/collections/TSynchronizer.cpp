#include "TSynchronizer.h"

#include "CollectionsLog.h"
#include "Lang.h"
#include "NetText.h"
#include "PendingFiles.h"
#include "TConfig.h"
#include "TextFile.h"
#include "TNameValueList.h"
#include "TTVLApiClient.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>

namespace {

// A list member names a file only when it has the identifier's form: exactly Length decimal
// digits, above 0. Anything else ("success", "count", a shorter id, a path) is skipped, so a
// name from the server never reaches the file system unchecked.
bool IsID(const QString& name, int length)
{
    if (name.size() != length) return false;
    bool nonZero = false;
    for (const QChar c : name) {
        if (c < u'0' || c > u'9') return false;
        nonZero = nonZero || c != u'0';
    }
    return nonZero;
}

bool ReadObject(const QString& text, QJsonObject& object)
{
    return NetText::ParseJsonObject(text.toUtf8(), object);
}

QString ListText(const QStringList& lines)
{
    return lines.join(QStringLiteral("\r\n"));
}

void WriteList(const QString& folder, const QString& name, const QStringList& lines)
{
    if (folder.isEmpty()) return; // no folder set: nowhere to keep it
    const QString path = PendingFiles::WithDelimiter(folder) + name;
    QString error;
    if (!TextFile::WriteLines(path, lines, &error))
        qCWarning(lcCollections).noquote() << "sync: cannot write" << path << error;
}

} // namespace

TSynchronizer::TSynchronizer(TConfig& Holder) : FHolder(Holder) {}

TSynchronizer::TKind TSynchronizer::Collections() const
{
    return {"LoadCollections",
            "LoadCollection",
            "ErrorLoadCollection",
            13,
            QStringLiteral(".tvl"),
            PendingFiles::WithDelimiter(FHolder.CollectionPath()),
            false};
}

TSynchronizer::TKind TSynchronizer::Rooms() const
{
    return {"LoadRooms",
            "LoadRoom",
            "ErrorRoomCollection",
            10,
            QStringLiteral(".room"),
            PendingFiles::WithDelimiter(FHolder.LessonsPath()),
            true};
}

TTVLApiClient* TSynchronizer::Client() const
{
    return FHolder.APIClient();
}

void TSynchronizer::Start()
{
    FNumStep = 0;
    FLoadIndex = -1;
    FLoadAnnounced = false;
    FStepText.clear();
    FBarValue = 0;
    FBarMaximum = kStepBarMaximum;
    Changed();
}

void TSynchronizer::setNumStep(int Value)
{
    FNumStep = Value;
    FLoadIndex = -1;
    FLoadAnnounced = false;
}

int TSynchronizer::RunNext()
{
    if (FNumStep < 0 || FNumStep > 8) {
        FNumStep = kFinished;
        return -1;
    }
    if ((FNumStep == 4 || FNumStep == 8) && FLoadIndex >= 0) return LoadNext();
    const int step = FNumStep;
    RunStep(step);
    if (FLoadIndex >= 0) return 0; // the downloads of this step follow at once
    FNumStep = step == 8 ? kFinished : step + 1;
    return FStepSpacingMs;
}

void TSynchronizer::RunStep(int Step)
{
    TTVLApiClient* client = Client();
    switch (Step) {
    case 0: {
        SetText(Lang(QStringLiteral("AskCountCollections")));
        StepBar();
        FHolder.CollectionsOnServer().clear();
        FCollectionToLoad.clear();
        FSchoolsCollection.clear();
        // Left over from an earlier run it would download those rooms again, over whatever
        // changed locally since.
        FRoomsToLoad.clear();
        FRoomsListFetched = false;
        if (!client) return;
        client->GetCountCollections(); // not used: the list itself tells the count
        TNameValueList list;
        if (client->GetCollections(list)) {
            FHolder.CollectionsOnServer() = list.Lines();
            WriteList(FHolder.DataPath(), CollectionsListFile(), list.Lines());
        }
        return;
    }
    case 1:
        SetText(Lang(QStringLiteral("DeleteOldCollections")));
        StepBar();
        DeleteOld(ListText(FHolder.CollectionsOnServer()), Collections());
        return;
    case 2: {
        SetText(Lang(QStringLiteral("CalcSchoolsList")));
        StepBar();
        TNameValueList schools;
        if (client && client->LoadSchools(schools))
            WriteList(FHolder.CollectionPath(), SchoolsListFile(), schools.Lines());
        // Whatever came back, a failure reply too; readers show no schools then.
        QJsonObject object;
        ReadObject(schools.Text(), object);
        FHolder.JSSchool() = object;
        return;
    }
    case 3:
        SetText(Lang(QStringLiteral("CalcCollectionsToLoad")));
        StepBar();
        CalcToLoad(ListText(FHolder.CollectionsOnServer()), Collections(), FCollectionToLoad);
        return;
    case 5: {
        SetText(Lang(QStringLiteral("CalcRoomsList")));
        StepBar();
        // The last reply that carried "success" stays, as the rooms list reads it.
        TNameValueList rooms(FHolder.RoomsOnServer());
        FRoomsListFetched = client && client->GetRooms(rooms);
        FHolder.RoomsOnServer() = rooms.Lines();
        if (FRoomsListFetched) WriteList(FHolder.DataPath(), RoomsListFile(), rooms.Lines());
        return;
    }
    case 6:
        SetText(Lang(QStringLiteral("DeleteOldRooms")));
        StepBar();
        if (FRoomsListFetched) DeleteOld(ListText(FHolder.RoomsOnServer()), Rooms());
        return;
    case 7:
        SetText(Lang(QStringLiteral("CalcRoomsToLoad")));
        StepBar();
        CalcToLoad(ListText(FHolder.RoomsOnServer()), Rooms(), FRoomsToLoad);
        return;
    case 4:
    case 8: {
        const TKind kind = Step == 4 ? Collections() : Rooms();
        const QStringList& list = Step == 4 ? FCollectionToLoad : FRoomsToLoad;
        FStepText = Lang(QLatin1String(kind.LoadStepKey));
        FBarValue = 0;
        FBarMaximum = int(list.size());
        Changed();
        FLoadIndex = list.isEmpty() ? -1 : 0;
        FLoadAnnounced = false;
        return;
    }
    default:
        return;
    }
}

void TSynchronizer::DeleteOld(const QString& ListText, const TKind& Kind)
{
    QJsonObject list;
    if (Kind.Folder.isEmpty() || !ReadObject(ListText, list)) return;
    const QSet<QString> changed = PendingFiles::ChangedIds(Kind.Folder, Kind.Extension);
    const QStringList files =
        QDir(Kind.Folder).entryList({u'*' + Kind.Extension}, QDir::Files, QDir::Name);
    for (const QString& file : files) {
        const QString name = file.chopped(Kind.Extension.size());
        if (list.contains(name)) continue;
        if (changed.contains(name.trimmed())) {
            qCInfo(lcCollections).noquote()
                << "sync: kept" << file << "(not listed, but its local change is not sent yet)";
            continue;
        }
        if (!QFile::remove(Kind.Folder + file))
            qCWarning(lcCollections).noquote() << "sync: cannot delete" << Kind.Folder + file;
    }
}

void TSynchronizer::CalcToLoad(const QString& ListText, const TKind& Kind, QStringList& Target)
{
    QJsonObject list;
    if (Kind.Folder.isEmpty() || !ReadObject(ListText, list)) return;
    const QSet<QString> changed = PendingFiles::ChangedIds(Kind.Folder, Kind.Extension);
    for (auto it = list.constBegin(); it != list.constEnd(); ++it) {
        const QString id = it.key();
        if (!IsID(id, Kind.NameLength)) continue;
        if (changed.contains(id)) {
            qCInfo(lcCollections).noquote()
                << "sync: server copy of" << id + Kind.Extension << "waits for the local change";
            continue;
        }
        const QString local = Kind.Folder + id + Kind.Extension;
        if (!QFileInfo::exists(local)) {
            Target.append(id);
            continue;
        }
        QString digest;
        if (!PendingFiles::FileMd5(local, digest)) {
            qCWarning(lcCollections).noquote() << "sync: cannot read" << local;
            continue;
        }
        const QJsonValue item = it.value();
        const QJsonValue md5 = item.isObject() ? item.toObject().value(QLatin1String("md5_hash"))
                                               : QJsonValue(QJsonValue::Undefined);
        // A differing file is replaced only by a download that succeeds (written atomically),
        // so a failed one leaves it as it was.
        if (md5.isUndefined() || NetText::JsonText(md5).toLower() != digest) Target.append(id);
    }
}

int TSynchronizer::LoadNext()
{
    const bool rooms = FNumStep == 8;
    const TKind kind = rooms ? Rooms() : Collections();
    const QStringList& list = rooms ? FRoomsToLoad : FCollectionToLoad;
    if (FLoadIndex < 0 || FLoadIndex >= list.size()) {
        FLoadIndex = -1;
        FNumStep = rooms ? kFinished : FNumStep + 1;
        return FStepSpacingMs;
    }
    const QString id = list.at(FLoadIndex);
    // Announced in a call of its own, so the window shows it before the download blocks.
    if (!FLoadAnnounced) {
        FLoadAnnounced = true;
        ++FBarValue;
        FStepText = Lang(QLatin1String(kind.LoadKey)) + u' ' + id;
        Changed();
        return 0;
    }
    const bool ok = Download(kind, id);
    if (!ok) SetText(Lang(QLatin1String(kind.ErrorKey)) + u' ' + id);
    FLoadAnnounced = false;
    int delay = ok ? 0 : FErrorWaitMs;
    if (++FLoadIndex >= list.size()) {
        FLoadIndex = -1;
        FNumStep = rooms ? kFinished : FNumStep + 1;
        delay += FStepSpacingMs;
    }
    return delay;
}

bool TSynchronizer::Download(const TKind& Kind, const QString& ID)
{
    // Checked again right before the file is replaced.
    if (PendingFiles::ChangedIds(Kind.Folder, Kind.Extension).contains(ID)) {
        qCInfo(lcCollections).noquote() << "sync: not downloaded" << ID + Kind.Extension
                                        << "(its local change is not sent yet)";
        return true;
    }
    TTVLApiClient* client = Client();
    if (!client) return false;
    const QString path = Kind.Folder + ID + Kind.Extension;
    const bool ok =
        Kind.Rooms ? client->DownloadRoom(ID, path) : client->DownloadCollection(ID, path);
    if (!ok)
        qCInfo(lcCollections).noquote() << "sync: download of" << ID + Kind.Extension << "failed";
    return ok;
}

void TSynchronizer::SetText(const QString& Text)
{
    FStepText = Text;
    Changed();
}

void TSynchronizer::StepBar()
{
    ++FBarValue;
    Changed();
}

void TSynchronizer::Changed()
{
    if (OnViewChanged) OnViewChanged();
}
