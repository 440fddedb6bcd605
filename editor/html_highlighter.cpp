#include "editor/html_highlighter.h"

namespace qp {
namespace {

bool IsNameChar(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('_') || c == QLatin1Char(':') ||
           c == QLatin1Char('.');
}

}  // namespace

THtmlHighlighter::THtmlHighlighter(QTextDocument* document) : QSyntaxHighlighter(document) {
    // Later rules win where matches overlap: a character reference inside an address stays green.
    rules_.push_back(
        {QRegularExpression(QStringLiteral(R"([A-Za-z0-9._%+\-]+@[A-Za-z0-9\-]+(\.[A-Za-z0-9\-]+)+)")),
         THtmlToken::MailAddress});
    rules_.push_back({QRegularExpression(QStringLiteral(R"((https?|ftp)://[^\s"'<>]+)")), THtmlToken::Url});
    rules_.push_back({QRegularExpression(QStringLiteral(R"(<%.*?%>)")), THtmlToken::ReservedWord});
    rules_.push_back(
        {QRegularExpression(QStringLiteral(R"(&(#[0-9]+|#[xX][0-9A-Fa-f]+|[A-Za-z][A-Za-z0-9]*);)")),
         THtmlToken::CharReference});
}

void THtmlHighlighter::SetStyle(THtmlToken token, const THtmlTokenStyle& style) {
    const int i = static_cast<int>(token);
    styles_[i] = style;
    QTextCharFormat f;
    if (style.foreground.isValid()) f.setForeground(style.foreground);
    if (style.background.isValid()) f.setBackground(style.background);
    f.setFontWeight(style.bold ? QFont::Bold : QFont::Normal);
    f.setFontUnderline(style.underline);
    formats_[i] = f;
    rehighlight();
}

void THtmlHighlighter::Paint(qsizetype from, qsizetype length, THtmlToken token) {
    if (length > 0)
        setFormat(static_cast<int>(from), static_cast<int>(length), formats_[static_cast<int>(token)]);
}

void THtmlHighlighter::ApplyRules(const QString& text, qsizetype from, qsizetype to) {
    if (to <= from) return;
    for (const Rule& rule : rules_) {
        auto it = rule.pattern.globalMatch(text, from);
        while (it.hasNext()) {
            const QRegularExpressionMatch m = it.next();
            if (m.capturedStart() >= to) break;
            const qsizetype end = std::min<qsizetype>(m.capturedEnd(), to);
            Paint(m.capturedStart(), end - m.capturedStart(), rule.token);
        }
    }
}

qsizetype THtmlHighlighter::ScanQuoted(const QString& text, qsizetype i, QChar quote, THtmlToken token,
                                       bool* closed) {
    const qsizetype close = text.indexOf(quote, i);
    const qsizetype end = close < 0 ? text.size() : close + 1;
    Paint(i, end - i, token);
    ApplyRules(text, i, close < 0 ? end : close);
    *closed = close >= 0;
    return end;
}

void THtmlHighlighter::highlightBlock(const QString& text) {
    int state = previousBlockState() < 0 ? InText : previousBlockState();
    const qsizetype n = text.size();
    qsizetype i = 0;
    const auto at = [&](qsizetype k) { return k < n ? text[k] : QChar(); };
    const auto startsAt = [&](qsizetype k, const char* s) {
        return text.mid(k, static_cast<qsizetype>(qstrlen(s))) == QLatin1String(s);
    };

    while (i < n) {
        switch (state) {
            case InText: {
                const qsizetype lt = text.indexOf(QLatin1Char('<'), i);
                const qsizetype textEnd = lt < 0 ? n : lt;
                ApplyRules(text, i, textEnd);
                i = textEnd;
                if (lt < 0) break;
                if (startsAt(lt, "<!--")) {
                    state = InComment;
                    i = lt + 4;
                } else if (startsAt(lt, "<%")) {
                    state = InMark;
                } else if (at(lt + 1) == QLatin1Char('!') || at(lt + 1) == QLatin1Char('?')) {
                    qsizetype k = lt + 2;
                    while (k < n && IsNameChar(text[k])) ++k;
                    Paint(lt, k - lt, THtmlToken::ReservedWord);
                    state = InDeclaration;
                    i = k;
                } else if (at(lt + 1).isLetter() ||
                           (at(lt + 1) == QLatin1Char('/') && at(lt + 2).isLetter())) {
                    qsizetype k = lt + (at(lt + 1) == QLatin1Char('/') ? 2 : 1);
                    while (k < n && IsNameChar(text[k])) ++k;
                    Paint(lt, k - lt, THtmlToken::TagName);
                    state = InTag;
                    i = k;
                } else {
                    i = lt + 1;  // a lone "<" in text
                }
                break;
            }
            case InTag: {
                const QChar c = text[i];
                if (c.isSpace()) {
                    ++i;
                } else if (c == QLatin1Char('>')) {
                    Paint(i, 1, THtmlToken::TagName);
                    ++i;
                    state = InText;
                } else if (c == QLatin1Char('/') && at(i + 1) == QLatin1Char('>')) {
                    Paint(i, 2, THtmlToken::TagName);
                    i += 2;
                    state = InText;
                } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
                    bool closed = false;
                    Paint(i, 1, THtmlToken::AttributeValue);
                    i = ScanQuoted(text, i + 1, c, THtmlToken::AttributeValue, &closed);
                    if (!closed) state = c == QLatin1Char('"') ? InDoubleQuoted : InSingleQuoted;
                } else if (c == QLatin1Char('=')) {
                    ++i;
                    while (i < n && text[i].isSpace()) ++i;
                    if (i < n && text[i] != QLatin1Char('"') && text[i] != QLatin1Char('\'')) {
                        qsizetype k = i;
                        while (k < n && !text[k].isSpace() && text[k] != QLatin1Char('>')) ++k;
                        Paint(i, k - i, THtmlToken::AttributeValue);
                        i = k;
                    }
                } else {
                    qsizetype k = i;
                    while (k < n && !text[k].isSpace() && text[k] != QLatin1Char('=') &&
                           text[k] != QLatin1Char('>') && text[k] != QLatin1Char('"') &&
                           text[k] != QLatin1Char('\'') &&
                           !(text[k] == QLatin1Char('/') && at(k + 1) == QLatin1Char('>')))
                        ++k;
                    if (k == i) ++k;
                    Paint(i, k - i, THtmlToken::AttributeName);
                    i = k;
                }
                break;
            }
            case InDoubleQuoted:
            case InSingleQuoted: {
                bool closed = false;
                i = ScanQuoted(text, i, state == InDoubleQuoted ? QLatin1Char('"') : QLatin1Char('\''),
                               THtmlToken::AttributeValue, &closed);
                if (closed) state = InTag;
                break;
            }
            case InComment: {
                const qsizetype end = text.indexOf(QLatin1String("-->"), i);
                if (end < 0) {
                    i = n;
                } else {
                    i = end + 3;
                    state = InText;
                }
                break;
            }
            case InDeclaration: {
                const QChar c = text[i];
                if (c == QLatin1Char('>')) {
                    ++i;
                    state = InText;
                } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
                    bool closed = false;
                    Paint(i, 1, THtmlToken::String);
                    const qsizetype close = text.indexOf(c, i + 1);
                    const qsizetype end = close < 0 ? n : close + 1;
                    Paint(i, end - i, THtmlToken::String);
                    closed = close >= 0;
                    i = end;
                    if (!closed) i = n;  // an unclosed declaration string ends at the line end
                } else if (c.isLetter()) {
                    qsizetype k = i;
                    while (k < n && IsNameChar(text[k])) ++k;
                    Paint(i, k - i, THtmlToken::ReservedWord);
                    i = k;
                } else {
                    ++i;
                }
                break;
            }
            case InMark: {
                const qsizetype end = text.indexOf(QLatin1String("%>"), i);
                const qsizetype stop = end < 0 ? n : end + 2;
                Paint(i, stop - i, THtmlToken::ReservedWord);
                i = stop;
                if (end >= 0) state = InText;
                break;
            }
        }
    }
    setCurrentBlockState(state);
}

}  // namespace qp
