// SPDX-License-Identifier: MIT
#include "linkpreview/URLPreviewService.h"

#include "platform/Dispatch.h"

URLPreviewService& URLPreviewService::shared() {
    static URLPreviewService* instance = new URLPreviewService;
    return *instance;
}

// Placeholder until the loader lands: answers "no preview" on the main thread.
void URLPreviewService::fetchPreview(const QString& urlString, Completion completion) {
    Q_UNUSED(urlString);
    Dispatch::onMain([completion = std::move(completion)] { completion(std::nullopt); });
}
