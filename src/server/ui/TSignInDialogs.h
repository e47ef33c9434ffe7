#pragma once

#include "TfrmRegister.h"
#include "TSignInUi.h"

#include <QLoggingCategory>
#include <QPointer>
#include <QWidget>

Q_DECLARE_LOGGING_CATEGORY(lcServerUi)

// The sign-in's dialogs as the API client's Connect asks for them.
class TSignInDialogs : public TSignInUi
{
public:
    // The dialogs are centred on the main form when there is one.
    explicit TSignInDialogs(QWidget* mainForm = nullptr) : FMainForm(mainForm) {}

    std::unique_ptr<TCheckCodePrompt> CreateCheckCode(TTVLApiClient& client,
                                                      const QString& email) override;
    void ShowRegister(TTVLApiClient& client) override;

    // How the registration dialog's messages are shown (tests record them instead).
    TfrmRegister::TShowMessage ShowMessage = &TSignInDialogs::ShowInformation;

    // An information box with one OK button, objectName "msgInformation".
    static void ShowInformation(QWidget* parent, const QString& text);

private:
    QPointer<QWidget> FMainForm;
};
