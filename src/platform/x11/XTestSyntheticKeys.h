// SPDX-License-Identifier: MIT
#pragma once

#include "platform/SyntheticKeys.h"
#include "platform/x11/X11Workspace.h"

#include <memory>

// Synthetic keys through the XTest extension, on a connection of its own (opened on first use).
class XTestSyntheticKeys : public SyntheticKeys {
public:
    XTestSyntheticKeys();
    ~XTestSyntheticKeys() override;

    bool isTrusted() override;
    std::optional<FrontWindow> frontWindow() override;
    bool postPaste(const FrontWindow& target) override;

private:
    struct Connection;
    std::shared_ptr<Connection> m_x; // shared with the timer that clears a borrowed key
    X11Workspace m_workspace;
};
