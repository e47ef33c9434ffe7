#pragma once

#include <QString>

// The main window's side of the upload thread's report: its status cell lblCountFilesToUpload
// takes the pending count as its tag and the text to show. Called on the UI thread only, and
// only while the thread's ShowInMain is on.
class IUploadReport
{
public:
    virtual ~IUploadReport() = default;

    virtual void ShowCountToSend(int Count, const QString& Text) = 0;
};
