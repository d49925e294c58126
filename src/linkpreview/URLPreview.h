// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The result of a link fetch; every part optional.
struct URLPreview {
    std::optional<QString> title;
    std::optional<QString> description;
    std::optional<QByteArray> imageData; // PNG fitted into 400 x 400
};
