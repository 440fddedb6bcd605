#pragma once
// The About box: product name, file version, legal notice and the web address.
#include <QDialog>
#include <QUrl>
#include <functional>
#include <memory>

namespace Ui {
class TFormAboutBox;
}

namespace qp {

class TFormAboutBox : public QDialog {
    Q_OBJECT
public:
    // The web address shown and opened by the link label.
    static constexpr const char* kWebAddress = "https://quillpost.invalid/";

    // Raises qp::Error when the version information cannot be read.
    explicit TFormAboutBox(QWidget* owner);
    ~TFormAboutBox() override;

    // How the link is opened; replaceable so that tests open nothing.
    void SetUrlOpener(std::function<void(const QUrl&)> opener) { openUrl_ = std::move(opener); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LabelUrlClick();

    std::unique_ptr<Ui::TFormAboutBox> ui_;
    std::function<void(const QUrl&)> openUrl_;
};

}  // namespace qp
