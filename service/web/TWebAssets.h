#pragma once

#include "TApiHandler.h"

#include <QByteArray>
#include <QString>

// The students' pages and their files, compiled into the service: "/student/", "/room-code/"
// and "/web/<file>". The piece set is the application's own, so the web board draws the same
// pieces as the teacher's boards.
namespace TWebAssets {

// The file of that name with its type, security headers and validator; a matching
// If-None-Match gets 304. A page learns the port of the live links from the service.
TApiReply Reply(const QString& name, quint16 wsPort, const QByteArray& ifNoneMatch);
// A permanent redirect to path, keeping the query ("/student?id=…" → "/student/?id=…").
TApiReply Redirect(const QByteArray& path, const QByteArray& rawQuery);
TApiReply NotFound();

} // namespace TWebAssets
