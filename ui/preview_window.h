#pragma once
// The small window of a running preview: the form's address and the captured mails'
// address, each with a button that opens it in the browser, and a button that stops it.
// Closing the window stops the preview too.
#include <QWidget>
#include <functional>

class QLineEdit;
class QUrl;

namespace qp {

class TPreviewRunner;

class TPreviewWindow : public QWidget {
    Q_OBJECT
public:
    using UrlOpener = std::function<void(const QUrl& url)>;
    TPreviewWindow(TPreviewRunner& runner, UrlOpener open, QWidget* parent);

    // Shows the addresses of the running preview and brings the window up.
    void ShowRunning();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    TPreviewRunner& runner_;
    UrlOpener open_;
    QLineEdit* formUrl_;
    QLineEdit* mailsUrl_;
};

}  // namespace qp
