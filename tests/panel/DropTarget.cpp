// SPDX-License-Identifier: MIT
// A window of another process that accepts dropped file URLs, as a file manager does. It prints
// its window id when shown, then for every drop the offered formats and the first file's path.
#include <QApplication>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QWidget>

#include <cstdio>

class Target : public QWidget {
protected:
    void dragEnterEvent(QDragEnterEvent* event) override {
        if (event->mimeData()->hasUrls())
            event->acceptProposedAction();
    }
    void dragMoveEvent(QDragMoveEvent* event) override { event->acceptProposedAction(); }
    void dropEvent(QDropEvent* event) override {
        const QMimeData* data = event->mimeData();
        const QString path = data->urls().isEmpty() ? QString() : data->urls().first().toLocalFile();
        std::printf("formats %s\ndropped %s\n", qPrintable(data->formats().join(QLatin1Char(','))),
                    path.toLocal8Bit().constData());
        std::fflush(stdout);
        event->acceptProposedAction();
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    Target target;
    target.setAcceptDrops(true);
    target.setWindowTitle(QStringLiteral("drop-target"));
    target.setGeometry(100, 100, 400, 200);
    target.show();
    QMetaObject::invokeMethod(
        &target,
        [&target] {
            std::printf("%llu\n", static_cast<unsigned long long>(target.winId()));
            std::fflush(stdout);
        },
        Qt::QueuedConnection);
    return app.exec();
}
