#pragma once

#include <QDateTime>
#include <QSet>
#include <QString>

// The local changes that have not reached the server yet: the copies in a folder's ToSend
// subfolder, and the copies the upload thread set aside in ToSend/Error. The upload thread
// makes them, synchronisation keeps its hands off every file that has one.
namespace PendingFiles {

// A folder with its trailing delimiter; an empty one stays empty (it must never read as "/").
QString WithDelimiter(const QString& folder);
// "ToSend/" and "Error/", appended to a folder with its trailing delimiter.
QString ToSendFolder(const QString& folder);
QString ErrorFolder(const QString& toSendFolder);

// The MD5 digest of a file's bytes, 32 lower-case hexadecimal digits; false when it cannot be
// read.
bool FileMd5(const QString& path, QString& digest);

// The time stamp of a quarantined copy: ddMMyyHHmmsszzz, 15 digits.
QString QuarantineStamp(const QDateTime& when);
// The name of a quarantined copy: the pending file's name without its extension, "." and the
// stamp. Dropping the extension keeps the upload thread from picking it up again.
QString QuarantineName(const QString& name, const QDateTime& when);
// The identifier a quarantined copy belongs to: the part before its last "." (blanks at both
// ends removed) when the part after it is a 15-digit stamp; empty for any other name.
QString QuarantinedId(const QString& fileName);

// Identifiers of the folder's files that carry a local change: a copy "<id><extension>" in
// ToSend (extension compared without regard to case) or a quarantined copy in ToSend/Error.
QSet<QString> ChangedIds(const QString& folder, const QString& extension);

} // namespace PendingFiles
