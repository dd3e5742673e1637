// Window helpers of the drill's windows: client size, the two frames and the panel buttons, their painting,
// and message boxes (which tests replace, so that no test waits for a click).
#pragma once

#include "Common.h"

#include <QMessageBox>
#include <QString>
#include <functional>

class QPainter;
class QWidget;

namespace hiragana {

void SetClientSize(QWidget* form, int width, int height);
// Places the controls of `form` named by the arguments; an empty name, or one that names no control, leaves
// that control as it was.
void ArrangeFrames(QWidget* form, const QString& practiceFrame, const QString& recordFrame,
                   const QString& helpButton, const QString& graphButton, const QString& endButton);
// The record frame's fill and the sunken borders of both frames.
void PaintFrames(QWidget* form, QPainter& painter, QWidget* practiceFrame, QWidget* recordFrame,
                 COLORREF fill);

// Shows a message box with an OK button; returns when it is closed.
void ShowMessage(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text);
// A message that does not block the window, one at a time per `topic`: a newer one closes the older.
void ShowNotice(QWidget* parent, const QString& topic, QMessageBox::Icon icon, const QString& caption,
                const QString& text);
using MessageHandler =
    std::function<void(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text)>;
// Tests record messages (both kinds) instead of showing them; nullptr restores the real message box.
void SetMessageHandler(MessageHandler handler);

} // namespace hiragana
