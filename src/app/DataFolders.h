#pragma once

#include <QString>

// The data folders: their check, their creation and the move of the rooms folder from its
// earlier name "Lessons" to "Rooms". Paths use "/" and end with it.
namespace DataFolders {

constexpr QChar kDelimiter = u'/';

QString IncludeTrailingPathDelimiter(const QString& path);

// Whether a folder is usable: at least 3 characters, absolute, no wildcard or control character,
// and an existing folder. With create set, a missing folder is made first, one level only.
bool CheckFolder(const QString& path, bool create);

// For a rooms folder whose last component is "Lessons": makes its sibling "Rooms" (with
// "ToSend"), copies every Lessons/B.lsn to Rooms/B.room and Rooms/ToSend/B.room, never over an
// existing file, and gives the sibling as the new rooms folder. Other folders come back as they
// are.
QString MigrateLessonsFolder(const QString& roomsFolder);

// Writes each built-in sound missing from the folder; existing files are left alone.
void SeedSoundFolder(const QString& soundsFolder);

} // namespace DataFolders
