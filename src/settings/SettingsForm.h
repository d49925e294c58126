// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class QLabel;
class QVBoxLayout;
class QWidget;

// The grouped-form look of the settings pages: a section is an optional header, a rounded box of
// rows, and an optional footer.
namespace SettingsForm {

struct Section {
    QWidget* box;      // add rows to box->layout()
    QVBoxLayout* rows; // the box's layout
};

Section addSection(QVBoxLayout* page, const QString& header, const QString& footer);
// A row with a label on the left and a control on the right.
void addRow(Section& section, const QString& label, QWidget* control);
QLabel* secondaryLabel(const QString& text, int pointSize, QWidget* parent = nullptr);

} // namespace SettingsForm
