#pragma once

#include <QTimer>
#include <QWidget>

// The circular activity indicator (aniView) of the progress windows: an arc that turns while
// it is animating and is not drawn otherwise.
class TActivityIndicator : public QWidget
{
    Q_OBJECT
public:
    explicit TActivityIndicator(QWidget* parent = nullptr);

    bool Animating() const { return FTimer.isActive(); }
    void setAnimating(bool Value);

    QSize sizeHint() const override { return {50, 50}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer FTimer;
    int FAngle = 0;
};
