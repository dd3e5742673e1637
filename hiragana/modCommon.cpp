#include "modCommon.h"

#include <QPainter>
#include <QWidget>

namespace hiragana {

namespace {

MessageHandler& handler() {
    static MessageHandler current;
    return current;
}

QWidget* named(QWidget* form, const QString& name) {
    if (name.isEmpty()) {
        return nullptr;
    }
    return form->findChild<QWidget*>(name);
}

} // namespace

void SetClientSize(QWidget* form, int width, int height) {
    CMN_SetWindowSize(form, width, height);
}

void ArrangeFrames(QWidget* form, const QString& practiceFrame, const QString& recordFrame,
                   const QString& helpButton, const QString& graphButton, const QString& endButton) {
    if (!form) {
        return;
    }
    CMN_SetFrameSize(form, named(form, practiceFrame), named(form, recordFrame), named(form, helpButton),
                     named(form, graphButton), named(form, endButton));
    for (QWidget* frame : {named(form, practiceFrame), named(form, recordFrame)}) {
        if (frame) {
            frame->hide(); // only their rectangles are used, for painting
        }
    }
}

void PaintFrames(QWidget* form, QPainter& painter, QWidget* practiceFrame, QWidget* recordFrame,
                 COLORREF fill) {
    CMN_RedrawFrame(form, painter, practiceFrame, recordFrame, fill);
}

void ShowMessage(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text) {
    if (handler()) {
        handler()(parent, icon, caption, text);
        return;
    }
    QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
    box.exec();
}

void ShowNotice(QWidget* parent, const QString& topic, QMessageBox::Icon icon, const QString& caption,
                const QString& text) {
    if (handler()) {
        handler()(parent, icon, caption, text);
        return;
    }
    CMN_ShowMessage(parent, icon, caption, text, topic + QStringLiteral("Message"), topic);
}

void SetMessageHandler(MessageHandler replacement) {
    handler() = std::move(replacement);
}

} // namespace hiragana
