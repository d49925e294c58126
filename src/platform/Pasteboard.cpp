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

QString Pasteboard::typeName(Type type) {
    switch (type) {
    case Type::String:
        return QStringLiteral("public.utf8-plain-text");
    case Type::RTF:
        return QStringLiteral("public.rtf");
    case Type::HTML:
        return QStringLiteral("public.html");
    case Type::TIFF:
        return QStringLiteral("public.tiff");
    case Type::PNG:
        return QStringLiteral("public.png");
    case Type::FileURL:
        return QStringLiteral("public.file-url");
    }
    return {};
}
