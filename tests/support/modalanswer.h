#pragma once

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>

// What the user does in the next modal dialog, waited for patienceMs at the most. A dialog the
// steps leave open is hidden, so that the modal wait always ends.
class ModalAnswer {
public:
    explicit ModalAnswer(std::function<void(QDialog*)> steps, int patienceMs = 2000)
        : m_state(std::make_shared<State>(State{std::move(steps), patienceMs / 10, {}, false})) {
        answer(m_state, 0);
    }
    bool reached() const { return m_state->reached; }
    bool closedByUser() const { return m_state->closedByUser; } // the steps hid the dialog

private:
    struct State {
        std::function<void(QDialog*)> steps;
        int triesLeft = 0;
        bool reached = false, closedByUser = false;
    };

    static void answer(const std::shared_ptr<State>& state, int delayMs) {
        QTimer::singleShot(delayMs, [state] {
            QPointer<QDialog> dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (dialog != nullptr && dialog->isVisible()) // offscreen does not always activate it
                QApplication::setActiveWindow(dialog);
            if (dialog == nullptr || !dialog->isVisible() || !dialog->isActiveWindow()) {
                if (--state->triesLeft > 0)
                    answer(state, 10);
                else if (dialog != nullptr)
                    dialog->done(QDialog::Rejected); // never became usable: end the wait
                return;
            }
            state->reached = true;
            state->steps(dialog);
            state->closedByUser = dialog == nullptr || !dialog->isVisible();
            if (!state->closedByUser)
                dialog->done(QDialog::Rejected);
        });
    }

    std::shared_ptr<State> m_state;
};
