// The HTML editor: line breaks in and out, auto-indent, and the colour of each token class,
// including constructs that continue on the next line.
#include <QApplication>
#include <QTextBlock>
#include <QTextLayout>
#include <QtTest>

#include "editor/html_editor.h"

using namespace qp;

namespace {

QString Q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

const QColor kRef(0x00, 0xFF, 0x00);
const QColor kLink(0x00, 0x00, 0x01);
const QColor kWord(0x00, 0x00, 0xFF);
const QColor kString(0x11, 0x00, 0xFF);
const QColor kTag(0x00, 0x00, 0x80);
const QColor kAttr(0x22, 0x00, 0x80);
const QColor kValue(0x33, 0x00, 0x80);

// Distinct colours per class, so that a test can tell which class coloured a character.
void UseTestColours(THtmlHighlighter* h) {
    h->SetStyle(THtmlToken::CharReference, {kRef, QColor(), false, false});
    h->SetStyle(THtmlToken::MailAddress, {kLink, Qt::white, false, true});
    h->SetStyle(THtmlToken::Url, {kLink, Qt::white, false, true});
    h->SetStyle(THtmlToken::ReservedWord, {kWord, Qt::white, false, false});
    h->SetStyle(THtmlToken::String, {kString, Qt::white, false, false});
    h->SetStyle(THtmlToken::TagName, {kTag, Qt::white, true, false});
    h->SetStyle(THtmlToken::AttributeName, {kAttr, Qt::white, false, false});
    h->SetStyle(THtmlToken::AttributeValue, {kValue, Qt::white, false, false});
}

// The format that colouring gave the character at column `col` of line `line`.
QTextCharFormat FormatAt(const THtmlEditor& editor, int line, int col) {
    const QTextBlock block = editor.document()->findBlockByNumber(line);
    for (const QTextLayout::FormatRange& r : block.layout()->formats()) {
        if (col >= r.start && col < r.start + r.length) return r.format;
    }
    return {};
}

QColor ColourAt(const THtmlEditor& editor, int line, const QString& text, bool last = false) {
    const QTextBlock block = editor.document()->findBlockByNumber(line);
    const qsizetype col = last ? block.text().lastIndexOf(text) : block.text().indexOf(text);
    if (col < 0) qFatal("text %s not on line %d", qPrintable(text), line);
    const QTextCharFormat f = FormatAt(editor, line, static_cast<int>(col));
    return f.hasProperty(QTextFormat::ForegroundBrush) ? f.foreground().color() : QColor();
}

}  // namespace

class HtmlEditorTest : public QObject {
    Q_OBJECT

private slots:
    void textComesBackWithCrLf() {
        THtmlEditor editor;
        editor.SetText(Q("a\r\nb\nc\rd"));
        QCOMPARE(editor.blockCount(), 4);
        QCOMPARE(editor.Text(), Q("a\r\nb\r\nc\r\nd"));
        editor.SetText(Q("end\r\n"));
        QCOMPARE(editor.Text(), Q("end\r\n"));
        editor.SetText(QString());
        QCOMPARE(editor.Text(), QString());
        // A soft line break typed with Shift+Return is a line break in the text too.
        editor.setPlainText(Q("x") + QChar(QChar::LineSeparator) + Q("y"));
        QCOMPARE(editor.Text(), Q("x\r\ny"));
    }

    void returnKeepsTheIndentOfTheLine() {
        THtmlEditor editor;
        editor.SetText(Q("  \t<ul>"));
        editor.moveCursor(QTextCursor::End);
        QTest::keyClick(&editor, Qt::Key_Return);
        QTest::keyClicks(&editor, Q("<li>"));
        QCOMPARE(editor.Text(), Q("  \t<ul>\r\n  \t<li>"));
        // A caret inside the indent carries only the blanks before it.
        editor.SetText(Q("    x"));
        QTextCursor c = editor.textCursor();
        c.setPosition(2);
        editor.setTextCursor(c);
        QTest::keyClick(&editor, Qt::Key_Return);
        QCOMPARE(editor.Text(), Q("  \r\n    x"));
        editor.SetAutoIndent(false);
        editor.SetText(Q("  y"));
        editor.moveCursor(QTextCursor::End);
        QTest::keyClick(&editor, Qt::Key_Return);
        QCOMPARE(editor.Text(), Q("  y\r\n"));
    }

    void barsTakeRoomBesideTheText() {
        THtmlEditor editor;
        editor.resize(400, 300);
        QVERIFY(editor.LineNumberBarWidth() > 0);
        QVERIFY(editor.RulerHeight() > 0);
        QCOMPARE(editor.viewport()->geometry().left(),
                 editor.contentsRect().left() + editor.LineNumberBarWidth());
        editor.SetLineNumbersVisible(false);
        editor.SetRulerVisible(false);
        QCOMPARE(editor.LineNumberBarWidth(), 0);
        QCOMPARE(editor.viewport()->geometry().top(), editor.contentsRect().top());
        QCOMPARE(editor.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(editor.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    }

    void tokensGetTheirClassColours() {
        THtmlEditor editor;
        editor.EnableHtmlColouring(true);
        UseTestColours(editor.Highlighter());
        editor.SetText(
            Q("<!DOCTYPE html PUBLIC \"-//W3C//DTD\">\n"
              "<form method=\"post\" action='<% __cgi_url__ %>' id=f1>\n"
              "Mail me@example.com or see https://example.com/a?b=1 &amp; &#12354;\n"
              "<% name %> &lt;b&gt;</form>"));
        QCOMPARE(ColourAt(editor, 0, Q("<!DOCTYPE")), kWord);
        QCOMPARE(ColourAt(editor, 0, Q("PUBLIC")), kWord);
        QCOMPARE(ColourAt(editor, 0, Q("\"-//W3C")), kString);
        QCOMPARE(ColourAt(editor, 1, Q("<form")), kTag);
        QVERIFY(FormatAt(editor, 1, 1).fontWeight() == QFont::Bold);
        QCOMPARE(ColourAt(editor, 1, Q("method")), kAttr);
        QCOMPARE(ColourAt(editor, 1, Q("\"post\"")), kValue);
        QCOMPARE(ColourAt(editor, 1, Q("__cgi_url__")), kWord);  // a mark inside a value
        QCOMPARE(ColourAt(editor, 1, Q("f1")), kValue);          // unquoted value
        QCOMPARE(ColourAt(editor, 1, Q(">"), true), kTag);
        QCOMPARE(ColourAt(editor, 2, Q("me@example.com")), kLink);
        QVERIFY(FormatAt(editor, 2, 8).fontUnderline());
        QCOMPARE(ColourAt(editor, 2, Q("https://")), kLink);
        QCOMPARE(ColourAt(editor, 2, Q("&amp;")), kRef);
        QCOMPARE(ColourAt(editor, 2, Q("&#12354;")), kRef);
        QCOMPARE(ColourAt(editor, 2, Q("Mail")), QColor());  // plain text stays plain
        QCOMPARE(ColourAt(editor, 3, Q("<% name %>")), kWord);
        QCOMPARE(ColourAt(editor, 3, Q("&lt;")), kRef);
        QCOMPARE(ColourAt(editor, 3, Q("</form")), kTag);
    }

    void constructsContinueOnTheNextLine() {
        THtmlEditor editor;
        editor.EnableHtmlColouring(true);
        UseTestColours(editor.Highlighter());
        editor.SetText(
            Q("<input type=\"text\"\n"
              "  name=\"long\n"
              "value\" size=\"10\" />\n"
              "<!-- <b>not a tag</b>\n"
              "still comment --> <i>\n"
              "<% first\n"
              "second %> text"));
        QCOMPARE(ColourAt(editor, 1, Q("name")), kAttr);  // still inside the tag
        QCOMPARE(ColourAt(editor, 1, Q("\"long")), kValue);
        QCOMPARE(ColourAt(editor, 2, Q("value\"")), kValue);  // the value goes on
        QCOMPARE(ColourAt(editor, 2, Q("size")), kAttr);
        QCOMPARE(ColourAt(editor, 2, Q("/>")), kTag);
        QCOMPARE(ColourAt(editor, 3, Q("<b>")), QColor());  // comments are not markup
        QCOMPARE(ColourAt(editor, 4, Q("still")), QColor());
        QCOMPARE(ColourAt(editor, 4, Q("<i")), kTag);
        QCOMPARE(ColourAt(editor, 6, Q("second")), kWord);
        QCOMPARE(ColourAt(editor, 6, Q("text")), QColor());
        // Closing the quote on line 1 ends the value there; the next lines follow.
        QTextCursor c(editor.document()->findBlockByNumber(1));
        c.movePosition(QTextCursor::EndOfBlock);
        c.insertText(Q("\""));
        QCOMPARE(ColourAt(editor, 2, Q("value")), kAttr);
    }

    void colouringCanBeLeftOff() {
        THtmlEditor editor;
        QVERIFY(editor.Highlighter() == nullptr);
        editor.SetText(Q("<b>x</b>"));
        QCOMPARE(ColourAt(editor, 0, Q("<b>")), QColor());
        editor.EnableHtmlColouring(true);
        QVERIFY(editor.Highlighter() != nullptr);
        editor.EnableHtmlColouring(false);
        QVERIFY(editor.Highlighter() == nullptr);
    }
};

QTEST_MAIN(HtmlEditorTest)
#include "html_editor_test.moc"
