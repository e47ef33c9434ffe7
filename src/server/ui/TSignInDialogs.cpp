#include "TSignInDialogs.h"

#include "TfrmEnterCheckCode.h"

#include <QLoggingCategory>
#include <QMessageBox>

Q_LOGGING_CATEGORY(lcServerUi, "tavlora.server.ui")

std::unique_ptr<TSignInUi::TCheckCodePrompt> TSignInDialogs::CreateCheckCode(TTVLApiClient& client,
                                                                             const QString& email)
{
    return std::make_unique<TCheckCodePromptDialog>(client, email, FMainForm.data());
}

void TSignInDialogs::ShowRegister(TTVLApiClient& client)
{
    TfrmRegister dialog(FMainForm.data());
    dialog.APIClient = &client;
    dialog.ShowMessage = ShowMessage;
    dialog.ShowModal();
}

void TSignInDialogs::ShowInformation(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Information, QString(), text, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("msgInformation"));
    box.exec();
}
