#include "LangWidgets.h"

#include "Lang.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QTabWidget>

namespace {

bool IsFrameOrWindowName(const QString& name)
{
    static const QRegularExpression pattern(QStringLiteral("^frm?[A-Z]"));
    return pattern.match(name).hasMatch();
}

// A widget whose controls take the keys of their own owner.
bool HasOwnKeys(QObject* object)
{
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget) return false;
    // Popup menus are windows too, but their items belong to the window that made them.
    if (widget->isWindow() && !qobject_cast<QMenu*>(widget)) return true;
    return IsFrameOrWindowName(widget->objectName());
}

void ApplyControls(QObject* owner, const QString& prefix)
{
    for (QObject* child : owner->children()) {
        const QString name = child->objectName();
        if (!name.isEmpty()) {
            const QString value = LangValue(prefix + u'_' + name);
            if (!value.isEmpty()) ApplyLangValue(child, value);
        }
        if (!HasOwnKeys(child)) ApplyControls(child, prefix);
    }
}

QTabWidget* TabsOfPage(QWidget* page)
{
    // A page sits in the tab widget's internal stack.
    QWidget* stack = page->parentWidget();
    auto* tabs = stack ? qobject_cast<QTabWidget*>(stack->parentWidget()) : nullptr;
    return tabs && tabs->indexOf(page) >= 0 ? tabs : nullptr;
}

} // namespace

void ApplyLangValue(QObject* control, const QString& value)
{
    const TLangValue decoded = DecodeLangValue(value);
    if (auto* action = qobject_cast<QAction*>(control)) {
        action->setText(decoded.Text);
        if (decoded.HasHint) action->setToolTip(decoded.Hint);
        return;
    }
    auto* widget = qobject_cast<QWidget*>(control);
    if (!widget) return;
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(decoded.Text);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(decoded.Text);
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        group->setTitle(decoded.Text);
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->setPlaceholderText(decoded.Text);
    } else if (auto* menu = qobject_cast<QMenu*>(widget)) {
        menu->setTitle(decoded.Text);
        if (decoded.HasHint) menu->menuAction()->setToolTip(decoded.Hint);
    } else if (QTabWidget* tabs = TabsOfPage(widget)) {
        const int index = tabs->indexOf(widget);
        tabs->setTabText(index, decoded.Text);
        if (decoded.HasHint) tabs->setTabToolTip(index, decoded.Hint);
        return;
    }
    if (decoded.HasHint) widget->setToolTip(decoded.Hint);
}

void ApplyForm(QWidget* form)
{
    if (!form) return;
    const QString name = form->objectName();
    ApplyControls(form, name);
    form->setWindowTitle(DecodeLangValue(LangValue(name)).Text);
}

void ApplyFrame(QWidget* frame)
{
    if (!frame) return;
    const QString name = frame->objectName();
    const qsizetype cut = name.indexOf(u'_');
    ApplyControls(frame, cut < 0 ? name : name.left(cut));
}
