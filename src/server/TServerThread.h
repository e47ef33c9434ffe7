#pragma once

#include "THttpClient.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <QThread>

// A worker loop of the server link. run() loops until isInterruptionRequested(); Stop also
// cuts the running request short, so a stop never waits for a slow server. The object lives on
// the thread that made it (the UI thread), and the loop hands work to that thread through it.
class TServerThread : public QThread
{
    Q_OBJECT
public:
    explicit TServerThread(QObject* parent = nullptr);
    // Stops and waits when the loop still runs.
    ~TServerThread() override;

    // Tells the loop to end after its current pass, ending its request at once. Any thread.
    void Stop();
    // Stop, then wait at most timeoutMs for run() to end; true when it has. On the object's own
    // thread the hand-offs the worker is waiting for are run meanwhile (they do nothing once
    // stopped), so the two threads never wait on each other.
    bool StopAndWait(int timeoutMs = 5000);
    // The object deletes itself (deleteLater) when the loop has ended.
    void setFreeOnTerminate(bool free);

protected:
    // Runs work on the object's thread and waits for it; false when it did not run because the
    // loop was told to stop. Worker thread only.
    bool HandOff(const std::function<void()>& work);
    // Sleeps, or less when Stop comes meanwhile.
    void Pause(int ms);
    // Given to every request of the loop, so that Stop ends it.
    const std::shared_ptr<THttpCancel>& CancelHandle() const { return FCancel; }

private:
    std::shared_ptr<THttpCancel> FCancel = std::make_shared<THttpCancel>();
    std::mutex FPauseMutex;
    std::condition_variable FPauseWake;
    QMetaObject::Connection FFreeOnTerminate;
};
