#include "TEngine.h"

#include "ServiceLog.h"
#include "TGameRules.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace {

// Starting and answering "isready" take a few milliseconds; a process that has not done so in
// this time is taken as broken.
constexpr int kStartTimeoutMs = 10000;
// What a search may take beyond its think time before the process is ended.
constexpr int kSearchGraceMs = 5000;
// Starts that fail one after another before the queue is given up.
constexpr int kMaxFailedStarts = 3;

} // namespace

QString TEngine::FindStockfish()
{
    return QStandardPaths::findExecutable(QStringLiteral("stockfish"),
                                          {QStringLiteral("/usr/games"), QStringLiteral("/usr/bin"),
                                           QStringLiteral("/usr/local/bin")});
}

TEngine::TEngine(const QString& program, int moveTimeMs, QObject* parent)
    : QObject(parent), FMoveTimeMs(qBound(10, moveTimeMs, 60000))
{
    FProgram = program.isEmpty() ? FindStockfish() : program;
    if (!FProgram.isEmpty() && !QFileInfo(FProgram).isExecutable()) FProgram.clear();
    if (FProgram.isEmpty())
        qCWarning(lcEngine) << "no chess engine found (looked for"
                            << (program.isEmpty() ? QStringLiteral("stockfish") : program)
                            << "); engine answers are off";
    else
        qCInfo(lcEngine).noquote() << "engine" << FProgram << "with" << FMoveTimeMs << "ms a move";
    FWatchdog.setSingleShot(true);
    connect(&FWatchdog, &QTimer::timeout, this, &TEngine::OnTimeout);
}

TEngine::~TEngine()
{
    FWatchdog.stop();
    if (FProcess) {
        FProcess->disconnect(this);
        if (FProcess->state() == QProcess::Running) {
            FProcess->write("quit\n");
            if (!FProcess->waitForFinished(1000)) {
                FProcess->kill();
                FProcess->waitForFinished(1000);
            }
        }
        delete FProcess;
    }
}

void TEngine::BestMove(const QString& fen, QObject* context, std::function<void(QString)> done)
{
    TRequest request{fen, context, std::move(done)};
    if (!Available() || Pending() >= kMaxPending || !TGameRules::EnginePosition(fen, nullptr)) {
        if (Available() && Pending() >= kMaxPending)
            qCWarning(lcEngine) << "too many engine requests waiting; one refused";
        Deliver(std::move(request), QString());
        return;
    }
    FQueue.push_back(std::move(request));
    // Later, so the caller never sees its callback run inside this call.
    QMetaObject::invokeMethod(
        this, [this] { Pump(); }, Qt::QueuedConnection);
}

void TEngine::Deliver(TRequest request, const QString& move)
{
    QPointer<QObject> context = request.Context;
    auto done = std::move(request.Done);
    QMetaObject::invokeMethod(
        this,
        [context, done, move] {
            if (context && done) done(move);
        },
        Qt::QueuedConnection);
}

void TEngine::Pump()
{
    if (FCurrent) return;
    // Requests whose askers are gone are dropped unseen.
    while (!FQueue.empty() && !FQueue.front().Context)
        FQueue.pop_front();
    if (FQueue.empty()) return;
    if (FState == TState::Stopped) {
        StartProcess();
        return;
    }
    if (FState != TState::Ready) return;
    FCurrent = std::move(FQueue.front());
    FQueue.pop_front();
    FState = TState::Thinking;
    Send("position fen " + FCurrent->Fen.toLatin1());
    Send("go movetime " + QByteArray::number(FMoveTimeMs));
    FWatchdog.start(FMoveTimeMs + kSearchGraceMs);
}

void TEngine::StartProcess()
{
    if (FProcess) {
        FProcess->disconnect(this);
        FProcess->deleteLater();
    }
    FProcess = new QProcess(this);
    FProcess->setProgram(FProgram);
    FProcess->setStandardErrorFile(QProcess::nullDevice());
    connect(FProcess, &QProcess::readyReadStandardOutput, this, &TEngine::OnOutput);
    connect(FProcess, &QProcess::finished, this, &TEngine::OnProcessGone);
    connect(FProcess, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) OnProcessGone();
    });
    FBuffer.clear();
    FState = TState::Starting;
    FProcess->start();
    Send("uci");
    FWatchdog.start(kStartTimeoutMs);
}

void TEngine::Send(const QByteArray& line)
{
    if (FProcess && FProcess->state() != QProcess::NotRunning) FProcess->write(line + '\n');
}

void TEngine::OnOutput()
{
    FBuffer += FProcess->readAllStandardOutput();
    qsizetype end;
    while ((end = FBuffer.indexOf('\n')) >= 0) {
        const QString line = QString::fromLatin1(FBuffer.left(end)).trimmed();
        FBuffer.remove(0, end + 1);
        OnLine(line);
    }
    // An engine that writes without end is broken; its output is not kept.
    if (FBuffer.size() > 64 * 1024) FBuffer.clear();
}

void TEngine::OnLine(const QString& line)
{
    switch (FState) {
    case TState::Starting:
        if (line == u"uciok") {
            FState = TState::Readying;
            Send("isready");
        }
        break;
    case TState::Readying:
        if (line == u"readyok") {
            FWatchdog.stop();
            FState = TState::Ready;
            FFailedStarts = 0;
            Pump();
        }
        break;
    case TState::Thinking:
        if (line.startsWith(QLatin1String("bestmove"))) {
            FWatchdog.stop();
            const QString move = line.section(u' ', 1, 1, QString::SectionSkipEmpty);
            FState = TState::Ready;
            Finish(TGameRules::ParseCoordinates(move) ? move : QString());
            Pump();
        }
        break;
    default:
        break;
    }
}

void TEngine::Finish(const QString& move)
{
    if (!FCurrent) return;
    TRequest request = std::move(*FCurrent);
    FCurrent.reset();
    Deliver(std::move(request), move);
}

void TEngine::OnProcessGone()
{
    if (FState == TState::Stopped) return;
    const bool starting = FState == TState::Starting || FState == TState::Readying;
    FWatchdog.stop();
    FState = TState::Stopped;
    if (FProcess) {
        FProcess->disconnect(this);
        FProcess->deleteLater();
        FProcess = nullptr;
    }
    qCWarning(lcEngine) << "the engine ended" << (starting ? "while starting" : "unexpectedly")
                        << "; it is started again for the next request";
    Finish(QString());
    if (starting && ++FFailedStarts >= kMaxFailedStarts) {
        qCWarning(lcEngine) << "the engine does not start; the waiting requests get no move";
        while (!FQueue.empty()) {
            Deliver(std::move(FQueue.front()), QString());
            FQueue.pop_front();
        }
        FFailedStarts = 0;
        return;
    }
    QMetaObject::invokeMethod(
        this, [this] { Pump(); }, Qt::QueuedConnection);
}

void TEngine::OnTimeout()
{
    qCWarning(lcEngine) << "the engine did not answer in time; it is ended";
    if (FProcess)
        FProcess->kill(); // finished() follows and starts it again when needed
    else
        OnProcessGone();
}
