#pragma once

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

// What the user does in the next modal dialog: the steps run as soon as a modal dialog is up
// and active, waiting for input. Should the steps leave it open, the dialog is hidden all the same,
// so that the modal wait always ends; the test then sees closedByUser() false.
class ModalAnswer {
public:
    // The dialog is waited for patienceMs at the most.
    explicit ModalAnswer(std::function<void(QDialog*)> steps, int patienceMs = 2000)
        : m_state(std::make_shared<State>()) {
        m_state->steps = std::move(steps);
        m_state->triesLeft = patienceMs / 10;
        schedule(m_state, 0);
    }

    // The steps ran on a modal dialog.
    bool reached() const { return m_state->reached; }
    // When the dialog came.
    std::chrono::steady_clock::time_point reachedAt() const { return m_state->reachedAt; }
    // The steps themselves hid the dialog.
    bool closedByUser() const { return m_state->closedByUser; }

private:
    struct State {
        std::function<void(QDialog*)> steps;
        int triesLeft = 0;
        bool reached = false;
        std::chrono::steady_clock::time_point reachedAt;
        bool closedByUser = false;
    };

    static void schedule(const std::shared_ptr<State>& state, int delayMs) {
        QTimer::singleShot(delayMs, [state] { answer(state); });
    }

    static void answer(const std::shared_ptr<State>& state) {
        QPointer<QDialog> dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog != nullptr && dialog->isVisible() && !dialog->isActiveWindow()) {
            // The window manager's part: a window that comes up gets the focus. (The offscreen
            // platform does not always pass it on to a window shown a second time.)
            QApplication::setActiveWindow(dialog);
        }
        if (dialog == nullptr || !dialog->isVisible() || !dialog->isActiveWindow()) {
            if (--state->triesLeft > 0)
                schedule(state, 10);
            else if (dialog != nullptr)
                dialog->done(QDialog::Rejected); // never became usable: end the wait
            return;
        }
        state->reached = true;
        state->reachedAt = std::chrono::steady_clock::now();
        state->steps(dialog);
        if (dialog == nullptr)
            return;
        state->closedByUser = !dialog->isVisible();
        if (!state->closedByUser)
            dialog->done(QDialog::Rejected);
    }

    std::shared_ptr<State> m_state;
};
