// SPDX-License-Identifier: MIT
#include "panel/NonSelectingTextField.h"

#include <QKeyEvent>

void NonSelectingTextField::becomeFirstResponder() {
    setFocus(Qt::OtherFocusReason);
    deselect();
    setCursorPosition(static_cast<int>(text().size()));
}

void NonSelectingTextField::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    deselect();
    setCursorPosition(static_cast<int>(text().size()));
}

void NonSelectingTextField::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && onCancelOperation && onCancelOperation()) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}
