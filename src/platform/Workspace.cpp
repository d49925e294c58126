// SPDX-License-Identifier: MIT
#include "platform/Workspace.h"

#include "platform/x11/X11Workspace.h"

namespace {
std::unique_ptr<Workspace>& sharedInstance() {
    static std::unique_ptr<Workspace> instance;
    return instance;
}
} // namespace

Workspace& Workspace::shared() {
    auto& instance = sharedInstance();
    if (!instance)
        instance = std::make_unique<X11Workspace>();
    return *instance;
}

void Workspace::setShared(std::unique_ptr<Workspace> workspace) {
    sharedInstance() = std::move(workspace);
}
