#pragma once

#include <QObject>
#include <QPushButton>
#include <QTimer>

#include <functional>

// Presses a button of a modal dialog once ready() says it is ready; polled from
// inside the dialog's own event loop, which the caller is about to start.
inline void PressWhen(const std::function<bool()>& ready, QPushButton* button, int intervalMs = 20) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, ready, button] {
        if (!ready()) return;
        timer->stop();
        timer->deleteLater();
        button->click();
    });
    timer->start(intervalMs);
}
