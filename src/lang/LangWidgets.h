#pragma once

#include <QString>

class QObject;
class QWidget;

// Gives the controls of a window or frame their texts from the active table: the key of a
// control is the owner's name, "_" and the control's objectName. Controls inside a nested frame
// (objectName "fr..." or "frm...") or another window are left to that owner.

// Every control of the window, then its caption from the key of the window's own name (an
// empty caption when the table has none).
void ApplyForm(QWidget* form);
// Every control of the frame; the frame's name counts up to its first "_", so frStudentBoard_12
// takes the keys of frStudentBoard.
void ApplyFrame(QWidget* frame);
// One value (text, "|", hint): the text goes to buttons, labels, group boxes, check and radio
// boxes, menu items, menus and tab pages, or becomes the placeholder of a line edit; the hint,
// when the value has one, becomes the tooltip (none when it is empty).
void ApplyLangValue(QObject* control, const QString& value);
