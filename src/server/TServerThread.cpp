#include "TServerThread.h"

#include "ServerLog.h"

#include <chrono>
#include <QCoreApplication>
#include <QDeadlineTimer>

TServerThread::TServerThread(QObject* parent) : QThread(parent) {}

TServerThread::~TServerThread()
{
    if (isRunning() && !StopAndWait(5000)) {
        qCCritical(lcServer) << objectName() << "did not end; waiting on";
        wait();
    }
}

void TServerThread::Stop()
{
    requestInterruption();
    FCancel->Cancel();
    std::lock_guard lock(FPauseMutex);
    FPauseWake.notify_all();
}

bool TServerThread::StopAndWait(int timeoutMs)
{
    Stop();
    if (QThread::currentThread() == this) return false; // it would wait for itself
    const bool ownThread = QThread::currentThread() == thread();
    QDeadlineTimer deadline(timeoutMs);
    while (!wait(QDeadlineTimer(5))) {
        // Only this object's queued calls: no timers, no input, no other re-entrancy.
        if (ownThread) QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
        if (deadline.hasExpired()) return isFinished();
    }
    return true;
}

void TServerThread::setFreeOnTerminate(bool free)
{
    disconnect(FFreeOnTerminate);
    FFreeOnTerminate = free ? connect(this, &QThread::finished, this, &QObject::deleteLater)
                            : QMetaObject::Connection();
}

bool TServerThread::HandOff(const std::function<void()>& work)
{
    bool ran = false;
    const auto run = [this, &work, &ran] {
        if (isInterruptionRequested()) return;
        work();
        ran = true;
    };
    if (QThread::currentThread() == thread())
        run();
    else
        QMetaObject::invokeMethod(this, run, Qt::BlockingQueuedConnection);
    return ran;
}

void TServerThread::Pause(int ms)
{
    std::unique_lock lock(FPauseMutex);
    FPauseWake.wait_for(lock, std::chrono::milliseconds(ms),
                        [this] { return isInterruptionRequested(); });
}
