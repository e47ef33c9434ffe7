#include "TOutbox.h"

#include "ServiceLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSaveFile>

bool TOutbox::SendCode(const QString& email, const QString& code, qint64 ttlSeconds)
{
    if (!QDir().mkpath(FFolder)) {
        qCWarning(lcApi) << "cannot create the outbox" << FFolder;
        return false;
    }
    const qint64 stamp = QDateTime::currentMSecsSinceEpoch();
    FSequence = stamp == FLastStamp ? FSequence + 1 : 0;
    FLastStamp = stamp;
    const QString name = QStringLiteral("%1-%2.eml")
                             .arg(stamp, 15, 10, QChar(u'0'))
                             .arg(FSequence, 4, 10, QChar(u'0'));
    const QString minutes = QString::number(qMax<qint64>(1, ttlSeconds / 60));
    const QByteArray mail =
        "To: " + email.toUtf8() + "\r\n" +
        "Date: " + QDateTime::currentDateTimeUtc().toString(Qt::RFC2822Date).toUtf8() + "\r\n" +
        "Subject: Tavlora confirmation code " + code.toUtf8() + "\r\n" +
        "Content-Type: text/plain; charset=utf-8\r\n" + "X-Tavlora-Code: " + code.toUtf8() +
        "\r\n\r\n" + "Your Tavlora confirmation code is " + code.toUtf8() + ".\r\n" +
        "It is valid for " + minutes.toUtf8() + " minutes.\r\n";
    QSaveFile file(QDir(FFolder).filePath(name));
    if (!file.open(QIODevice::WriteOnly)) {
        qCWarning(lcApi) << "cannot write to the outbox:" << file.errorString();
        return false;
    }
    // The code is a secret until it is used: only the service's own user may read it.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(mail);
    if (!file.commit()) {
        qCWarning(lcApi) << "cannot write to the outbox:" << file.errorString();
        return false;
    }
    return true;
}
