#pragma once

#include <QString>

// Delivers confirmation codes as small mail files in DATA/outbox/, one file per code, named so
// that their names sort in the order they were written. A mail relay (or the administrator)
// takes them from there.
class TOutbox
{
public:
    explicit TOutbox(const QString& folder) : FFolder(folder) {}

    // Writes the mail; false when it could not be written.
    bool SendCode(const QString& email, const QString& code, qint64 ttlSeconds);

private:
    QString FFolder;
    qint64 FLastStamp = 0;
    int FSequence = 0;
};
