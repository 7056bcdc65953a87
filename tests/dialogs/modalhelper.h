#pragma once

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <functional>

// Runs `handle` on the next modal dialog of type T that opens (polling the event loop every
// 20 ms), so a test can answer a dialog that a function under test runs with exec().
template <class T> void AnswerNextModal(std::function<void(T*)> handle) {
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, handle] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            handle(dialog);
        }
    });
    timer->start();
}
