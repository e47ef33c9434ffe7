#pragma once

#include "IViewProcess.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class TActivityIndicator;

// The generic progress window of long tasks on the UI thread (loading a collection, creating
// one): no border, always on top, centred over its parent (the main window) or the screen.
// Shown without blocking the caller, which reports its progress through IViewProcess.
class TfrmViewProcess : public QDialog, public IViewProcess
{
    Q_OBJECT
public:
    explicit TfrmViewProcess(QWidget* parent = nullptr);

    void ShowProcess(int Maximum) override;
    void StepProcess() override;
    void SetInfo(const QString& Text) override;
    void ProcessEvents() override;
    void HideProcess() override;

private:
    void CentreOverParent();

    TActivityIndicator* aniView;
    QLabel* lblInfo;
    QProgressBar* pbStep;
};
