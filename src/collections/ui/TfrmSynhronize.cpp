#include "TfrmSynhronize.h"

#include "LangWidgets.h"
#include "TActivityIndicator.h"

#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>

TfrmSynhronize::TfrmSynhronize(TConfig& Holder, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      FSynchronizer(Holder)
{
    setObjectName(QStringLiteral("frmSynhronize"));
    setModal(true);

    aniView = new TActivityIndicator(this);
    aniView->setObjectName(QStringLiteral("aniView"));
    aniView->setFixedSize(50, 50);
    lblCurrentStep = new QLabel(this);
    lblCurrentStep->setObjectName(QStringLiteral("lblCurrentStep"));
    lblCurrentStep->setAlignment(Qt::AlignCenter);
    pbStep = new QProgressBar(this);
    pbStep->setObjectName(QStringLiteral("pbStep"));
    pbStep->setTextVisible(false);
    pbStep->setFixedHeight(25);

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(aniView, 0, 0);
    layout->addWidget(lblCurrentStep, 0, 1);
    layout->addWidget(pbStep, 1, 0, 1, 2);
    layout->setColumnStretch(1, 1);
    resize(517, 50);

    TimerStart = new QTimer(this);
    TimerStart->setObjectName(QStringLiteral("TimerStart"));
    TimerStart->setInterval(TSynchronizer::kStepSpacingMs);
    TimerStart->setSingleShot(true);
    connect(TimerStart, &QTimer::timeout, this, &TfrmSynhronize::TimerStartTimer);

    FSynchronizer.OnViewChanged = [this] { ShowState(); };
}

TfrmSynhronize::~TfrmSynhronize()
{
    FSynchronizer.OnViewChanged = nullptr;
}

void TfrmSynhronize::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TfrmSynhronize::hideEvent(QHideEvent* event)
{
    if (!event->spontaneous()) FormHide();
    QDialog::hideEvent(event);
}

void TfrmSynhronize::FormShow()
{
    if (const QScreen* where = screen())
        move(where->availableGeometry().center() - rect().center());
    aniView->setAnimating(false);
    FSynchronizer.Start();
    ApplyForm(this);
    TimerStart->stop();
    TimerStart->start(FSynchronizer.StepSpacingMs());
}

void TfrmSynhronize::FormHide()
{
    TimerStart->stop();
    aniView->setAnimating(false);
}

void TfrmSynhronize::TimerStartTimer()
{
    TimerStart->stop();
    aniView->setAnimating(true);
    const int delay = FSynchronizer.RunNext();
    // Closed meanwhile (the user may close the window): the run ends here.
    if (!isVisible()) return;
    if (delay < 0) {
        accept();
        return;
    }
    TimerStart->start(delay);
}

void TfrmSynhronize::ShowState()
{
    lblCurrentStep->setText(FSynchronizer.StepText());
    // A range of 0 to 0 would turn the bar into a busy indicator.
    const int maximum = qMax(1, FSynchronizer.BarMaximum());
    pbStep->setRange(0, maximum);
    pbStep->setValue(qBound(0, FSynchronizer.BarValue(), maximum));
}
