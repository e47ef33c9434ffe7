// tavlora-service: the board service of Tavlora. See --help.

#include "ApiText.h"
#include "ServiceLog.h"
#include "TService.h"
#include "TSqliteStore.h"

#include <csignal>
#include <cstdio>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int gSignalPipe[2] = {-1, -1};

void OnSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(gSignalPipe[1], &byte, 1);
}

// SIGINT and SIGTERM end the event loop, so the service shuts down in order.
void QuitOnSignals()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, gSignalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        char byte;
        [[maybe_unused]] const auto read = ::read(gSignalPipe[0], &byte, 1);
        qCInfo(lcService) << "stopping";
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int Fail(const QString& text)
{
    std::fprintf(stderr, "tavlora-service: %s\n", qPrintable(text));
    return 1;
}

// The administration sub-commands work on the database directly; the service may be running.
int RunCommand(const QString& dataDir, const QStringList& args)
{
    if (!QDir().mkpath(dataDir))
        return Fail(QStringLiteral("cannot create the data folder ") + dataDir);
    TSqliteStore store(TService::DatabasePath(dataDir));
    QString error;
    if (!store.Open(&error)) return Fail(QStringLiteral("cannot open the database: ") + error);
    const qint64 now = QDateTime::currentSecsSinceEpoch();

    if (args.size() == 3 && args[0] == u"account" && args[1] == u"add") {
        const QString email = args[2].trimmed();
        if (!ApiText::CheckEMail(email))
            return Fail(QStringLiteral("not an e-mail address: ") + email);
        if (const auto existing = store.AccountByEMail(email)) {
            std::fprintf(stderr, "tavlora-service: %s already has an account\n", qPrintable(email));
            std::printf("%s\n", qPrintable(existing->RegCode));
            return 0;
        }
        for (int attempt = 0; attempt < 5; ++attempt) {
            const QString regCode = ApiText::NewUuid();
            const TInsertResult result = store.CreateAccount(regCode, email, now);
            if (result == TInsertResult::Ok) {
                std::printf("%s\n", qPrintable(regCode));
                return 0;
            }
            if (result == TInsertResult::Failed) break;
        }
        return Fail(QStringLiteral("cannot create the account"));
    }
    if (args.size() == 4 && args[0] == u"school" && args[1] == u"add") {
        QString code, name;
        if (!ApiText::CleanName(args[2], 12, code) || code.contains(u' ') || code == u"Own" ||
            !ApiText::CleanName(args[3], 150, name))
            return Fail(QStringLiteral("a school needs a code of 1 to 12 characters without "
                                       "blanks (not \"Own\") and a name"));
        if (!store.CreateSchool(code, name))
            return Fail(QStringLiteral("cannot create the school (does the code exist?)"));
        std::printf("%s\n", qPrintable(code));
        return 0;
    }
    if ((args.size() == 4 || args.size() == 5) && args[0] == u"school" && args[1] == u"member" &&
        (args.size() == 4 || args[4] == u"--admin" || args[4] == u"admin")) {
        const auto account = store.AccountByEMail(args[3].trimmed());
        if (!account) return Fail(QStringLiteral("no account for ") + args[3]);
        if (!store.AddMember(args[2], account->Id, args.size() == 5))
            return Fail(QStringLiteral("no school ") + args[2]);
        return 0;
    }
    return Fail(QStringLiteral("unknown command; see --help"));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tavlora-service"));
    qSetMessagePattern(QStringLiteral("%{time yyyy-MM-dd hh:mm:ss.zzz} %{if-warning}warning "
                                      "%{endif}%{if-critical}error %{endif}%{category}: "
                                      "%{message}"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "The Tavlora board service: accounts, rooms, workplaces and collections behind a JSON "
        "API, and live notifications over WebSocket.\n\n"
        "Commands (they work on the database of --data and end at once):\n"
        "  account add EMAIL              create an account; prints its account code\n"
        "  school add CODE NAME           create a school\n"
        "  school member CODE EMAIL [admin]  put an account into a school\n\n"
        "Confirmation codes are written as mail files into DATA/outbox/."));
    parser.addHelpOption();
    const QCommandLineOption listen(
        QStringLiteral("listen"),
        QStringLiteral("Address to listen on (default 127.0.0.1; 0.0.0.0 for a school network)."),
        QStringLiteral("ADDRESS"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption apiPort(QStringLiteral("api-port"),
                                     QStringLiteral("Port of the JSON API (default 13208; 0 "
                                                    "picks a free port)."),
                                     QStringLiteral("PORT"), QStringLiteral("13208"));
    const QCommandLineOption wsPort(QStringLiteral("ws-port"),
                                    QStringLiteral("Port of the live notifications (default "
                                                   "13207; 0 picks a free port)."),
                                    QStringLiteral("PORT"), QStringLiteral("13207"));
    const QString defaultData =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
        QStringLiteral("/tavlora-service");
    const QCommandLineOption data(
        QStringLiteral("data"),
        QStringLiteral("Data folder: database, outbox/ of codes, publish/ of program updates "
                       "(created on first start; default %1).")
            .arg(defaultData),
        QStringLiteral("DIR"), defaultData);
    const QCommandLineOption tlsCert(QStringLiteral("tls-cert"),
                                     QStringLiteral("PEM certificate (chain): serve HTTPS and "
                                                    "WSS instead of HTTP and WS."),
                                     QStringLiteral("FILE"));
    const QCommandLineOption tlsKey(QStringLiteral("tls-key"),
                                    QStringLiteral("PEM private key of the certificate."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption logCodes(QStringLiteral("log-codes"),
                                      QStringLiteral("Also write issued confirmation codes to "
                                                     "the log."));
    const QCommandLineOption openRegistration(
        QStringLiteral("open-registration"),
        QStringLiteral("Let anyone register by e-mail (otherwise only accounts made with "
                       "\"account add\" can sign in)."));
    const QCommandLineOption maxUpload(QStringLiteral("max-upload-kb"),
                                       QStringLiteral("Largest collection or room file taken, "
                                                      "in KiB (default 4096)."),
                                       QStringLiteral("KB"), QStringLiteral("4096"));
    const QCommandLineOption codeTtl(QStringLiteral("code-ttl-seconds"),
                                     QStringLiteral("For testing: lifetime of a confirmation "
                                                    "code (default 600)."),
                                     QStringLiteral("SECONDS"), QStringLiteral("600"));
    const QCommandLineOption keepAlive(QStringLiteral("keep-alive-seconds"),
                                       QStringLiteral("For testing: seconds between the "
                                                      "\"active\" messages (default 15)."),
                                       QStringLiteral("SECONDS"), QStringLiteral("15"));
    const QCommandLineOption idle(QStringLiteral("idle-seconds"),
                                  QStringLiteral("Seconds after which a silent HTTP connection is "
                                                 "closed (default 120)."),
                                  QStringLiteral("SECONDS"), QStringLiteral("120"));
    const QCommandLineOption engine(
        QStringLiteral("engine"),
        QStringLiteral("The UCI chess engine (default: stockfish from PATH or /usr/games; "
                       "\"none\" runs without one)."),
        QStringLiteral("FILE"));
    const QCommandLineOption engineMoveTime(
        QStringLiteral("engine-movetime-ms"),
        QStringLiteral("The engine's think time per move (default 300)."), QStringLiteral("MS"),
        QStringLiteral("300"));
    const QCommandLineOption enginePause(
        QStringLiteral("engine-pause-ms"),
        QStringLiteral("Pause before the engine answers a student's move (default 400)."),
        QStringLiteral("MS"), QStringLiteral("400"));
    parser.addOptions({listen, apiPort, wsPort, data, tlsCert, tlsKey, logCodes, openRegistration,
                       maxUpload, codeTtl, keepAlive, idle, engine, engineMoveTime, enginePause});
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("Optional administration command (see above)."),
                                 QStringLiteral("[command ...]"));
    parser.process(app);

    TServiceOptions options;
    options.DataDir = parser.value(data);
    if (!parser.positionalArguments().isEmpty())
        return RunCommand(options.DataDir, parser.positionalArguments());

    if (!options.Listen.setAddress(parser.value(listen)))
        return Fail(QStringLiteral("not an address: ") + parser.value(listen));
    bool ok1 = false, ok2 = false, ok3 = false, ok4 = false, ok5 = false;
    const uint api = parser.value(apiPort).toUInt(&ok1);
    const uint ws = parser.value(wsPort).toUInt(&ok2);
    const qint64 uploadKb = parser.value(maxUpload).toLongLong(&ok3);
    const qint64 ttl = parser.value(codeTtl).toLongLong(&ok4);
    const int alive = parser.value(keepAlive).toInt(&ok5);
    if (!ok1 || !ok2 || api > 65535 || ws > 65535)
        return Fail(QStringLiteral("a port is a number from 0 to 65535"));
    if (!ok3 || uploadKb < 1 || uploadKb > 1024 * 1024 || !ok4 || ttl < 1 || !ok5 || alive < 1 ||
        alive > 20)
        return Fail(QStringLiteral("bad --max-upload-kb, --code-ttl-seconds or "
                                   "--keep-alive-seconds (1 to 20)"));
    if (parser.isSet(tlsCert) != parser.isSet(tlsKey))
        return Fail(QStringLiteral("--tls-cert and --tls-key go together"));
    options.ApiPort = quint16(api);
    options.WsPort = quint16(ws);
    options.TlsCert = parser.value(tlsCert);
    options.TlsKey = parser.value(tlsKey);
    options.LogCodes = parser.isSet(logCodes);
    options.OpenRegistration = parser.isSet(openRegistration);
    options.MaxUploadBytes = uploadKb * 1024;
    options.CodeTtlSeconds = ttl;
    options.KeepAliveSeconds = alive;
    bool ok6 = false, ok7 = false, ok8 = false;
    options.IdleSeconds = parser.value(idle).toInt(&ok8);
    if (!ok8 || options.IdleSeconds < 1 || options.IdleSeconds > 86400)
        return Fail(QStringLiteral("bad --idle-seconds (1 to 86400)"));
    options.EngineProgram = parser.value(engine);
    options.EngineMoveTimeMs = parser.value(engineMoveTime).toInt(&ok6);
    options.EnginePauseMs = parser.value(enginePause).toInt(&ok7);
    if (!ok6 || !ok7 || options.EngineMoveTimeMs < 10 || options.EngineMoveTimeMs > 10000 ||
        options.EnginePauseMs < 0 || options.EnginePauseMs > 10000)
        return Fail(QStringLiteral("bad --engine-movetime-ms (10 to 10000) or --engine-pause-ms "
                                   "(0 to 10000)"));

    QuitOnSignals();
    TService service(options);
    QString error;
    if (!service.Start(&error)) return Fail(error);
    std::printf("tavlora-service listening api=%u ws=%u\n", unsigned(service.ApiPort()),
                unsigned(service.WsPort()));
    std::fflush(stdout);
    const int status = app.exec();
    service.Stop();
    qCInfo(lcService) << "stopped";
    return status;
}
