// SPDX-License-Identifier: MIT
// A one-line editor in its own process: it stands for the application in front. It writes its
// text to the file named by its argument on every change and prints its window id when shown.
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QString path = QString::fromLocal8Bit(argv[1]);
    QLineEdit edit;
    edit.setWindowTitle(QStringLiteral("focus-client"));
    edit.resize(400, 40);
    edit.move(100, 100);
    QObject::connect(&edit, &QLineEdit::textChanged, [path](const QString& text) {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(text.toUtf8());
    });
    edit.show();
    QTimer::singleShot(0, &edit, [&edit] {
        std::printf("%llu\n", static_cast<unsigned long long>(edit.winId()));
        std::fflush(stdout);
    });
    return app.exec();
}
