// SPDX-License-Identifier: MIT
// Saves entries into the store named on the command line, reports on stdout, then kills itself
// without any clean-up, as a crash right after a successful save would.
#include "history/store/ManagedObjectContext.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return 2;
    StoreError error;
    auto ctx = ManagedObjectContext::open(QString::fromLocal8Bit(argv[1]), &error);
    if (!ctx) {
        std::printf("open failed: %s\n", qPrintable(error.message));
        return 3;
    }
    const int count = std::atoi(argv[2]);
    for (int i = 0; i < count; ++i) {
        auto item = ctx->insertClipboardItem();
        item->setType(QStringLiteral("text"));
        item->setTextContent(QStringLiteral("entry %1").arg(i));
        item->setTimestamp(QDateTime::currentDateTime());
        item->setIsFavorite(false);
        if (!ctx->save(&error)) {
            std::printf("save failed: %s\n", qPrintable(error.message));
            return 4;
        }
        std::printf("%s\n", qPrintable(item->objectID()));
    }
    std::fflush(stdout);
    std::raise(SIGKILL);
    return 0;
}
