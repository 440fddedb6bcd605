#pragma once
// Helpers of the window tests: finding controls by name, answering message boxes, items.
#include <QAbstractButton>
#include <QApplication>
#include <QMap>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <string>

#include "model/charset.h"
#include "model/item_text.h"

namespace qp::test {

inline QString Q(const char* utf8) {
    return QString::fromUtf8(utf8);
}
inline std::string Sj(const char* utf8) {
    return charset::Utf8ToSjis(utf8);
}

template <class T>
T* W(const QWidget* root, const char* name) {
    T* w = root->findChild<T*>(QString::fromLatin1(name));
    if (w == nullptr) qFatal("control %s missing", name);
    return w;
}

// The caption as the window system shows it: Qt's "[*]" becomes the changed mark or nothing.
inline QString Caption(const QWidget* window) {
    QString title = window->windowTitle();
    return title.replace(QStringLiteral("[*]"), window->isWindowModified() ? QStringLiteral("*") : QString());
}

// Answers every message box that opens while it lives with the given button, and records
// what the box showed. Never leaves a box waiting.
class TBoxAnswerer : public QObject {
public:
    explicit TBoxAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok) : answer_(answer) {
        timer_.setInterval(2);
        connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
        timer_.start();
    }
    int Count() const { return count_; }
    QString Text() const { return text_; }
    QString Title() const { return title_; }
    QMessageBox::Icon Icon() const { return icon_; }
    QMessageBox::StandardButtons Buttons() const { return buttons_; }
    // The caption of one of the box's standard buttons as it was shown.
    QString ButtonText(QMessageBox::StandardButton button) const { return buttonTexts_.value(button); }

private:
    void Poll() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        ++count_;
        text_ = box->text();
        title_ = box->windowTitle();
        icon_ = box->icon();
        buttons_ = box->standardButtons();
        buttonTexts_.clear();
        for (QAbstractButton* b : box->buttons()) buttonTexts_.insert(box->standardButton(b), b->text());
        if (QAbstractButton* b = box->button(answer_)) {
            b->click();
        } else {
            box->reject();
        }
    }
    QMessageBox::StandardButton answer_;
    QTimer timer_;
    int count_ = 0;
    QString text_;
    QString title_;
    QMessageBox::Icon icon_ = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons_;
    QMap<int, QString> buttonTexts_;
};

// The offscreen platform warns about every fixed-size dialog; that says nothing about the test.
// QuietSizeHintWarnings() drops those warnings and passes every other message on;
// RestoreMessageHandler() puts the handler it replaced back.
inline QtMessageHandler& PreviousMessageHandler() {
    static QtMessageHandler previous = nullptr;
    return previous;
}
inline void QuietSizeHintHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.contains(QStringLiteral("propagateSizeHints"))) return;
    PreviousMessageHandler()(type, context, message);
}
inline void QuietSizeHintWarnings() {
    PreviousMessageHandler() = qInstallMessageHandler(QuietSizeHintHandler);
}
inline void RestoreMessageHandler() {
    qInstallMessageHandler(PreviousMessageHandler());
}

inline std::unique_ptr<TProjectItemText> TextItem(const char* attr, const char* value,
                                                  bool required = false) {
    auto item = std::make_unique<TProjectItemText>(std::string());
    item->SetNameAttr(attr);
    item->SetNameValue(Sj(value));
    item->SetRequired(required);
    return item;
}

}  // namespace qp::test
