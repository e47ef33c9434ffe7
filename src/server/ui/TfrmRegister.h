#pragma once

#include <functional>
#include <QDialog>
#include <QString>

class QGroupBox;
class QLineEdit;
class QPushButton;
class TTVLApiClient;

// The registration dialog: the two ways in for a computer without an account code, by account
// code or by e-mail address. It hides itself while the confirmation-code dialog is open.
class TfrmRegister : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kClientWidth = 544;
    static constexpr int kClientHeight = 157;
    using TShowMessage = std::function<void(QWidget* parent, const QString& text)>;

    explicit TfrmRegister(QWidget* parent = nullptr);

    TTVLApiClient* APIClient = nullptr;
    // How a message reaches the user: an information box unless replaced.
    TShowMessage ShowMessage;

    // Modal until the dialog is closed; unlike exec() it outlives the dialog hiding itself.
    int ShowModal();

    void FormShow();
    void btnRegisterRegCodeClick();
    void btnEnterEMailClick();
    void btnCloseClick();

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QGroupBox* gpEnterRegCode;
    QLineEdit* edtRegCode;
    QPushButton* btnRegisterRegCode;
    QGroupBox* gpEnterEMail;
    QLineEdit* edtEMail;
    QPushButton* btnEnterEMail;
    QPushButton* btnClose;
    bool FFinished = false;
};
