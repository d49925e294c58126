// SPDX-License-Identifier: MIT
#include "settings/SettingsForm.h"

#include "settings/ToggleStyle.h"

#include <QAbstractButton>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QPointer>
#include <QVBoxLayout>

namespace SettingsForm {

QLabel* secondaryLabel(const QString& text, int pointSize, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    QFont font = label->font();
    font.setPointSize(pointSize);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText));
    label->setPalette(palette);
    return label;
}

Section addSection(QVBoxLayout* page, const QString& header, const QString& footer) {
    if (!header.isEmpty()) {
        auto* title = new QLabel(header);
        QFont font = title->font();
        font.setBold(true);
        title->setFont(font);
        page->addWidget(title);
    }
    auto* box = new QFrame;
    box->setObjectName(QStringLiteral("settingsSection"));
    // Set before the style sheet so the sheet's style wraps it and the rows inherit it.
    box->setStyle(ToggleStyle::shared());
    box->setStyleSheet(QStringLiteral("#settingsSection { border: 1px solid palette(mid); border-radius: 8px; "
                                      "background: palette(base); }"));
    auto* rows = new QVBoxLayout(box);
    rows->setContentsMargins(12, 8, 12, 8);
    rows->setSpacing(8);
    page->addWidget(box);
    if (!footer.isEmpty())
        page->addWidget(secondaryLabel(footer, 9));
    page->addSpacing(12);
    return {box, rows};
}

namespace {
// A click on a switch's label flips the switch, as on desktop settings pages.
class LabelClickToggles : public QObject {
public:
    LabelClickToggles(QLabel* label, QAbstractButton* button) : QObject(label), m_button(button) {
        label->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonRelease && m_button && m_button->isEnabled()) {
            auto* release = static_cast<QMouseEvent*>(event);
            if (release->button() == Qt::LeftButton &&
                static_cast<QWidget*>(watched)->rect().contains(release->position().toPoint())) {
                m_button->click();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QPointer<QAbstractButton> m_button;
};
} // namespace

void addRow(Section& section, const QString& label, QWidget* control) {
    auto* row = new QHBoxLayout;
    auto* text = new QLabel(label, section.box);
    text->setBuddy(control);
    if (auto* button = qobject_cast<QAbstractButton*>(control); button && button->isCheckable())
        new LabelClickToggles(text, button);
    row->addWidget(text);
    row->addStretch(1);
    control->setParent(section.box);
    row->addWidget(control);
    section.rows->addLayout(row);
}

} // namespace SettingsForm
