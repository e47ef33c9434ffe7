#pragma once

#include "TSignInUi.h"

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;
class TTVLApiClient;

// The confirmation-code dialog of the sign-in: the six-digit code the service sent for the
// account (code way) or for the e-mail address (e-mail way).
class TfrmEnterCheckCode : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kClientWidth = 316;
    static constexpr int kClientHeight = 92;

    explicit TfrmEnterCheckCode(QWidget* parent = nullptr);
    ~TfrmEnterCheckCode() override;

    bool BreakFlag = false; // the user aborted
    bool Success = false;   // a code was accepted
    TTVLApiClient* APIClient = nullptr;
    QString EMail; // the address of the e-mail way; empty on the code way

    // The process-wide reference to the current confirmation-code dialog.
    static TfrmEnterCheckCode* Current();
    static void setCurrent(TfrmEnterCheckCode* dialog);

    void FormShow();
    void btnEnterCodeClick();
    void btnRetryClick();
    void btnBreakClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLabel* lblEnterCheckCode;
    QLineEdit* edtCode;
    QPushButton* btnEnterCode;
    QPushButton* btnRetry;
    QPushButton* btnBreak;
};

// One sign-in sequence's confirmation-code dialog: made into the process-wide reference, and
// hidden, freed and cleared from it when this object goes, on every path.
class TCheckCodePromptDialog : public TSignInUi::TCheckCodePrompt
{
public:
    TCheckCodePromptDialog(TTVLApiClient& client, const QString& email, QWidget* mainForm);
    ~TCheckCodePromptDialog() override;
    TCheckCodePromptDialog(const TCheckCodePromptDialog&) = delete;
    TCheckCodePromptDialog& operator=(const TCheckCodePromptDialog&) = delete;

    TSignInUi::TCheckCodeResult ShowModal() override;
    TfrmEnterCheckCode* Dialog() const { return FDialog; }

private:
    TfrmEnterCheckCode* FDialog;
};

// Centres a dialog on the main form, or on the screen when there is none yet.
void CentreOnMainForm(QWidget* dialog);
