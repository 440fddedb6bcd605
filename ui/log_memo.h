#pragma once
// The log boxes of the dialogs: a line added at the end and kept in view.
#include <QPlainTextEdit>
#include <QTextCursor>

namespace qp {

inline void AppendLogLine(QPlainTextEdit* memo, const QString& line) {
    memo->appendPlainText(line);
    // The caret at the start of the newest line keeps it in view without scrolling sideways.
    memo->moveCursor(QTextCursor::End);
    memo->moveCursor(QTextCursor::StartOfLine);
    memo->ensureCursorVisible();
}

}  // namespace qp
