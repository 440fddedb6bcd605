#pragma once
// HTML colouring for THtmlEditor: tag structure by a small state machine whose state carries
// over line ends (tags, quoted values, comments and declarations may span lines), and the
// tokens inside text and values by a table of patterns.
#include <QRegularExpression>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>
#include <array>
#include <vector>

namespace qp {

enum class THtmlToken {
    CharReference,   // &amp; &#12354;
    MailAddress,     // someone@example.com
    Url,             // http://..., https://..., ftp://...
    ReservedWord,    // <!DOCTYPE ...>, <?xml ...?>, <% name %> marks
    String,          // quoted texts of declarations
    TagName,         // <form, </p, >, />
    AttributeName,   // method=
    AttributeValue,  // "post"
};
inline constexpr int kHtmlTokenCount = 8;

struct THtmlTokenStyle {
    QColor foreground;
    QColor background;  // invalid: the editor's own background
    bool bold = false;
    bool underline = false;
};

class THtmlHighlighter : public QSyntaxHighlighter {
    Q_OBJECT
public:
    // Block states; a line ends in one of these and the next line starts in it.
    enum State { InText = 0, InTag, InDoubleQuoted, InSingleQuoted, InComment, InDeclaration, InMark };

    explicit THtmlHighlighter(QTextDocument* document);

    void SetStyle(THtmlToken token, const THtmlTokenStyle& style);
    THtmlTokenStyle Style(THtmlToken token) const { return styles_[static_cast<int>(token)]; }

protected:
    void highlightBlock(const QString& text) override;

private:
    struct Rule {
        QRegularExpression pattern;
        THtmlToken token;
    };
    void Paint(qsizetype from, qsizetype length, THtmlToken token);
    void ApplyRules(const QString& text, qsizetype from, qsizetype to);
    // Colours a quoted stretch starting at i (just after the opening quote, if any); returns where
    // it stopped and whether the closing quote was found.
    qsizetype ScanQuoted(const QString& text, qsizetype i, QChar quote, THtmlToken token, bool* closed);

    std::array<THtmlTokenStyle, kHtmlTokenCount> styles_;
    std::array<QTextCharFormat, kHtmlTokenCount> formats_;
    std::vector<Rule> rules_;
};

}  // namespace qp
