#include "PendingFiles.h"

#include "DataFolders.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

namespace PendingFiles {

QString WithDelimiter(const QString& folder)
{
    return folder.isEmpty() ? folder : DataFolders::IncludeTrailingPathDelimiter(folder);
}

QString ToSendFolder(const QString& folder)
{
    return DataFolders::IncludeTrailingPathDelimiter(folder) + QStringLiteral("ToSend/");
}

QString ErrorFolder(const QString& toSendFolder)
{
    return DataFolders::IncludeTrailingPathDelimiter(toSendFolder) + QStringLiteral("Error/");
}

bool FileMd5(const QString& path, QString& digest)
{
    digest.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    QCryptographicHash hash(QCryptographicHash::Md5);
    if (!hash.addData(&file)) return false;
    digest = QString::fromLatin1(hash.result().toHex());
    return true;
}

QString QuarantineStamp(const QDateTime& when)
{
    return when.toString(QStringLiteral("ddMMyyHHmmsszzz"));
}

QString QuarantineName(const QString& name, const QDateTime& when)
{
    return name + u'.' + QuarantineStamp(when);
}

QString QuarantinedId(const QString& fileName)
{
    const qsizetype dot = fileName.lastIndexOf(u'.');
    if (dot < 0) return QString();
    const QStringView stamp = QStringView(fileName).mid(dot + 1);
    if (stamp.size() != 15) return QString();
    for (const QChar c : stamp)
        if (c < u'0' || c > u'9') return QString();
    return fileName.left(dot).trimmed();
}

QSet<QString> ChangedIds(const QString& folder, const QString& extension)
{
    QSet<QString> ids;
    if (folder.isEmpty()) return ids;
    const QString toSend = ToSendFolder(folder);
    // QDir's name filters ignore letter case, as the upload thread's listing does.
    for (const QString& name : QDir(toSend).entryList({u'*' + extension}, QDir::Files))
        ids.insert(name.chopped(extension.size()).trimmed());
    for (const QString& name : QDir(ErrorFolder(toSend)).entryList(QDir::Files)) {
        const QString id = QuarantinedId(name);
        if (!id.isEmpty()) ids.insert(id);
    }
    return ids;
}

} // namespace PendingFiles
