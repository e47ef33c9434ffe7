#include "TfrmRegister.h"

#include "Lang.h"
#include "LangWidgets.h"
#include "TfrmEnterCheckCode.h"
#include "TSignInDialogs.h"
#include "TTVLApiClient.h"

#include <QEventLoop>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {

QLineEdit* MakeEdit(const QString& name, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    QFont font = edit->font();
    font.setPointSize(16);
    edit->setFont(font);
    return edit;
}

QPushButton* MakeButton(const QString& name, QWidget* parent)
{
    auto* button = new QPushButton(parent);
    button->setObjectName(name);
    button->setAutoDefault(false); // Enter is handled by each edit for its own way
    return button;
}

} // namespace

TfrmRegister::TfrmRegister(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      ShowMessage(&TSignInDialogs::ShowInformation)
{
    setObjectName(QStringLiteral("frmRegister"));
    setFixedSize(kClientWidth, kClientHeight);

    gpEnterRegCode = new QGroupBox(this);
    gpEnterRegCode->setObjectName(QStringLiteral("gpEnterRegCode"));
    edtRegCode = MakeEdit(QStringLiteral("edtRegCode"), gpEnterRegCode);
    edtRegCode->setAlignment(Qt::AlignCenter);
    btnRegisterRegCode = MakeButton(QStringLiteral("btnRegisterRegCode"), gpEnterRegCode);
    auto* codeLayout = new QVBoxLayout(gpEnterRegCode);
    codeLayout->addWidget(edtRegCode);
    codeLayout->addWidget(btnRegisterRegCode);

    gpEnterEMail = new QGroupBox(this);
    gpEnterEMail->setObjectName(QStringLiteral("gpEnterEMail"));
    edtEMail = MakeEdit(QStringLiteral("edtEMail"), gpEnterEMail);
    btnEnterEMail = MakeButton(QStringLiteral("btnEnterEMail"), gpEnterEMail);
    auto* mailLayout = new QVBoxLayout(gpEnterEMail);
    mailLayout->addWidget(edtEMail);
    mailLayout->addWidget(btnEnterEMail);

    btnClose = MakeButton(QStringLiteral("btnClose"), this);

    auto* ways = new QHBoxLayout;
    ways->addWidget(gpEnterRegCode, 3);
    ways->addWidget(gpEnterEMail, 2);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(btnClose);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 6);
    layout->setSpacing(4);
    layout->addLayout(ways);
    layout->addLayout(bottom);

    connect(btnRegisterRegCode, &QPushButton::clicked, this,
            &TfrmRegister::btnRegisterRegCodeClick);
    connect(edtRegCode, &QLineEdit::returnPressed, this, &TfrmRegister::btnRegisterRegCodeClick);
    connect(btnEnterEMail, &QPushButton::clicked, this, &TfrmRegister::btnEnterEMailClick);
    connect(edtEMail, &QLineEdit::returnPressed, this, &TfrmRegister::btnEnterEMailClick);
    connect(btnClose, &QPushButton::clicked, this, &TfrmRegister::btnCloseClick);
}

int TfrmRegister::ShowModal()
{
    FFinished = false;
    setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    const auto quit = connect(this, &QDialog::finished, &loop, &QEventLoop::quit);
    show();
    if (!FFinished) loop.exec(QEventLoop::DialogExec);
    disconnect(quit);
    return result();
}

void TfrmRegister::done(int result)
{
    FFinished = true;
    QDialog::done(result);
}

void TfrmRegister::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TfrmRegister::FormShow()
{
    edtRegCode->clear();
    edtEMail->clear();
    ApplyForm(this);
    CentreOnMainForm(this);
}

void TfrmRegister::btnRegisterRegCodeClick()
{
    if (!APIClient) return;
    const QString code = edtRegCode->text();
    if (!TTVLApiClient::CheckUUID(code)) return;

    APIClient->setRegCode(code);
    try {
        TCheckCodePromptDialog prompt(*APIClient, QString(), parentWidget());
        hide();
        APIClient->GetCodeToCheckOwner();
        const TSignInUi::TCheckCodeResult result = prompt.ShowModal();
        if (result.Success) {
            edtRegCode->setText(APIClient->RegCode());
            APIClient->GetConnectionIDByToken();
        } else if (result.BreakFlag) {
            APIClient->setRegCode(QString());
        }
    } catch (const std::exception& error) {
        qCWarning(lcServerUi) << "sign-in by code:" << error.what();
    }
    show();

    if (APIClient->RegCode().isEmpty() && ShowMessage)
        ShowMessage(this, Lang(QStringLiteral("ErrorRegCode")));
    if (APIClient->CheckConnected()) accept();
}

void TfrmRegister::btnEnterEMailClick()
{
    if (!APIClient) return;
    const QString email = edtEMail->text();
    if (!TTVLApiClient::CheckEMail(email) || !APIClient->GetCodeToCheckEMail(email)) return;

    APIClient->setRegCode(QString());
    try {
        TCheckCodePromptDialog prompt(*APIClient, email, parentWidget());
        hide();
        const TSignInUi::TCheckCodeResult result = prompt.ShowModal();
        if (result.Success)
            APIClient->Connect(); // account code and token are held now
        else if (result.BreakFlag)
            APIClient->setRegCode(QString());
    } catch (const std::exception& error) {
        qCWarning(lcServerUi) << "sign-in by e-mail:" << error.what();
    }
    show();

    if (APIClient->RegCode().isEmpty() && ShowMessage)
        ShowMessage(this, Lang(QStringLiteral("ErrorEMail")));
    if (APIClient->CheckConnected()) accept();
}

void TfrmRegister::btnCloseClick()
{
    reject();
}
