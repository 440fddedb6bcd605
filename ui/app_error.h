#pragma once
// The application's general error display: every error that no handler catches ends here.
#include <QString>
#include <exception>
#include <utility>

class QWidget;

namespace qp {

// The text shown: the message, with a full stop added when its last character sorts after ".".
QString ApplicationErrorText(const QString& message);

// A modal message box titled with the application title, with the error icon and OK.
void ShowApplicationError(QWidget* parent, const std::exception& e);
void ShowApplicationError(QWidget* parent, const QString& message);

// Runs an event handler; whatever it throws is shown by the general error display. False when
// it threw (the start-up then ends the program).
template <class F>
bool RunGuarded(QWidget* parent, F&& handler) {
    try {
        std::forward<F>(handler)();
        return true;
    } catch (const std::exception& e) {
        ShowApplicationError(parent, e);
    } catch (...) {
        // Not an error type of ours: shown as an error with an empty message.
        ShowApplicationError(parent, QString());
    }
    return false;
}

}  // namespace qp
