#pragma once
// The text editor of the page templates and the mail body: a plain-text editor with a
// line-number bar, a column ruler, auto-indent and optional HTML colouring. Its text is
// exchanged with CR LF line breaks, as the project stores it.
#include <QPlainTextEdit>

#include "editor/html_highlighter.h"

namespace qp {

class THtmlEditor : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit THtmlEditor(QWidget* parent = nullptr);

    // The whole text with CR LF line breaks.
    QString Text() const;
    // Accepts CR LF, LF or CR line breaks. Starts a new undo history.
    void SetText(const QString& text);
    // The same as one step of the undo history: Ctrl+Z brings the earlier text back.
    void ReplaceText(const QString& text);

    void SetAutoIndent(bool on) { autoIndent_ = on; }
    bool AutoIndent() const { return autoIndent_; }
    void SetLineNumbersVisible(bool on);
    bool LineNumbersVisible() const { return lineNumbersVisible_; }
    void SetRulerVisible(bool on);
    bool RulerVisible() const { return rulerVisible_; }

    // Switches HTML colouring on with the given styles, or off (nullptr scheme).
    void EnableHtmlColouring(bool on);
    THtmlHighlighter* Highlighter() const { return highlighter_; }

    int LineNumberBarWidth() const;
    int RulerHeight() const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    friend class TLineNumberBar;
    friend class TRuler;
    void UpdateMargins();
    void PaintLineNumbers(QPaintEvent* event);
    void PaintRuler(QPaintEvent* event);
    void PlaceBars();

    QWidget* lineNumberBar_;
    QWidget* ruler_;
    THtmlHighlighter* highlighter_ = nullptr;
    bool autoIndent_ = true;
    bool lineNumbersVisible_ = true;
    bool rulerVisible_ = true;
};

}  // namespace qp
