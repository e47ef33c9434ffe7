#pragma once

#include <QString>

// The progress window's side of a long task (TfrmViewProcess: bar pbStep, label lblInfo). The
// window is made when shown and freed when hidden; UI thread only.
class IViewProcess
{
public:
    virtual ~IViewProcess() = default;

    // Shows the window with the bar at 0 of Maximum.
    virtual void ShowProcess(int Maximum) = 0;
    // The bar grows by 1.
    virtual void StepProcess() = 0;
    // The label's text.
    virtual void SetInfo(const QString& Text) = 0;
    // Lets the UI handle its pending events, so the window repaints and stays responsive.
    virtual void ProcessEvents() = 0;
    // Hides and frees the window.
    virtual void HideProcess() = 0;
};
