#include "DataFolders.h"

#include "AppStoreLog.h"
#include "BuiltInSounds.h"
#include "TextFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace DataFolders {

QString IncludeTrailingPathDelimiter(const QString& path)
{
    return path.endsWith(kDelimiter) ? path : path + kDelimiter;
}

namespace {

bool HasValidPathChars(const QString& path)
{
    for (QChar c : path)
        if (c.unicode() < 0x20 || c == u'*' || c == u'?') return false;
    return true;
}

void CopyNoOverwrite(const QString& from, const QString& to)
{
    if (QFileInfo::exists(to)) {
        qCInfo(lcAppStore) << to << "is there already; not copied from" << from;
        return;
    }
    QFile source(from);
    if (!source.copy(to))
        qCWarning(lcAppStore) << "cannot copy" << from << "to" << to << ":" << source.errorString();
}

} // namespace

bool CheckFolder(const QString& path, bool create)
{
    // Relative paths would depend on the folder the program was started from.
    if (path.size() < 3 || !HasValidPathChars(path) || !QDir::isAbsolutePath(path)) return false;
    const QFileInfo info(path);
    if (info.isDir()) return true;
    if (!create || info.exists()) return false;
    QString folder = path;
    while (folder.size() > 1 && folder.endsWith(kDelimiter))
        folder.chop(1);
    if (QDir().mkdir(folder)) // one level: a missing parent makes this fail
        return true;
    qCInfo(lcAppStore) << "cannot create the folder" << path;
    return false;
}

QString MigrateLessonsFolder(const QString& roomsFolder)
{
    const QString folder = IncludeTrailingPathDelimiter(roomsFolder).chopped(1);
    const qsizetype cut = folder.lastIndexOf(kDelimiter);
    if (folder.mid(cut + 1) != QLatin1String("Lessons")) return roomsFolder;
    const QString parent = folder.left(cut + 1);
    const QString lessons = parent + QStringLiteral("Lessons/");
    const QString rooms = parent + QStringLiteral("Rooms/");
    CheckFolder(rooms, true);
    CheckFolder(rooms + QStringLiteral("ToSend/"), true);
    if (QFileInfo(lessons).isDir() && QFileInfo(rooms).isDir()) {
        const QStringList files =
            QDir(lessons).entryList({QStringLiteral("*.lsn")}, QDir::Files | QDir::Hidden);
        for (const QString& name : files) {
            const QString base = name.chopped(4);
            CopyNoOverwrite(lessons + name, rooms + base + QStringLiteral(".room"));
            CopyNoOverwrite(lessons + name,
                            rooms + QStringLiteral("ToSend/") + base + QStringLiteral(".room"));
        }
        qCInfo(lcAppStore) << "rooms folder moved from" << lessons << "to" << rooms << "with"
                           << files.size() << "room files";
    }
    return rooms;
}

void SeedSoundFolder(const QString& soundsFolder)
{
    for (const QString& name : BuiltInSounds::Names()) {
        const QString path = soundsFolder + name + QStringLiteral(".wav");
        if (QFileInfo::exists(path)) continue;
        QString error;
        if (!TextFile::WriteBytes(path, BuiltInSounds::Data(name), &error))
            qCWarning(lcAppStore) << "cannot write the sound" << path << ":" << error;
    }
}

} // namespace DataFolders
