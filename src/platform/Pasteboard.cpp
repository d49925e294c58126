// SPDX-License-Identifier: MIT
#include "platform/Pasteboard.h"

#include "platform/x11/ClipboardPasteboard.h"

namespace {
std::unique_ptr<Pasteboard>& generalInstance() {
    static std::unique_ptr<Pasteboard> instance;
    return instance;
}
} // namespace

Pasteboard& Pasteboard::general() {
    auto& instance = generalInstance();
    if (!instance)
        instance = std::make_unique<ClipboardPasteboard>();
    return *instance;
}

void Pasteboard::setGeneral(std::unique_ptr<Pasteboard> pasteboard) {
    generalInstance() = std::move(pasteboard);
}
