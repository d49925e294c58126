// SPDX-License-Identifier: MIT
#include "platform/SyntheticKeys.h"

#include "platform/x11/XTestSyntheticKeys.h"

#include <QStringList>

namespace {
std::unique_ptr<SyntheticKeys>& sharedInstance() {
    static std::unique_ptr<SyntheticKeys> instance;
    return instance;
}
} // namespace

SyntheticKeys& SyntheticKeys::shared() {
    auto& instance = sharedInstance();
    if (!instance)
        instance = std::make_unique<XTestSyntheticKeys>();
    return *instance;
}

void SyntheticKeys::setShared(std::unique_ptr<SyntheticKeys> keys) {
    sharedInstance() = std::move(keys);
}

SyntheticKeys::PasteChord SyntheticKeys::pasteChord(const FrontWindow& window) {
    // The class is XTerm, UXTerm or KOI8RXTerm unless -class changed it; the instance follows argv[0].
    static const QStringList xterms = {
        QStringLiteral("xterm"),
        QStringLiteral("uxterm"),
        QStringLiteral("koi8rxterm"),
    };
    static const QStringList terminals = {
        QStringLiteral("urxvt"),
        QStringLiteral("rxvt"),
        QStringLiteral("gnome-terminal"),
        QStringLiteral("gnome-terminal-server"),
        QStringLiteral("konsole"),
        QStringLiteral("xfce4-terminal"),
        QStringLiteral("lxterminal"),
        QStringLiteral("qterminal"),
        QStringLiteral("mate-terminal"),
        QStringLiteral("terminator"),
        QStringLiteral("tilix"),
        QStringLiteral("alacritty"),
        QStringLiteral("kitty"),
        QStringLiteral("st"),
        QStringLiteral("st-256color"),
        QStringLiteral("sakura"),
        QStringLiteral("terminology"),
        QStringLiteral("org.wezfurlong.wezterm"),
        QStringLiteral("guake"),
        QStringLiteral("tilda"),
        QStringLiteral("yakuake"),
        QStringLiteral("eterm"),
        QStringLiteral("aterm"),
        QStringLiteral("cool-retro-term"),
        QStringLiteral("deepin-terminal"),
        QStringLiteral("x-terminal-emulator"),
        QStringLiteral("foot"),
        QStringLiteral("ptyxis"),
        QStringLiteral("kgx"),
        QStringLiteral("blackbox"),
    };
    for (const QString& name : {window.wmInstance, window.wmClass}) {
        if (!name.isEmpty() && xterms.contains(name, Qt::CaseInsensitive))
            return PasteChord::ShiftInsertFromPrimary;
    }
    for (const QString& name : {window.wmInstance, window.wmClass}) {
        if (!name.isEmpty() && terminals.contains(name, Qt::CaseInsensitive))
            return PasteChord::ControlShiftV;
    }
    return PasteChord::ControlV;
}
