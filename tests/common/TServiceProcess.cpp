#include "TServiceProcess.h"

#include <csignal>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#ifndef TAVLORA_SERVICE_BINARY
#error "TAVLORA_SERVICE_BINARY must name the tavlora-service executable"
#endif

TServiceProcess::TServiceProcess(const QString& dataDir)
{
    if (dataDir.isEmpty()) {
        FTempDir = std::make_unique<QTemporaryDir>();
        FDataDir = FTempDir->path() + QStringLiteral("/data");
    } else {
        FDataDir = dataDir;
    }
}

TServiceProcess::~TServiceProcess()
{
    if (IsRunning() && !Stop(5000)) Kill();
}

QString TServiceProcess::Binary()
{
    return QStringLiteral(TAVLORA_SERVICE_BINARY);
}

bool TServiceProcess::Start(const QStringList& extraArgs, int timeoutMs)
{
    if (IsRunning()) return false;
    FArgs = extraArgs;
    FTls = extraArgs.contains(QStringLiteral("--tls-cert"));
    QDir().mkpath(FDataDir);
    FProcess = std::make_unique<QProcess>();
    FProcess->setProgram(FBinary);
    FProcess->setArguments(QStringList{QStringLiteral("--data"), FDataDir,
                                       QStringLiteral("--listen"), QStringLiteral("127.0.0.1"),
                                       QStringLiteral("--api-port"), QStringLiteral("0"),
                                       QStringLiteral("--ws-port"), QStringLiteral("0")} +
                           extraArgs);
    FProcess->setStandardErrorFile(FDataDir + QStringLiteral("/service.log"), QIODevice::Append);
    FProcess->start();
    if (!FProcess->waitForStarted(timeoutMs)) return false;

    static const QRegularExpression line(
        QStringLiteral("^tavlora-service listening api=(\\d+) ws=(\\d+)"));
    QByteArray out;
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (!FProcess->canReadLine() && !FProcess->waitForReadyRead(int(deadline.remainingTime())))
            if (FProcess->state() != QProcess::Running) return false;
        while (FProcess->canReadLine()) {
            const auto match = line.match(QString::fromUtf8(FProcess->readLine()));
            if (match.hasMatch()) {
                FApiPort = quint16(match.captured(1).toUInt());
                FWsPort = quint16(match.captured(2).toUInt());
                return true;
            }
        }
    }
    return false;
}

bool TServiceProcess::Restart()
{
    if (IsRunning() && !Stop()) return false;
    return Start(FArgs);
}

bool TServiceProcess::Stop(int timeoutMs)
{
    if (!FProcess) return true;
    if (FProcess->state() == QProcess::Running) {
        ::kill(pid_t(FProcess->processId()), SIGTERM);
        if (!FProcess->waitForFinished(timeoutMs)) return false;
    }
    const bool clean = FProcess->exitStatus() == QProcess::NormalExit && FProcess->exitCode() == 0;
    FProcess.reset();
    return clean;
}

void TServiceProcess::Kill()
{
    if (!FProcess) return;
    if (FProcess->state() == QProcess::Running) {
        ::kill(pid_t(FProcess->processId()), SIGKILL);
        FProcess->waitForFinished(10000);
    }
    FProcess.reset();
}

bool TServiceProcess::IsRunning() const
{
    return FProcess && FProcess->state() == QProcess::Running;
}

qint64 TServiceProcess::ProcessId() const
{
    return IsRunning() ? FProcess->processId() : 0;
}

QUrl TServiceProcess::ApiBase() const
{
    return QUrl(QStringLiteral("%1://127.0.0.1:%2")
                    .arg(FTls ? QStringLiteral("https") : QStringLiteral("http"))
                    .arg(FApiPort));
}

QUrl TServiceProcess::WsBase() const
{
    return QUrl(QStringLiteral("%1://127.0.0.1:%2")
                    .arg(FTls ? QStringLiteral("wss") : QStringLiteral("ws"))
                    .arg(FWsPort));
}

QString TServiceProcess::Log() const
{
    QFile file(FDataDir + QStringLiteral("/service.log"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

int TServiceProcess::Command(const QStringList& args, QString* output) const
{
    QProcess process;
    process.start(FBinary, QStringList{QStringLiteral("--data"), FDataDir} + args);
    if (!process.waitForFinished(15000)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    if (output) *output = QString::fromUtf8(process.readAllStandardOutput());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QString TServiceProcess::AddAccount(const QString& email) const
{
    QString output;
    if (Command({QStringLiteral("account"), QStringLiteral("add"), email}, &output) != 0) return {};
    return output.trimmed();
}

QString TServiceProcess::LatestCode(const QString& email) const
{
    const QDir outbox(FDataDir + QStringLiteral("/outbox"));
    // Names sort in the order the mails were written.
    QStringList names = outbox.entryList({QStringLiteral("*.eml")}, QDir::Files, QDir::Name);
    static const QRegularExpression codeHeader(QStringLiteral("^X-Tavlora-Code: (\\d{6})\\r?$"),
                                               QRegularExpression::MultilineOption);
    for (auto it = names.crbegin(); it != names.crend(); ++it) {
        QFile file(outbox.filePath(*it));
        if (!file.open(QIODevice::ReadOnly)) continue;
        const QString mail = QString::fromUtf8(file.readAll());
        if (!email.isEmpty() &&
            !mail.startsWith(QStringLiteral("To: ") + email + QStringLiteral("\r\n"),
                             Qt::CaseInsensitive))
            continue;
        const auto match = codeHeader.match(mail);
        if (match.hasMatch()) return match.captured(1);
    }
    return {};
}

int TServiceProcess::OutboxCount() const
{
    return int(QDir(FDataDir + QStringLiteral("/outbox"))
                   .entryList({QStringLiteral("*.eml")}, QDir::Files)
                   .size());
}
