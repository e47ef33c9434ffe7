#pragma once

#include "TSynchronizer.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QTimer;
class TActivityIndicator;
class TConfig;

// The synchronisation window: each modal showing runs the steps of TSynchronizer from its
// timer, one step per tick 500 ms apart, shows the current step and its progress, and closes
// itself (accepted) when the steps are done. Made once with the settings holder; the callers
// read the holder's CollectionsOnServer, RoomsOnServer and JSSchool after exec() returns.
class TfrmSynhronize : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmSynhronize(TConfig& Holder, QWidget* parent = nullptr);
    ~TfrmSynhronize() override;

    TSynchronizer& Synchronizer() { return FSynchronizer; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void FormShow();
    void FormHide();
    void TimerStartTimer();
    void ShowState();

    TSynchronizer FSynchronizer;
    TActivityIndicator* aniView;
    QProgressBar* pbStep;
    QLabel* lblCurrentStep;
    QTimer* TimerStart;
};
