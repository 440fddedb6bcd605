#include "editor/html_editor.h"

#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>

namespace qp {

class TLineNumberBar : public QWidget {
public:
    explicit TLineNumberBar(THtmlEditor* editor) : QWidget(editor), editor_(editor) {}

protected:
    void paintEvent(QPaintEvent* event) override { editor_->PaintLineNumbers(event); }

private:
    THtmlEditor* editor_;
};

class TRuler : public QWidget {
public:
    explicit TRuler(THtmlEditor* editor) : QWidget(editor), editor_(editor) {}

protected:
    void paintEvent(QPaintEvent* event) override { editor_->PaintRuler(event); }

private:
    THtmlEditor* editor_;
};

THtmlEditor::THtmlEditor(QWidget* parent)
    : QPlainTextEdit(parent), lineNumberBar_(new TLineNumberBar(this)), ruler_(new TRuler(this)) {
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont mono(QStringLiteral("Noto Sans Mono CJK JP"));
    mono.setStyleHint(QFont::Monospace);
    mono.setPointSize(10);
    setFont(mono);
    setTabStopDistance(fontMetrics().horizontalAdvance(QLatin1Char(' ')) * 8);

    connect(this, &QPlainTextEdit::blockCountChanged, this, [this] { UpdateMargins(); });
    connect(this, &QPlainTextEdit::updateRequest, this, [this](const QRect& rect, int dy) {
        if (dy != 0) {
            lineNumberBar_->scroll(0, dy);
        } else {
            lineNumberBar_->update(0, rect.y(), lineNumberBar_->width(), rect.height());
        }
    });
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, ruler_, [this] { ruler_->update(); });
    UpdateMargins();
}

QString THtmlEditor::Text() const {
    QString text = toPlainText();
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return text;
}

namespace {

QString WithLf(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

}  // namespace

void THtmlEditor::SetText(const QString& text) {
    setPlainText(WithLf(text));
}

void THtmlEditor::ReplaceText(const QString& text) {
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    cursor.select(QTextCursor::Document);
    cursor.insertText(WithLf(text));
    cursor.endEditBlock();
    cursor.movePosition(QTextCursor::Start);
    setTextCursor(cursor);
}

void THtmlEditor::SetLineNumbersVisible(bool on) {
    lineNumbersVisible_ = on;
    lineNumberBar_->setVisible(on);
    UpdateMargins();
}

void THtmlEditor::SetRulerVisible(bool on) {
    rulerVisible_ = on;
    ruler_->setVisible(on);
    UpdateMargins();
}

void THtmlEditor::EnableHtmlColouring(bool on) {
    if (on && highlighter_ == nullptr) {
        highlighter_ = new THtmlHighlighter(document());
    } else if (!on && highlighter_ != nullptr) {
        delete highlighter_;
        highlighter_ = nullptr;
    }
}

int THtmlEditor::LineNumberBarWidth() const {
    if (!lineNumbersVisible_) return 0;
    int digits = 1;
    for (int max = std::max(1, blockCount()); max >= 10; max /= 10) ++digits;
    return 10 + fontMetrics().horizontalAdvance(QLatin1Char('9')) * std::max(digits, 3);
}

int THtmlEditor::RulerHeight() const {
    return rulerVisible_ ? fontMetrics().height() + 4 : 0;
}

void THtmlEditor::UpdateMargins() {
    setViewportMargins(LineNumberBarWidth(), RulerHeight(), 0, 0);
    PlaceBars();
}

void THtmlEditor::PlaceBars() {
    const QRect cr = contentsRect();
    lineNumberBar_->setGeometry(cr.left(), cr.top() + RulerHeight(), LineNumberBarWidth(),
                                cr.height() - RulerHeight());
    ruler_->setGeometry(cr.left(), cr.top(), cr.width(), RulerHeight());
}

void THtmlEditor::resizeEvent(QResizeEvent* event) {
    QPlainTextEdit::resizeEvent(event);
    PlaceBars();
}

void THtmlEditor::keyPressEvent(QKeyEvent* event) {
    const bool isReturn = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!autoIndent_ || !isReturn || (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    // The new line starts with the blanks that start the line the caret was on.
    QTextCursor cursor = textCursor();
    const QString line = cursor.block().text();
    qsizetype n = 0;
    while (n < line.size() && (line[n] == QLatin1Char(' ') || line[n] == QLatin1Char('\t'))) ++n;
    const qsizetype column = cursor.positionInBlock();
    cursor.beginEditBlock();
    cursor.insertText(QStringLiteral("\n") + line.left(std::min(n, column)));
    cursor.endEditBlock();
    setTextCursor(cursor);
    ensureCursorVisible();
}

void THtmlEditor::PaintLineNumbers(QPaintEvent* event) {
    QPainter painter(lineNumberBar_);
    const QPalette pal = palette();
    painter.fillRect(event->rect(), pal.color(QPalette::Window));
    painter.setPen(pal.color(QPalette::Mid));
    painter.drawLine(lineNumberBar_->width() - 1, event->rect().top(), lineNumberBar_->width() - 1,
                     event->rect().bottom());
    painter.setFont(font());
    QTextBlock block = firstVisibleBlock();
    int number = block.blockNumber();
    int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
    int bottom = top + qRound(blockBoundingRect(block).height());
    const int current = textCursor().blockNumber();
    while (block.isValid() && top <= event->rect().bottom()) {
        if (block.isVisible() && bottom >= event->rect().top()) {
            painter.setPen(number == current ? pal.color(QPalette::WindowText) : pal.color(QPalette::Dark));
            painter.drawText(0, top, lineNumberBar_->width() - 5, fontMetrics().height(), Qt::AlignRight,
                             QString::number(number + 1));
        }
        block = block.next();
        top = bottom;
        bottom = top + qRound(blockBoundingRect(block).height());
        ++number;
    }
}

void THtmlEditor::PaintRuler(QPaintEvent* event) {
    QPainter painter(ruler_);
    const QPalette pal = palette();
    painter.fillRect(event->rect(), pal.color(QPalette::Window));
    painter.setPen(pal.color(QPalette::Mid));
    painter.drawLine(0, ruler_->height() - 1, ruler_->width(), ruler_->height() - 1);
    const int charWidth = std::max(1, fontMetrics().horizontalAdvance(QLatin1Char('0')));
    const int origin =
        LineNumberBarWidth() + static_cast<int>(document()->documentMargin()) + contentOffset().toPoint().x();
    const int h = ruler_->height();
    QFont small = font();
    small.setPointSizeF(std::max(6.0, font().pointSizeF() * 0.75));
    painter.setFont(small);
    const int first = std::max(0, (LineNumberBarWidth() - origin) / charWidth);
    for (int col = first;; ++col) {
        const int x = origin + col * charWidth;
        if (x > ruler_->width()) break;
        if (x < LineNumberBarWidth()) continue;
        painter.setPen(pal.color(QPalette::Dark));
        if (col % 10 == 0) {
            painter.drawLine(x, h - 8, x, h - 1);
            painter.setPen(pal.color(QPalette::WindowText));
            painter.drawText(x + 2, 0, charWidth * 4, h - 3, Qt::AlignLeft | Qt::AlignVCenter,
                             QString::number(col));
        } else {
            painter.drawLine(x, h - (col % 5 == 0 ? 6 : 3), x, h - 1);
        }
    }
}

}  // namespace qp
