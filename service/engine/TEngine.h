#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class QProcess;

// The chess engine, spoken to over UCI: one process, started when it is first needed and kept
// for the next request (started again when it dies), asked one position at a time with a
// bounded think time. Everything runs on the event loop of the thread that made it; nothing
// ever waits for the engine.
class TEngine : public QObject
{
public:
    // program: the engine's executable; empty finds "stockfish" on PATH or in /usr/games.
    TEngine(const QString& program, int moveTimeMs, QObject* parent = nullptr);
    ~TEngine() override;

    // The engine's program, empty when none was found (then every request fails at once).
    QString Program() const { return FProgram; }
    bool Available() const { return !FProgram.isEmpty(); }

    // Asks for the best move of a position the engine can take (TGameRules::EnginePosition).
    // done gets the move in coordinate form, or an empty text when no move came (no engine,
    // the engine died or timed out, too many requests waiting). It is called later, never
    // from inside this call, and not at all once context is gone.
    void BestMove(const QString& fen, QObject* context, std::function<void(QString)> done);

    int Pending() const { return int(FQueue.size()) + (FCurrent ? 1 : 0); }

    static QString FindStockfish();
    static constexpr int kMaxPending = 64;

private:
    struct TRequest
    {
        QString Fen;
        QPointer<QObject> Context;
        std::function<void(QString)> Done;
    };
    enum class TState
    {
        Stopped,
        Starting, // "uci" sent, waiting for "uciok"
        Readying, // "isready" sent, waiting for "readyok"
        Ready,
        Thinking
    };

    void Pump();
    void StartProcess();
    void OnOutput();
    void OnLine(const QString& line);
    void OnProcessGone();
    void OnTimeout();
    void Finish(const QString& move);
    void Send(const QByteArray& line);
    void Deliver(TRequest request, const QString& move);

    QString FProgram;
    int FMoveTimeMs;
    QProcess* FProcess = nullptr;
    TState FState = TState::Stopped;
    std::deque<TRequest> FQueue;
    std::optional<TRequest> FCurrent;
    QTimer FWatchdog;
    QByteArray FBuffer;
    int FFailedStarts = 0;
};
