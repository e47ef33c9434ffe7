#pragma once

#include <QHostAddress>
#include <QString>

// How the service runs; filled from the command line.
struct TServiceOptions
{
    QHostAddress Listen = QHostAddress::LocalHost;
    quint16 ApiPort = 13208;
    quint16 WsPort = 13207;
    QString DataDir;
    QString TlsCert;
    QString TlsKey;
    bool LogCodes = false;
    // Lets the e-mail way create an account for an address that has none.
    bool OpenRegistration = false;
    qint64 CodeTtlSeconds = 600;
    qint64 MaxUploadBytes = 4 * 1024 * 1024;
    // Seconds between the "active" confirmations on every open live link.
    int KeepAliveSeconds = 15;
    // An HTTP connection that sends nothing and is sent nothing for this long is closed.
    int IdleSeconds = 120;
    // The chess engine: empty finds stockfish, "none" runs without one.
    QString EngineProgram;
    // The engine's think time per move, and the pause before it answers a student.
    int EngineMoveTimeMs = 300;
    int EnginePauseMs = 400;
};
