// SPDX-License-Identifier: MIT
#pragma once

#include "platform/SyntheticKeys.h"

#include <QList>

// Recording synthetic keys for unit tests: a settable trust and front window; pastes are recorded.
class MemorySyntheticKeys : public SyntheticKeys {
public:
    bool isTrusted() override { return trusted; }
    std::optional<FrontWindow> frontWindow() override { return front; }
    bool postPaste(const FrontWindow& target) override {
        pastes.append(target);
        return true;
    }

    bool trusted = true;
    std::optional<FrontWindow> front = FrontWindow{1, QStringLiteral("editor"), QStringLiteral("Editor")};
    QList<FrontWindow> pastes;
};
