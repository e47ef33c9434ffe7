#include "TfrmEnterCheckCode.h"

#include "LangWidgets.h"
#include "TTVLApiClient.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {

TfrmEnterCheckCode* gCurrent = nullptr;

QPushButton* MakeButton(const QString& name, QWidget* parent)
{
    auto* button = new QPushButton(parent);
    button->setObjectName(name);
    // Enter in the edit is handled there; a default button would take it a second time.
    button->setAutoDefault(false);
    return button;
}

} // namespace

void CentreOnMainForm(QWidget* dialog)
{
    QRect area;
    if (QWidget* owner = dialog->parentWidget())
        area = owner->window()->frameGeometry();
    else if (QScreen* screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    if (area.isValid()) dialog->move(area.center() - dialog->rect().center());
}

TfrmEnterCheckCode::TfrmEnterCheckCode(QWidget* parent)
    : QDialog(parent,
              Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("frmEnterCheckCode"));
    setFixedSize(kClientWidth, kClientHeight);

    lblEnterCheckCode = new QLabel(this);
    lblEnterCheckCode->setObjectName(QStringLiteral("lblEnterCheckCode"));
    lblEnterCheckCode->setAlignment(Qt::AlignCenter);
    edtCode = new QLineEdit(this);
    edtCode->setObjectName(QStringLiteral("edtCode"));
    edtCode->setAlignment(Qt::AlignCenter);
    QFont font = edtCode->font();
    font.setPointSize(16);
    edtCode->setFont(font);
    btnEnterCode = MakeButton(QStringLiteral("btnEnterCode"), this);
    btnRetry = MakeButton(QStringLiteral("btnRetry"), this);
    btnBreak = MakeButton(QStringLiteral("btnBreak"), this);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(4);
    buttons->addWidget(btnEnterCode);
    buttons->addWidget(btnRetry);
    buttons->addWidget(btnBreak);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setSpacing(3);
    layout->addWidget(lblEnterCheckCode);
    layout->addWidget(edtCode);
    layout->addLayout(buttons);

    connect(btnEnterCode, &QPushButton::clicked, this, &TfrmEnterCheckCode::btnEnterCodeClick);
    connect(edtCode, &QLineEdit::returnPressed, this, &TfrmEnterCheckCode::btnEnterCodeClick);
    connect(btnRetry, &QPushButton::clicked, this, &TfrmEnterCheckCode::btnRetryClick);
    connect(btnBreak, &QPushButton::clicked, this, &TfrmEnterCheckCode::btnBreakClick);
}

TfrmEnterCheckCode::~TfrmEnterCheckCode()
{
    if (gCurrent == this) gCurrent = nullptr;
}

TfrmEnterCheckCode* TfrmEnterCheckCode::Current()
{
    return gCurrent;
}

void TfrmEnterCheckCode::setCurrent(TfrmEnterCheckCode* dialog)
{
    gCurrent = dialog;
}

void TfrmEnterCheckCode::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TfrmEnterCheckCode::FormShow()
{
    ApplyForm(this);
    CentreOnMainForm(this);
    edtCode->clear();
    edtCode->setFocus();
    Success = false;
    BreakFlag = false;
}

void TfrmEnterCheckCode::btnEnterCodeClick()
{
    if (!APIClient) return;
    const QString code = edtCode->text();
    // A code of the wrong form sends nothing; a refused one leaves the dialog as it is.
    const bool accepted = EMail.isEmpty() ? APIClient->CheckCodeConfirm(code)
                                          : APIClient->GetRegCodeByEMail(code, EMail);
    if (!accepted) return;
    Success = true;
    accept();
}

void TfrmEnterCheckCode::btnRetryClick()
{
    // On the e-mail way no account code is held yet, so this sends nothing.
    if (APIClient) APIClient->GetCodeToCheckOwner();
}

void TfrmEnterCheckCode::btnBreakClick()
{
    BreakFlag = true;
    reject();
}

TCheckCodePromptDialog::TCheckCodePromptDialog(TTVLApiClient& client, const QString& email,
                                               QWidget* mainForm)
    : FDialog(new TfrmEnterCheckCode(mainForm))
{
    FDialog->APIClient = &client;
    FDialog->EMail = email;
    TfrmEnterCheckCode::setCurrent(FDialog);
}

TCheckCodePromptDialog::~TCheckCodePromptDialog()
{
    FDialog->hide();
    if (TfrmEnterCheckCode::Current() == FDialog) TfrmEnterCheckCode::setCurrent(nullptr);
    delete FDialog;
}

TSignInUi::TCheckCodeResult TCheckCodePromptDialog::ShowModal()
{
    FDialog->exec();
    return {FDialog->Success, FDialog->BreakFlag};
}
