#include "TActivityIndicator.h"

#include <QPainter>

TActivityIndicator::TActivityIndicator(QWidget* parent) : QWidget(parent)
{
    FTimer.setInterval(50);
    connect(&FTimer, &QTimer::timeout, this, [this] {
        FAngle = (FAngle + 30) % 360;
        update();
    });
}

void TActivityIndicator::setAnimating(bool Value)
{
    if (Value == Animating()) return;
    if (Value)
        FTimer.start();
    else
        FTimer.stop();
    update();
}

void TActivityIndicator::paintEvent(QPaintEvent*)
{
    if (!Animating()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int side = qMin(width(), height()) - 12;
    if (side <= 0) return;
    const QRectF ring((width() - side) / 2.0, (height() - side) / 2.0, side, side);
    QPen pen(palette().color(QPalette::Highlight), 4, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(pen);
    // Qt counts arcs in sixteenths of a degree, counter-clockwise.
    painter.drawArc(ring, -FAngle * 16, 270 * 16);
}
