#pragma once

#include <functional>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QLineEdit>
#include <QList>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <QTimer>

// Drives modal dialogs from a script: every time a dialog window is shown, the next step runs,
// posted so that the dialog's own event loop is running by then. A dialog that no step expects
// is rejected, so a broken sequence fails instead of hanging.
class TModalDriver : public QObject
{
public:
    using TAction = std::function<void(QDialog*)>;
    struct TStep
    {
        QString Dialog; // objectName of the dialog expected to show
        TAction Action;
    };

    explicit TModalDriver(QList<TStep> steps) : FSteps(std::move(steps))
    {
        qApp->installEventFilter(this);
    }
    ~TModalDriver() override { qApp->removeEventFilter(this); }

    QStringList Shown;  // objectNames, in the order the dialogs showed
    QStringList Errors; // what went against the script
    bool Done() const { return FSteps.isEmpty(); }

    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() != QEvent::Show || !object->isWidgetType()) return false;
        auto* dialog = qobject_cast<QDialog*>(object);
        if (!dialog || !dialog->isWindow()) return false;
        Shown.append(dialog->objectName());
        if (FSteps.isEmpty()) {
            Errors.append("unexpected " + dialog->objectName());
            QTimer::singleShot(0, dialog, &QDialog::reject);
            return false;
        }
        const TStep step = FSteps.takeFirst();
        if (step.Dialog != dialog->objectName())
            Errors.append("expected " + step.Dialog + ", shown " + dialog->objectName());
        QTimer::singleShot(0, dialog, [dialog, action = step.Action] {
            if (action) action(dialog);
        });
        return false;
    }

private:
    QList<TStep> FSteps;
};

namespace Drive {

inline void Type(QDialog* dialog, const char* edit, const QString& text)
{
    auto* line = dialog->findChild<QLineEdit*>(QLatin1String(edit));
    QVERIFY2(line, edit);
    line->clear();
    QTest::keyClicks(line, text);
}

inline void Click(QDialog* dialog, const char* button)
{
    auto* push = dialog->findChild<QPushButton*>(QLatin1String(button));
    QVERIFY2(push, button);
    QTest::mouseClick(push, Qt::LeftButton);
}

} // namespace Drive
