// SPDX-License-Identifier: MIT
#pragma once

#include "linkpreview/URLPreview.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

// Turns a web link into a preview. The completion runs exactly once, on the main thread.
class URLPreviewService : public QObject {
public:
    using Completion = std::function<void(std::optional<URLPreview>)>;

    static URLPreviewService& shared();

    void fetchPreview(const QString& urlString, Completion completion);
};
