#pragma once
// The About box: product name, file version, legal notice and a link to the documentation.
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
    // The project's web address as the build configured it (QP_WEB_ADDRESS); empty when none.
    static QString ConfiguredWebAddress();
    // Where the link leads: the web address if there is one, else the README installed with
    // the program (<prefix>/share/doc/quillpost beside <prefix>/bin, or share/doc/quillpost in
    // the build folder), else that documentation folder; empty when none exists.
    static QString LinkTarget(const QString& programFolder,
                              const QString& webAddress = ConfiguredWebAddress());

    // Raises qp::Error when the version information cannot be read.
    explicit TFormAboutBox(QWidget* owner);
    ~TFormAboutBox() override;

    // The link's text and target (an address or a local path); an empty target hides the link.
    void SetLink(const QString& target);
    // How the link is opened; replaceable so that tests open nothing.
    void SetUrlOpener(std::function<void(const QUrl&)> opener) { openUrl_ = std::move(opener); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LabelUrlClick();

    std::unique_ptr<Ui::TFormAboutBox> ui_;
    QUrl linkUrl_;
    std::function<void(const QUrl&)> openUrl_;
};

}  // namespace qp
