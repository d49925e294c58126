// SPDX-License-Identifier: MIT
#pragma once

#include <QLineEdit>

#include <functional>

// The search field. Gaining the focus puts the caret after the text with nothing selected, so a key
// typed next is added after what type-ahead has put there. Escape is offered to onCancelOperation
// first; when it answers true the key is handled.
class NonSelectingTextField : public QLineEdit {
public:
    using QLineEdit::QLineEdit;

    std::function<bool()> onCancelOperation;

    // Takes the focus within its window (the panel never activates) and places the caret at the end.
    void becomeFirstResponder();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};
