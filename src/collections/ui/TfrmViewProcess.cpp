#include "TfrmViewProcess.h"

#include "LangWidgets.h"
#include "TActivityIndicator.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>

TfrmViewProcess::TfrmViewProcess(QWidget* parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("frmViewProcess"));
    aniView = new TActivityIndicator(this);
    aniView->setObjectName(QStringLiteral("aniView"));
    aniView->setFixedSize(50, 50);
    lblInfo = new QLabel(this);
    lblInfo->setObjectName(QStringLiteral("lblInfo"));
    lblInfo->setAlignment(Qt::AlignCenter);
    pbStep = new QProgressBar(this);
    pbStep->setObjectName(QStringLiteral("pbStep"));
    pbStep->setTextVisible(false);
    pbStep->setFixedHeight(12);

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(aniView, 0, 0, 2, 1);
    layout->addWidget(lblInfo, 0, 1);
    layout->addWidget(pbStep, 1, 1);
    resize(535, 51);
    ApplyForm(this);
}

void TfrmViewProcess::ShowProcess(int Maximum)
{
    // A 0..0 range would turn the bar into a busy indicator.
    pbStep->setRange(0, qMax(1, Maximum));
    pbStep->setValue(0);
    CentreOverParent();
    aniView->setAnimating(true);
    show();
    raise();
}

void TfrmViewProcess::StepProcess()
{
    if (pbStep->value() < pbStep->maximum()) pbStep->setValue(pbStep->value() + 1);
}

void TfrmViewProcess::SetInfo(const QString& Text)
{
    lblInfo->setText(Text);
}

void TfrmViewProcess::ProcessEvents()
{
    QCoreApplication::processEvents();
}

void TfrmViewProcess::HideProcess()
{
    aniView->setAnimating(false);
    hide();
}

void TfrmViewProcess::CentreOverParent()
{
    const QWidget* over = parentWidget() ? parentWidget()->window() : nullptr;
    QRect area = over && over->isVisible() ? over->frameGeometry() : QRect();
    if (area.isEmpty() && screen()) area = screen()->availableGeometry();
    if (!area.isEmpty()) move(area.center() - rect().center());
}
