// The main window driven through its controls and actions: start-up state, the two copies
// between controls and project, visibility rules, the grid, the file and item actions.
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <QtTest>

#include "editor/html_editor.h"
#include "generate/sample_pages.h"
#include "model/project_config.h"
#include "ui/app_setup.h"
#include "ui/item_grid.h"
#include "ui/main_window.h"
#include "ui/recent_files.h"
#include "ui/setting_controls.h"
#include "ui/text_codec.h"
#include "ui/value_list.h"
#include "window_test_support.h"

using namespace qp;
using namespace qp::test;

namespace {

QString ReadAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromLatin1(f.readAll());
}

// Runs the real program with a project file on an X display of its own and reads back the
// caption that the X server holds for its window, which is what a window manager shows.
// Empty with the reason in `error` when it cannot be read.
QString CaptionOnXDisplay(const QString& projectFile, QString& error) {
    struct TEnd {  // ends a started process, whatever way the function is left
        QProcess& process;
        ~TEnd() {
            process.kill();
            process.waitForFinished(5000);
        }
    };
    QProcess xvfb;
    const TEnd endXvfb{xvfb};
    xvfb.start(Q("Xvfb"),
               {Q("-displayfd"), Q("1"), Q("-screen"), Q("0"), Q("1024x768x24"), Q("-nolisten"), Q("tcp")});
    QByteArray number;
    QDeadlineTimer deadline(10000);
    while (!number.contains('\n') && !deadline.hasExpired() &&
           xvfb.waitForReadyRead(deadline.remainingTime())) {
        number += xvfb.readAllStandardOutput();
    }
    if (!number.contains('\n')) {
        error = Q("Xvfb did not start (packages xvfb and x11-utils): ") + xvfb.errorString();
        return {};
    }
    const QString display = Q(":") + QString::fromLatin1(number.trimmed());
    QProcess program;
    const TEnd endProgram{program};
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(Q("DISPLAY"), display);
    env.insert(Q("QT_QPA_PLATFORM"), Q("xcb"));
    program.setProcessEnvironment(env);
    program.start(Q(QP_BINARY_DIR "/quillpost"), {projectFile});
    const auto run = [&](const QStringList& args) {
        QProcess p;
        p.start(args.first(), args.mid(1));
        p.waitForFinished(5000);
        return QString::fromUtf8(p.readAllStandardOutput());
    };
    // A top-level window of the program whose name holds the file name: the project is open.
    static const QRegularExpression windowLine(Q("(0x[0-9a-f]+) \"([^\n]*)\": \\(\"quillpost\""));
    deadline.setRemainingTime(15000);
    while (!deadline.hasExpired() && program.state() != QProcess::NotRunning) {
        const QString tree = run({Q("xwininfo"), Q("-display"), display, Q("-root"), Q("-tree")});
        for (auto it = windowLine.globalMatch(tree); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            if (!m.captured(2).contains(QFileInfo(projectFile).fileName())) continue;
            const QString prop =
                run({Q("xprop"), Q("-display"), display, Q("-id"), m.captured(1), Q("_NET_WM_NAME")});
            const qsizetype open = prop.indexOf(QLatin1Char('"'));
            return prop.mid(open + 1, prop.lastIndexOf(QLatin1Char('"')) - open - 1);
        }
        QThread::msleep(100);
    }
    error =
        Q("no window of the program named the project: ") + QString::fromUtf8(program.readAllStandardError());
    return {};
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TFormMain> w_;
    QTemporaryDir dir_;
    int prompts_ = 0;
    QString nextPath_;

    QLineEdit* E(const char* n) { return W<QLineEdit>(w_.get(), n); }
    QCheckBox* C(const char* n) { return W<QCheckBox>(w_.get(), n); }
    QRadioButton* R(const char* n) { return W<QRadioButton>(w_.get(), n); }
    THtmlEditor* Ed(const char* n) { return W<THtmlEditor>(w_.get(), n); }
    QTableWidget* L(const char* n) { return W<QTableWidget>(w_.get(), n); }
    QAction* A(const char* n) { return W<QAction>(w_.get(), n); }
    bool Shown(const char* n) { return !W<QWidget>(w_.get(), n)->isHidden(); }
    TProjectConfig& P() { return w_->Project(); }
    QString Path(const char* name) { return dir_.filePath(QString::fromLatin1(name)); }

private slots:
    void init() {
        w_ = std::make_unique<TFormMain>();
        prompts_ = 0;
        nextPath_.clear();
        w_->SetFileNamePrompt([this](QWidget*, bool) {
            ++prompts_;
            return nextPath_;
        });
    }
    void cleanup() { w_.reset(); }

    void startUpShowsANewProject() {
        QCOMPARE(Caption(w_.get()), Q("Quillpost"));
        QVERIFY(w_->FileName().isEmpty());
        auto* pages = W<QTabWidget>(w_.get(), "PageControl");
        QCOMPARE(pages->currentIndex(), 0);
        QStringList titles;
        for (int i = 0; i < pages->count(); ++i) titles << pages->tabText(i);
        QCOMPARE(titles,
                 QStringList({Q("項目設定"), Q("メール設定"), Q("自動返信メール設定"), Q("フォーム画面設定"),
                              Q("確認画面設定"), Q("完了画面設定"), Q("作成・設置"), Q("受信データ")}));
        QCOMPARE(E("EditPerlPath")->text(), Q("/usr/bin/perl"));
        QCOMPARE(E("EditSendmailPath")->text(), Q("/usr/lib/sendmail"));
        QCOMPARE(W<QLabel>(w_.get(), "LabelCharset")->text(), Q("文字コード"));
        QCOMPARE(W<QComboBox>(w_.get(), "ComboBoxCharset")->currentText(), Q("EUC-JP"));
        QCOMPARE(W<QComboBox>(w_.get(), "ComboBoxCharset")->count(), 2);
        QCOMPARE(W<QGroupBox>(w_.get(), "GroupBoxServer")->title(), Q("サーバの設定"));
        QVERIFY(W<QGroupBox>(w_.get(), "GroupBoxServer")->isAncestorOf(W<QComboBox>(w_.get(), "ComboBoxCharset")));
        QCOMPARE(E("EditFtpFileName")->text(), Q("formmail.cgi"));
        QCOMPARE(E("EditFtpChmod")->text(), Q("CHMOD"));
        QCOMPARE(E("EditFtpHostName")->text(), QString());
        QCOMPARE(E("EditPassword")->echoMode(), QLineEdit::Password);
        QVERIFY(!C("CheckBoxUseUserMail")->isChecked());
        QVERIFY(!C("CheckBoxUseConfirm")->isChecked());
        QVERIFY(!C("CheckBoxFtpPassive")->isChecked());
        QCOMPARE(W<QComboBox>(w_.get(), "ComboBoxFtpProtocol")->currentText(), Q("FTPS（TLSで暗号化）"));
        QVERIFY(R("RadioButtonFinishTemplate")->isChecked());
        QVERIFY(R("RadioButtonSaveLocal")->isChecked());
        const QString finish = FromSjis(TProjectConfig::MakeDefaultFinishHtml(TPageStyle::Html5));
        QCOMPARE(Ed("EditorFinishHtml")->Text(), QString(finish).replace(Q("\n"), Q("\r\n")));
        QCOMPARE(Ed("EditorFormHtml")->Text(), QString());
        for (const char* list : {"ValueListManagerHeader", "ValueListUserMailHeader"}) {
            QCOMPARE(L(list)->rowCount(), 3);
            QCOMPARE(L(list)->item(1, 0)->text(), Q("To"));
            QCOMPARE(ListValue(L(list), Q("Subject")), QString());
            QVERIFY(!(L(list)->item(0, 0)->flags() & Qt::ItemIsEditable));
        }
        QCOMPARE(w_->ItemGrid()->DataRowCount(), 1);
        // The empty row is no item: not current, and nothing to edit or delete.
        QCOMPARE(w_->ItemGrid()->CurrentRow(), 0);
        QVERIFY(!A("ActionItemUpdate")->isEnabled());
        QVERIFY(!A("ActionItemDelete")->isEnabled());
        QStringList menus;  // no menu of entries that never work
        for (const QAction* menu : w_->menuBar()->actions()) menus << menu->text();
        QCOMPARE(menus, QStringList({Q("ファイル(&G)"), Q("編集(&E)"), Q("ヘルプ(&H)")}));
        QCOMPARE(A("ActionFileClose")->text(), Q("終了(&X)"));
        QCOMPARE(A("ActionFileSave")->shortcut(), QKeySequence(Q("Ctrl+S")));
        QCOMPARE(W<QPushButton>(w_.get(), "BtnItemInsert")->text(), Q("項目追加(&I)"));
        QCOMPARE(C("CheckBoxUseConfirm")->statusTip(), Q("確認画面を表示するときはチェックしてください"));
        QCOMPARE(Ed("EditorUserMailBody")->statusTip(), Q("<% name属性 %>で入力値が表示されます。"));
        // Only the three page editors colour HTML.
        QVERIFY(Ed("EditorFormHtml")->Highlighter() != nullptr);
        QVERIFY(Ed("EditorUserMailBody")->Highlighter() == nullptr);
    }

    // Every setting with a control goes into it and comes back, its hint on the control and
    // on the control's label: the window's copies follow the table.
    void everyTableSettingGoesToItsControlAndBack() {
        const TSettingsTable& table = ProjectSettings();
        TSettingValues values(table);
        for (std::size_t i = 0; i < table.size(); ++i) {
            const TSettingDef& d = table[i];
            if (d.IsText()) values.Set(i, Sj("値 ") + d.Key + (d.Kind == TSettingKind::MultiLine ? "\r\n二行目\r\n" : ""));
            if (d.Kind == TSettingKind::Boolean) values.Set(i, !std::get<bool>(d.NewValue));
            if (d.Kind == TSettingKind::Integer) values.Set(i, d.Min + 1);
            if (d.Kind == TSettingKind::Choice) values.Set(i, static_cast<int>(d.Choices.size()) - 1);
        }
        P().Settings() = values;
        w_->LoadControlsFromProject();
        P().Reset();
        w_->StoreControlsToProject();
        for (std::size_t i = 0; i < table.size(); ++i) {
            const TSettingDef& d = table[i];
            const bool shown = d.Control || (d.Kind == TSettingKind::Choice && d.Choices.front().Button);
            if (!shown) continue;
            QVERIFY2(P().Settings().Value(i) == values.Value(i), d.Key);
            if (!d.Hint) continue;
            const QString name = QString::fromUtf8(d.Control).section(QLatin1Char('/'), 0, 0);
            auto* control = W<QWidget>(w_.get(), name.toUtf8().constData());
            QCOMPARE(control->statusTip(), QString::fromUtf8(d.Hint));
            for (auto* label : w_->findChildren<QLabel*>())
                if (label->buddy() == control) QCOMPARE(label->statusTip(), QString::fromUtf8(d.Hint));
        }
    }

    // A setting added to a table needs its entry and a control of that name, nothing more;
    // a text Shift_JIS cannot hold is refused naming the setting, and nothing is stored.
    void anAddedSettingNeedsOnlyItsEntryAndControl() {
        QWidget page;
        auto* edit = new QLineEdit(&page);
        edit->setObjectName(Q("EditInboxKeyFile"));
        auto* label = new QLabel(Q("鍵"), &page);
        label->setBuddy(edit);
        auto* spin = new QSpinBox(&page);
        spin->setObjectName(Q("SpinBoxInboxMegabytes"));
        spin->setRange(0, 1000);
        for (const char* n : {"RadioButtonHtml5", "RadioButtonXhtml"}) (new QRadioButton(&page))->setObjectName(Q(n));
        const TSettingsTable table = {
            {.Id = TSetting{0}, .Section = "INBOX", .Key = "KeyFile", .Kind = TSettingKind::Text,
             .NewValue = std::string(), .MissingValue = std::string(), .Control = "EditInboxKeyFile",
             .Label = "秘密鍵", .Hint = "受信箱を読む鍵です。"},
            {.Id = TSetting{1}, .Section = "INBOX", .Key = "MaxMegabytes", .Kind = TSettingKind::Integer,
             .NewValue = 20, .MissingValue = 20, .Control = "SpinBoxInboxMegabytes"},
            {.Id = TSetting{2}, .Section = "SAMPLE", .Key = "Style", .Kind = TSettingKind::Choice, .NewValue = 0,
             .MissingValue = 1, .Choices = {{"HTML5", "RadioButtonHtml5"}, {"XHTML", "RadioButtonXhtml"}}},
        };
        TSettingControls controls(&page, table);
        QCOMPARE(edit->statusTip(), Q("受信箱を読む鍵です。"));
        QCOMPARE(label->statusTip(), Q("受信箱を読む鍵です。"));

        TSettingValues values(table);
        values.Set(0, Sj("/home/鍵.pem"));
        values.Set(1, 64);
        values.Set(2, 1);
        controls.Show(controls.Prepare(values));
        QCOMPARE(edit->text(), Q("/home/鍵.pem"));
        QCOMPARE(spin->value(), 64);
        QVERIFY(controls.Group(2)->button(1)->isChecked());
        TSettingValues back(table);
        controls.Store(back);
        QVERIFY(back == values);

        edit->setText(Q("鍵😀"));
        spin->setValue(5);
        try {
            controls.Store(back);
            QFAIL("no error");
        } catch (const Error& e) {
            QVERIFY2(QString::fromStdString(e.Message()).contains(Q("秘密鍵")), e.what());
        }
        QVERIFY(back == values);
    }

    // Any change marks the project; closing, New and Open then ask, and only a saved or
    // discarded project goes; a save that is cancelled or fails keeps the window and the work.
    void changedProjectIsNeverLostWithoutAQuestion() {
        QCOMPARE(Caption(w_.get()), Q("Quillpost"));
        QCOMPARE(A("ActionFileClose")->shortcut(), QKeySequence(Q("Ctrl+Q")));
        E("EditPerlPath")->setText(Q("/opt/perl"));
        QCOMPARE(Caption(w_.get()), Q("Quillpost*"));
        {
            TBoxAnswerer cancel(QMessageBox::Cancel);
            QVERIFY(!w_->close());
            QCOMPARE(cancel.Count(), 1);
            QCOMPARE(cancel.Text(), Q("変更を保存しますか？"));
            QCOMPARE(cancel.ButtonText(QMessageBox::Save), Q("保存"));
            QCOMPARE(cancel.ButtonText(QMessageBox::Discard), Q("保存しない"));
            QCOMPARE(cancel.ButtonText(QMessageBox::Cancel), Q("キャンセル"));
            A("ActionFileNew")->trigger();
            QCOMPARE(E("EditPerlPath")->text(), Q("/opt/perl"));
        }
        {
            TBoxAnswerer save(QMessageBox::Save);  // never saved: a name is asked, and not given
            QVERIFY(!w_->close());
            QCOMPARE(prompts_, 1);
            nextPath_ = Path("kept.qpf");
            QVERIFY(w_->close());
        }
        QCOMPARE(Caption(w_.get()), Q("Quillpost - kept.qpf -"));
        TProjectConfig saved;
        saved.LoadFromFile(Path("kept.qpf").toStdString());
        QCOMPARE(saved.GetPerlPath(), std::string("/opt/perl"));

        P().AddItem(TextItem("name", "お名前"));
        QCOMPARE(Caption(w_.get()), Q("Quillpost - kept.qpf* -"));
        {
            TBoxAnswerer discard(QMessageBox::Discard);
            A("ActionFileNew")->trigger();
            QCOMPARE(discard.Count(), 1);
        }
        QVERIFY(P().GetItems().empty());
        QCOMPARE(Caption(w_.get()), Q("Quillpost"));
        TBoxAnswerer none;
        QVERIFY(w_->close());
        QCOMPARE(none.Count(), 0);
    }

    // Opening is all or nothing: random bytes, a UTF-8 file or a broken item leave the open
    // project, its items, name and changed mark exactly as they were.
    void failedOpenKeepsEverything() {
        nextPath_ = Path("mine.qpf");
        P().AddItem(TextItem("mine", "私の"));
        A("ActionFileSaveAs")->trigger();
        E("EditPerlPath")->setText(Q("/unsaved"));
        QByteArray noise;
        for (int i = 0; i < 3000; ++i) noise.append(static_cast<char>((i * 7919 + 13) % 256));
        const std::pair<const char*, QByteArray> files[] = {
            {"noise.qpf", noise},
            {"utf8.qpf", QByteArray("[ITEM]\r\nItemCount=0\r\n[FORM_PAGE]\r\nFormHtml=\xe3\x81\x82\r\n")},
            {"broken.qpf", QByteArray("[ITEM]\r\nItemCount=1\r\n[ITEM_0]\r\nType=bogus\r\n")},
        };
        for (const auto& [name, bytes] : files) {
            QFile f(Path(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
            f.close();
            nextPath_ = Path(name);
            TBoxAnswerer boxes(QMessageBox::Discard);
            A("ActionFileOpen")->trigger();
            QCOMPARE(boxes.Count(), 2);  // the question, then why the file was refused
            QVERIFY2(boxes.Text().contains(Q(name)), qPrintable(boxes.Text()));
            QCOMPARE(Caption(w_.get()), Q("Quillpost - mine.qpf* -"));
            QCOMPARE(E("EditPerlPath")->text(), Q("/unsaved"));
            QCOMPARE(w_->ItemGrid()->CellText(1, 0), Q("mine"));
        }
    }

    // Saved and opened projects head the File menu's recent list (eight at most, kept for the
    // next start); a vanished one leaves it with a message; a project dropped on the window opens.
    void recentFilesAndADroppedProject() {
        const QString store = Path("recent.ini");
        w_->SetRecentFilesStore(store);
        auto* menu = W<QMenu>(w_.get(), "MenuRecentFiles");
        QVERIFY(!menu->isEnabled());
        for (int i = 0; i < 10; ++i) {
            nextPath_ = Path(qPrintable(QStringLiteral("p%1&.qpf").arg(i)));
            A("ActionFileSaveAs")->trigger();
        }
        w_->OpenProjectFile(Path("p3&.qpf"));
        QCOMPARE(menu->actions().size(), 8);
        QCOMPARE(menu->actions().first()->text(), Q("&1 p3&&.qpf"));
        QCOMPARE(menu->actions().at(1)->data().toString(), Path("p9&.qpf"));
        QCOMPARE(menu->actions().last()->data().toString(), Path("p2&.qpf"));  // p1 and p0 have gone
        QCOMPARE(TRecentFiles(store).Files().size(), 8);  // what the next start shows

        E("EditPerlPath")->setText(Q("/changed"));
        {
            TBoxAnswerer cancel(QMessageBox::Cancel);  // the question comes first, and can keep the work
            menu->actions().at(1)->trigger();
            QCOMPARE(cancel.Count(), 1);
            QCOMPARE(Caption(w_.get()), Q("Quillpost - p3&.qpf* -"));
        }
        QVERIFY(QFile::remove(Path("p9&.qpf")));
        {
            TBoxAnswerer boxes;
            menu->actions().at(1)->trigger();
            QCOMPARE(boxes.Count(), 1);
            QCOMPARE(boxes.Text(), Q("「") + Path("p9&.qpf") + Q("」が見つかりません。一覧から外しました。"));
        }
        QCOMPARE(menu->actions().size(), 7);

        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(Path("notes.txt")), QUrl::fromLocalFile(Path("p5&.qpf"))});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w_.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        TBoxAnswerer discard(QMessageBox::Discard);
        QApplication::sendEvent(w_.get(), &drop);
        QTRY_COMPARE(Caption(w_.get()), Q("Quillpost - p5&.qpf -"));
        QCOMPARE(discard.Count(), 1);
        QMimeData text;
        text.setText(Q("hello"));
        QDragEnterEvent refused(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w_.get(), &refused);
        QVERIFY(!refused.isAccepted());
    }

    // Reorder, duplicate and delete from the buttons, the keys, a drag and the grid's menu: each is one
    // step that 元に戻す takes back and やり直し makes again, and the new order reaches the pages.
    void itemsReorderDuplicateDeleteAndUndo() {
        w_->show();
        QApplication::setActiveWindow(w_.get());
        QVERIFY(QTest::qWaitForWindowActive(w_.get()));
        for (const char* n : {"a", "b", "c"}) P().AddItem(TextItem(n, n));
        TItemGrid* grid = w_->ItemGrid();
        const auto names = [this] { return P().GetItemNames(); };
        using Names = std::vector<std::string>;
        grid->SetCurrentRow(3);
        W<QPushButton>(w_.get(), "BtnItemUp")->click();
        QCOMPARE(names(), (Names{"a", "c", "b"}));
        QCOMPARE(grid->CurrentRow(), 2);
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_Up, Qt::ControlModifier);
        QCOMPARE(names(), (Names{"c", "a", "b"}));
        QVERIFY(!A("ActionItemUp")->isEnabled());
        A("ActionItemDuplicate")->trigger();
        QCOMPARE(names(), (Names{"c", "item1", "a", "b"}));
        QCOMPARE(grid->CurrentRow(), 2);
        QCOMPARE(grid->CellText(2, 3), Q("一行入力欄"));
        {
            TBoxAnswerer yes(QMessageBox::Yes);
            QTest::keyClick(grid, Qt::Key_Delete);
            QCOMPARE(yes.Count(), 1);
        }
        QCOMPARE(names(), (Names{"c", "a", "b"}));
        const std::string form = MakeFormSampleHtml(P());
        QVERIFY(form.find("name=\"c\"") < form.find("name=\"a\""));

        A("ActionEditUndo")->trigger();
        QCOMPARE(names(), (Names{"c", "item1", "a", "b"}));
        for (int i = 0; i < 3; ++i) A("ActionEditUndo")->trigger();
        QCOMPARE(names(), (Names{"a", "b", "c"}));
        QVERIFY(!A("ActionEditUndo")->isEnabled());
        A("ActionEditRedo")->trigger();
        QCOMPARE(names(), (Names{"a", "c", "b"}));

        // Dragged: the first row dropped under the lower half of the last, then back to the top.
        const auto drag = [&](int row, int onto, bool lowerHalf) {
            grid->SetCurrentRow(row);
            const QRect cell = grid->visualRect(grid->model()->index(onto - 1, 0));
            grid->MoveCurrentRowTo(lowerHalf ? cell.bottomLeft() + QPoint(2, -1) : cell.topLeft() + QPoint(2, 1));
        };
        QVERIFY(grid->dragEnabled() && grid->dragDropMode() == QAbstractItemView::InternalMove);
        drag(1, 3, true);
        QCOMPARE(names(), (Names{"c", "b", "a"}));
        QCOMPARE(grid->CurrentRow(), 3);
        drag(3, 1, false);
        QCOMPARE(names(), (Names{"a", "c", "b"}));
        A("ActionEditUndo")->trigger();
        QCOMPARE(names(), (Names{"c", "b", "a"}));
        A("ActionEditUndo")->trigger();
        QCOMPARE(names(), (Names{"a", "c", "b"}));
        QCOMPARE(A("ActionEditUndo")->shortcut(), QKeySequence(QKeySequence::Undo));
        QCOMPARE(grid->contextMenuPolicy(), Qt::ActionsContextMenu);
        QVERIFY(grid->actions().contains(A("ActionItemDuplicate")));
        {
            TBoxAnswerer discard(QMessageBox::Discard);
            A("ActionFileNew")->trigger();
        }
        QVERIFY(!A("ActionEditUndo")->isEnabled());  // the history went with its project
        QVERIFY(!A("ActionItemDuplicate")->isEnabled());
    }

    void loadCopiesEverySettingIntoTheControls() {
        P().SetManagerMailFrom(Sj("admin@example.com"));
        P().SetManagerMailTo(Sj("to@example.com"));
        P().SetManagerMailSubject(Sj("お問い合わせ"));
        P().SetUseUserMail(true);
        P().SetUserMailFrom(Sj("shop@example.com"));
        P().SetUserMailTo(Sj("<% email %>"));
        P().SetUserMailSubject(Sj("ありがとう①"));
        P().SetUserMailBody(Sj("一行目\r\n二行目"));
        P().SetFormHtml(Sj("<p>フォーム</p>\r\n"));
        P().SetUseConfirm(true);
        P().SetConfirmHtml(Sj("<p>確認</p>"));
        P().SetFinishPageMoveType(0);
        P().SetFinishPageLocation(Sj("<p>完了</p>"));
        P().SetPerlPath("/opt/perl");
        P().SetSendmailPath("/opt/sendmail");
        P().SetCharset(TCgiCharset::Utf8);
        P().SetFtpHostName("ftp.example.com");
        P().SetFtpUserName("user");
        P().SetFtpPassword("secret");
        P().SetFtpFileName("mail.cgi");
        P().SetFtpDirectory("/cgi-bin");
        P().SetFtpChmod("SITE CHMOD");
        P().SetFtpPassive(true);
        P().SetFtpProtocol(TFtpProtocol::Ftp);
        P().SetMakeFileType(2);
        w_->LoadControlsFromProject();

        QCOMPARE(ListValue(L("ValueListManagerHeader"), Q("From")), Q("admin@example.com"));
        QCOMPARE(ListValue(L("ValueListManagerHeader"), Q("To")), Q("to@example.com"));
        QCOMPARE(ListValue(L("ValueListManagerHeader"), Q("Subject")), Q("お問い合わせ"));
        QVERIFY(C("CheckBoxUseUserMail")->isChecked());
        QCOMPARE(ListValue(L("ValueListUserMailHeader"), Q("From")), Q("shop@example.com"));
        QCOMPARE(ListValue(L("ValueListUserMailHeader"), Q("To")), Q("<% email %>"));
        QCOMPARE(ListValue(L("ValueListUserMailHeader"), Q("Subject")), Q("ありがとう①"));
        QCOMPARE(Ed("EditorUserMailBody")->toPlainText(), Q("一行目\n二行目"));
        QCOMPARE(Ed("EditorUserMailBody")->Text(), Q("一行目\r\n二行目"));
        QCOMPARE(Ed("EditorFormHtml")->Text(), Q("<p>フォーム</p>\r\n"));
        QVERIFY(C("CheckBoxUseConfirm")->isChecked());
        QCOMPARE(Ed("EditorConfirmHtml")->Text(), Q("<p>確認</p>"));
        QCOMPARE(Ed("EditorFinishHtml")->Text(), Q("<p>完了</p>"));
        QCOMPARE(E("EditFinishLocation")->text(), QString());
        QCOMPARE(E("EditPerlPath")->text(), Q("/opt/perl"));
        QCOMPARE(E("EditSendmailPath")->text(), Q("/opt/sendmail"));
        QCOMPARE(W<QComboBox>(w_.get(), "ComboBoxCharset")->currentText(), Q("UTF-8"));
        QCOMPARE(E("EditFtpHostName")->text(), Q("ftp.example.com"));
        QCOMPARE(E("EditFtpUserName")->text(), Q("user"));
        QCOMPARE(E("EditPassword")->text(), Q("secret"));
        QCOMPARE(E("EditFtpFileName")->text(), Q("mail.cgi"));
        QCOMPARE(E("EditFtpDirectory")->text(), Q("/cgi-bin"));
        QCOMPARE(E("EditFtpChmod")->text(), Q("SITE CHMOD"));
        QVERIFY(C("CheckBoxFtpPassive")->isChecked());
        QCOMPARE(W<QComboBox>(w_.get(), "ComboBoxFtpProtocol")->currentText(), Q("FTP（暗号化なし）"));
        QVERIFY(R("RadioButtonSaveSheafer")->isChecked());
        QVERIFY(!R("RadioButtonSaveLocal")->isChecked());
        QVERIFY(Shown("PanelUserMailEdit"));
        QVERIFY(Shown("EditorConfirmHtml"));
    }

    void storeCopiesEveryControlIntoTheProject() {
        SetListValue(L("ValueListManagerHeader"), Q("From"), Q("a@example.com"));
        SetListValue(L("ValueListManagerHeader"), Q("To"), Q("b@example.com"));
        SetListValue(L("ValueListManagerHeader"), Q("Subject"), Q("件名"));
        C("CheckBoxUseUserMail")->setChecked(true);
        SetListValue(L("ValueListUserMailHeader"), Q("From"), Q("c@example.com"));
        SetListValue(L("ValueListUserMailHeader"), Q("To"), Q("<% mail %>"));
        SetListValue(L("ValueListUserMailHeader"), Q("Subject"), Q("控え"));
        Ed("EditorUserMailBody")->setPlainText(Q("本文\n髙橋"));
        Ed("EditorFormHtml")->setPlainText(Q("<form>\n</form>"));
        C("CheckBoxUseConfirm")->setChecked(true);
        Ed("EditorConfirmHtml")->setPlainText(Q("確認\n"));
        Ed("EditorFinishHtml")->setPlainText(Q("完了"));
        E("EditPerlPath")->setText(Q("/p"));
        E("EditSendmailPath")->setText(Q("/s"));
        W<QComboBox>(w_.get(), "ComboBoxCharset")->setCurrentIndex(1);
        E("EditFtpHostName")->setText(Q("h"));
        E("EditFtpUserName")->setText(Q("u"));
        E("EditPassword")->setText(Q("pw"));
        E("EditFtpFileName")->setText(Q("f.cgi"));
        E("EditFtpDirectory")->setText(Q("/d"));
        E("EditFtpChmod")->setText(Q("CH"));
        C("CheckBoxFtpPassive")->setChecked(true);
        R("RadioButtonSaveAndUpdate")->setChecked(true);
        w_->StoreControlsToProject();

        QCOMPARE(P().GetManagerMailFrom(), Sj("a@example.com"));
        QCOMPARE(P().GetManagerMailTo(), Sj("b@example.com"));
        QCOMPARE(P().GetManagerMailSubject(), Sj("件名"));
        QVERIFY(P().GetUseUserMail());
        QCOMPARE(P().GetUserMailFrom(), Sj("c@example.com"));
        QCOMPARE(P().GetUserMailTo(), Sj("<% mail %>"));
        QCOMPARE(P().GetUserMailSubject(), Sj("控え"));
        QCOMPARE(P().GetUserMailBody(), Sj("本文\r\n髙橋"));
        QCOMPARE(P().GetFormHtml(), Sj("<form>\r\n</form>"));
        QVERIFY(P().GetUseConfirm());
        QCOMPARE(P().GetConfirmHtml(), Sj("確認\r\n"));
        QCOMPARE(P().GetFinishPageMoveType(), 0);
        QCOMPARE(P().GetFinishPageLocation(), Sj("完了"));
        QCOMPARE(P().GetPerlPath(), Sj("/p"));
        QCOMPARE(P().GetSendmailPath(), Sj("/s"));
        QCOMPARE(P().GetCharset(), TCgiCharset::Utf8);
        QCOMPARE(P().GetFtpHostName(), Sj("h"));
        QCOMPARE(P().GetFtpUserName(), Sj("u"));
        QCOMPARE(P().GetFtpPassword(), Sj("pw"));
        QCOMPARE(P().GetFtpFileName(), Sj("f.cgi"));
        QCOMPARE(P().GetFtpDirectory(), Sj("/d"));
        QCOMPARE(P().GetFtpChmod(), Sj("CH"));
        QVERIFY(P().GetFtpPassive());
        QCOMPARE(P().GetMakeFileType(), 1);

        C("CheckBoxUseUserMail")->setChecked(false);
        C("CheckBoxUseConfirm")->setChecked(false);
        C("CheckBoxFtpPassive")->setChecked(false);
        W<QComboBox>(w_.get(), "ComboBoxFtpProtocol")->setCurrentIndex(1);
        R("RadioButtonSaveSheafer")->setChecked(true);
        w_->StoreControlsToProject();
        QCOMPARE(P().GetFtpProtocol(), TFtpProtocol::Ftps);
        QVERIFY(!P().GetUseUserMail());
        QVERIFY(!P().GetUseConfirm());
        QVERIFY(!P().GetFtpPassive());
        QCOMPARE(P().GetMakeFileType(), 2);
    }

    // SFTP has no passive mode and sets the mode itself; its key file is picked in a dialog
    // that starts in the SSH folder. Switching back finds the FTP settings as they were.
    void sftpTakesAKeyFileInsteadOfPassiveModeAndChmod() {
        auto* protocol = W<QComboBox>(w_.get(), "ComboBoxFtpProtocol");
        const char* const ftpOnly[] = {"CheckBoxFtpPassive", "EditFtpChmod", "LabelFtpChmod"};
        const char* const sftpOnly[] = {"EditSftpKeyFile", "LabelSftpKeyFile", "BtnSftpKeyFile"};
        const auto enabled = [this](const char* n) { return W<QWidget>(w_.get(), n)->isEnabled(); };
        C("CheckBoxFtpPassive")->setChecked(true);
        E("EditFtpChmod")->setText(Q("SITE CHMOD"));
        for (int ftp : {0, 1}) {
            protocol->setCurrentIndex(ftp);
            for (const char* n : ftpOnly) QVERIFY2(enabled(n), n);
            for (const char* n : sftpOnly) QVERIFY2(!enabled(n), n);
        }
        protocol->setCurrentIndex(2);
        QCOMPARE(protocol->currentText(), Q("SFTP（SSHで暗号化）"));
        for (const char* n : ftpOnly) QVERIFY2(!enabled(n), n);
        for (const char* n : sftpOnly) QVERIFY2(enabled(n), n);

        // A home of the test's own, whichever way the test is run.
        QTemporaryDir home;
        struct TRestoreHome {
            QByteArray path = qgetenv("HOME");
            ~TRestoreHome() { qputenv("HOME", path); }
        } restoreHome;
        qputenv("HOME", QFile::encodeName(home.path()));
        const QDir ssh(QDir::home().filePath(Q(".ssh")));
        QVERIFY(QDir().mkpath(ssh.path()));
        QFile key(ssh.filePath(Q("id_ed25519")));
        QVERIFY(key.open(QIODevice::WriteOnly));
        key.close();
        QString startFolder;
        QStringList filters;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr) return;
            startFolder = dialog->directory().path();
            filters = dialog->nameFilters();
            dialog->selectFile(key.fileName());
            static_cast<QDialog*>(dialog)->accept();
        });
        poll.start(5);
        W<QPushButton>(w_.get(), "BtnSftpKeyFile")->click();
        poll.stop();
        QCOMPARE(startFolder, ssh.path());
        QCOMPARE(filters, QStringList({Q("すべてのファイル(*)")}));
        QCOMPARE(E("EditSftpKeyFile")->text(), key.fileName());

        protocol->setCurrentIndex(0);
        QVERIFY(enabled("CheckBoxFtpPassive") && C("CheckBoxFtpPassive")->isChecked());
        QCOMPARE(E("EditFtpChmod")->text(), Q("SITE CHMOD"));
        QVERIFY(!enabled("EditSftpKeyFile"));
        QCOMPARE(E("EditSftpKeyFile")->text(), key.fileName());
    }

    // An SFTP project with a key file comes back as it was through the controls and the file;
    // a key path that Shift_JIS cannot hold is refused by its field's name.
    void sftpProjectSurvivesShowStoreSaveAndLoad() {
        P().SetFtpProtocol(TFtpProtocol::Sftp);
        P().SetSftpKeyFile(Sj("/home/髙橋/.ssh/id_ed25519"));
        P().SetFtpTrustedCert("SHA256:AB");
        w_->LoadControlsFromProject();
        QCOMPARE(W<QComboBox>(w_.get(), "ComboBoxFtpProtocol")->currentText(), Q("SFTP（SSHで暗号化）"));
        QCOMPARE(E("EditSftpKeyFile")->text(), Q("/home/髙橋/.ssh/id_ed25519"));
        QVERIFY(!C("CheckBoxFtpPassive")->isEnabled());

        E("EditSftpKeyFile")->setText(Q("/home/髙橋/鍵/id_rsa"));
        nextPath_ = Path("sftp.qpf");
        A("ActionFileSaveAs")->trigger();
        A("ActionFileNew")->trigger();
        QCOMPARE(P().GetFtpProtocol(), TFtpProtocol::Ftps);
        A("ActionFileOpen")->trigger();
        QCOMPARE(W<QComboBox>(w_.get(), "ComboBoxFtpProtocol")->currentText(), Q("SFTP（SSHで暗号化）"));
        QCOMPARE(E("EditSftpKeyFile")->text(), Q("/home/髙橋/鍵/id_rsa"));
        w_->StoreControlsToProject();
        QCOMPARE(P().GetFtpProtocol(), TFtpProtocol::Sftp);
        QCOMPARE(P().GetSftpKeyFile(), Sj("/home/髙橋/鍵/id_rsa"));
        QCOMPARE(P().GetFtpTrustedCert(), std::string("SHA256:AB"));

        E("EditSftpKeyFile")->setText(Q("/home/\xF0\x9F\x98\x80/key"));
        TBoxAnswerer answer;
        A("ActionFileSave")->trigger();
        QVERIFY2(answer.Text().contains(Q("鍵ファイル")), qPrintable(answer.Text()));
        QCOMPARE(P().GetSftpKeyFile(), Sj("/home/髙橋/鍵/id_rsa"));
    }

    // A certificate's fingerprint kept for FTPS would be refused as a changed SFTP host key, and
    // the other way round: the stored fingerprint goes when the protocol changes, and only then.
    void switchingTheProtocolForgetsTheTrustedFingerprint() {
        auto* protocol = W<QComboBox>(w_.get(), "ComboBoxFtpProtocol");
        const std::string fingerprint = "SHA256:" + std::string(95, 'A');
        const struct {
            TFtpProtocol from;
            int to;
            bool kept;
        } cases[] = {
            {TFtpProtocol::Ftps, 1, true},  {TFtpProtocol::Sftp, 2, true},  {TFtpProtocol::Ftps, 2, false},
            {TFtpProtocol::Sftp, 1, false}, {TFtpProtocol::Sftp, 0, false}, {TFtpProtocol::Ftp, 1, false},
        };
        for (const auto& c : cases) {
            P().SetFtpProtocol(c.from);
            P().SetFtpTrustedCert(fingerprint);
            w_->LoadControlsFromProject();
            protocol->setCurrentIndex(c.to);
            w_->StoreControlsToProject();
            QCOMPARE(P().GetFtpTrustedCert(), c.kept ? fingerprint : std::string());
        }
    }

    // The defences go both ways through their group; a value out of range is kept as the
    // file has it, so that the make refuses it with its message instead of changing it.
    void guardSettingsGoThroughTheirGroup() {
        const auto spin = [this](const char* n) { return W<QSpinBox>(w_.get(), n); };
        const char* const controls[] = {"CheckBoxUseToken",  "SpinBoxMinSeconds",   "SpinBoxTokenHours",
                                        "CheckBoxUseHoneypot", "SpinBoxLimitCount", "SpinBoxLimitMinutes",
                                        "SpinBoxReplyLimit",  "CheckBoxVisitorFrom", "SpinBoxReplyPerHour",
                                        "SpinBoxReplyEchoChars", "EditEnvelopeFrom"};
        for (const char* n : controls) QVERIFY2(!W<QWidget>(w_.get(), n)->statusTip().isEmpty(), n);
        QVERIFY(C("CheckBoxUseToken")->isChecked());
        QCOMPARE(spin("SpinBoxLimitCount")->value(), 5);

        P().SetGuard({false, 0, 0, false, -3, 1440, 0, true, 7, 0, "bounce@example.com"});
        w_->LoadControlsFromProject();
        QVERIFY(!C("CheckBoxUseToken")->isChecked());
        QVERIFY(!spin("SpinBoxMinSeconds")->isEnabled());
        QCOMPARE(spin("SpinBoxTokenHours")->value(), 0);
        QCOMPARE(spin("SpinBoxLimitCount")->value(), -3);
        QCOMPARE(spin("SpinBoxLimitMinutes")->value(), 1440);
        QVERIFY(C("CheckBoxVisitorFrom")->isChecked());
        w_->StoreControlsToProject();
        QCOMPARE(P().GetGuard(), (TGuardSettings{false, 0, 0, false, -3, 1440, 0, true, 7, 0, "bounce@example.com"}));

        C("CheckBoxUseToken")->setChecked(true);
        QVERIFY(spin("SpinBoxMinSeconds")->isEnabled());
        spin("SpinBoxMinSeconds")->findChild<QLineEdit*>()->setText(Q("7"));  // typed, not yet confirmed
        spin("SpinBoxTokenHours")->setValue(48);
        C("CheckBoxUseHoneypot")->setChecked(true);
        spin("SpinBoxLimitCount")->setValue(10);
        spin("SpinBoxReplyLimit")->setValue(1);
        C("CheckBoxVisitorFrom")->setChecked(false);
        spin("SpinBoxReplyPerHour")->setValue(30);
        spin("SpinBoxReplyEchoChars")->setValue(100);
        W<QLineEdit>(w_.get(), "EditEnvelopeFrom")->clear();
        w_->StoreControlsToProject();
        QCOMPARE(P().GetGuard(), (TGuardSettings{true, 7, 48, true, 10, 1440, 1, false, 30, 100, ""}));
    }

    void finishPageModesShareOneSetting() {
        // A redirect project: the template editor is emptied, the address goes to the edit.
        P().SetFinishPageMoveType(1);
        P().SetFinishPageLocation("http://example.com/thanks.html");
        w_->LoadControlsFromProject();
        QVERIFY(R("RadioButtonFinishRedirect")->isChecked());
        QCOMPARE(Ed("EditorFinishHtml")->Text(), QString());
        QCOMPARE(E("EditFinishLocation")->text(), Q("http://example.com/thanks.html"));
        QVERIFY(!Shown("PanelEditFinishHtml"));
        QVERIFY(Shown("EditFinishLocation"));
        E("EditFinishLocation")->setText(Q("http://example.com/other.html"));
        w_->StoreControlsToProject();
        QCOMPARE(P().GetFinishPageMoveType(), 1);
        QCOMPARE(P().GetFinishPageLocation(), std::string("http://example.com/other.html"));

        // Switching to the template stores the (empty) editor, not the address.
        R("RadioButtonFinishTemplate")->click();
        QVERIFY(Shown("PanelEditFinishHtml"));
        QVERIFY(!Shown("EditFinishLocation"));
        w_->StoreControlsToProject();
        QCOMPARE(P().GetFinishPageMoveType(), 0);
        QCOMPARE(P().GetFinishPageLocation(), std::string());

        // Template mode empties the address edit.
        E("EditFinishLocation")->setText(Q("left over"));
        P().SetFinishPageLocation(Sj("<p>完了</p>"));
        w_->LoadControlsFromProject();
        QCOMPARE(E("EditFinishLocation")->text(), QString());
        QCOMPARE(Ed("EditorFinishHtml")->Text(), Q("<p>完了</p>"));
    }

    void unknownModesSelectNoButtonAndAreKept() {
        Ed("EditorFinishHtml")->SetText(Q("editor"));
        E("EditFinishLocation")->setText(Q("edit"));
        P().SetFinishPageMoveType(5);
        P().SetFinishPageLocation("kept");
        P().SetMakeFileType(7);
        w_->LoadControlsFromProject();
        QCOMPARE(w_->FinishPageMoveTypeIndex(), -1);
        QVERIFY(!R("RadioButtonFinishTemplate")->isChecked() && !R("RadioButtonFinishRedirect")->isChecked());
        QCOMPARE(Ed("EditorFinishHtml")->Text(), Q("editor"));
        QCOMPARE(E("EditFinishLocation")->text(), Q("edit"));
        QVERIFY(!R("RadioButtonSaveLocal")->isChecked() && !R("RadioButtonSaveAndUpdate")->isChecked() &&
                !R("RadioButtonSaveSheafer")->isChecked());
        w_->StoreControlsToProject();
        QCOMPARE(P().GetFinishPageMoveType(), 5);
        QCOMPARE(P().GetFinishPageLocation(), std::string("kept"));
        QCOMPARE(P().GetMakeFileType(), 7);
        for (int type : {0, 1, 2}) {
            P().SetMakeFileType(type);
            w_->LoadControlsFromProject();
            w_->StoreControlsToProject();
            QCOMPARE(P().GetMakeFileType(), type);
        }
    }

    void visibilityFollowsTheBoxesAndTheRadioGroup() {
        QVERIFY(!Shown("PanelUserMailEdit"));
        C("CheckBoxUseUserMail")->click();
        QVERIFY(Shown("PanelUserMailEdit"));
        C("CheckBoxUseUserMail")->click();
        QVERIFY(!Shown("PanelUserMailEdit"));

        QVERIFY(!Shown("EditorConfirmHtml") && !Shown("BtnConfirmSampleHtml"));
        QVERIFY(Shown("PanelConfirmHtml"));
        C("CheckBoxUseConfirm")->click();
        QVERIFY(Shown("EditorConfirmHtml") && Shown("BtnConfirmSampleHtml"));
        C("CheckBoxUseConfirm")->click();
        QVERIFY(!Shown("EditorConfirmHtml") && !Shown("BtnConfirmSampleHtml"));

        R("RadioButtonFinishRedirect")->click();
        QVERIFY(!Shown("PanelEditFinishHtml") && Shown("EditFinishLocation"));
        w_->SetFinishPageMoveTypeIndex(3);  // no such mode: nothing changes
        QVERIFY(!Shown("PanelEditFinishHtml") && Shown("EditFinishLocation"));
        w_->SetFinishPageMoveTypeIndex(0);
        QVERIFY(Shown("PanelEditFinishHtml") && !Shown("EditFinishLocation"));

        // Loading applies the rules too.
        P().SetUseUserMail(true);
        P().SetUseConfirm(true);
        w_->LoadControlsFromProject();
        QVERIFY(Shown("PanelUserMailEdit"));
        QVERIFY(Shown("EditorConfirmHtml"));
    }

    void gridFollowsTheItemList() {
        TItemGrid* grid = w_->ItemGrid();
        QCOMPARE(grid->DataRowCount(), 1);
        QCOMPARE(grid->CellText(1, 0), QString());
        P().AddItem(TextItem("name", "お名前", true));
        P().AddItem(TextItem("mail", "メール"));
        QCOMPARE(grid->DataRowCount(), 2);
        QCOMPARE(grid->CellText(1, 0), Q("name"));
        QCOMPARE(grid->CellText(1, 1), Q("お名前"));
        QCOMPARE(grid->CellText(1, 2), Q("○"));
        QCOMPARE(grid->CellText(2, 2), QString());
        P().UpdateItem(1, TextItem("email", "メールアドレス", true));
        QCOMPARE(grid->CellText(2, 0), Q("email"));
        QCOMPARE(grid->CellText(2, 1), Q("メールアドレス"));
        QCOMPARE(grid->CellText(2, 2), Q("○"));
        grid->SetCurrentRow(2);
        P().DeleteItem(1);
        QCOMPARE(grid->DataRowCount(), 1);
        QCOMPARE(grid->CurrentRow(), 1);  // moved back inside the list
        QCOMPARE(grid->CellText(1, 0), Q("name"));
        {
            TBoxAnswerer discard(QMessageBox::Discard);
            A("ActionFileNew")->trigger();
        }
        QCOMPARE(grid->DataRowCount(), 1);
        QCOMPARE(grid->CellText(1, 0), QString());
        QCOMPARE(grid->CellText(1, 2), QString());
    }

    void deleteAsksAndOnlyYesDeletes() {
        {
            TBoxAnswerer answer(QMessageBox::Yes);
            A("ActionItemDelete")->trigger();
            QCOMPARE(answer.Count(), 0);  // nothing to delete: no question
        }
        P().AddItem(TextItem("a", "A"));
        P().AddItem(TextItem("b", "B"));
        w_->ItemGrid()->SetCurrentRow(2);
        for (auto button : {QMessageBox::No, QMessageBox::Cancel}) {
            TBoxAnswerer answer(button);
            A("ActionItemDelete")->trigger();
            QCOMPARE(answer.Count(), 1);
            QCOMPARE(P().GetItemCount(), 2);
        }
        TBoxAnswerer answer(QMessageBox::Yes);
        W<QPushButton>(w_.get(), "BtnItemDelete")->click();
        QCOMPARE(answer.Count(), 1);
        QCOMPARE(answer.Text(), Q("選択されている項目を削除します。よろしいですか？"));
        QCOMPARE(answer.Icon(), QMessageBox::Question);
        QCOMPARE(answer.Buttons(), QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(P().GetItemCount(), 1);
        QCOMPARE(P().GetItems()[0]->GetNameAttr(), std::string("a"));
    }

    void saveAsSetsTheCaptionAndSaveReusesTheName() {
        // Save of a never-saved project asks for a name; cancelling changes nothing.
        A("ActionFileSave")->trigger();
        QCOMPARE(prompts_, 1);
        QVERIFY(w_->FileName().isEmpty());
        QCOMPARE(Caption(w_.get()), Q("Quillpost"));

        nextPath_ = Path("contact.qpf");
        E("EditFtpHostName")->setText(Q("ftp.example.com"));
        A("ActionFileSaveAs")->trigger();
        QCOMPARE(w_->FileName(), Path("contact.qpf"));
        QCOMPARE(Caption(w_.get()), Q("Quillpost - contact.qpf -"));
        QVERIFY(ReadAll(Path("contact.qpf")).contains(Q("ftp.example.com")));

        E("EditFtpHostName")->setText(Q("ftp2.example.com"));
        A("ActionFileSave")->trigger();
        QCOMPARE(prompts_, 2);  // no dialog this time
        QVERIFY(ReadAll(Path("contact.qpf")).contains(Q("ftp2.example.com")));
    }

    void openRestoresTheControls() {
        nextPath_ = Path("round.qpf");
        P().AddItem(TextItem("name", "お名前", true));
        C("CheckBoxUseConfirm")->setChecked(true);
        Ed("EditorConfirmHtml")->SetText(Q("<p>確認</p>\r\n<p>二行目</p>\r\n"));
        R("RadioButtonFinishRedirect")->click();
        E("EditFinishLocation")->setText(Q("http://example.com/"));
        A("ActionFileSaveAs")->trigger();
        A("ActionFileNew")->trigger();
        QCOMPARE(Caption(w_.get()), Q("Quillpost"));
        QVERIFY(!C("CheckBoxUseConfirm")->isChecked());

        A("ActionFileOpen")->trigger();
        QCOMPARE(Caption(w_.get()), Q("Quillpost - round.qpf -"));
        QVERIFY(C("CheckBoxUseConfirm")->isChecked());
        QCOMPARE(Ed("EditorConfirmHtml")->Text(), Q("<p>確認</p>\r\n<p>二行目</p>\r\n"));
        QVERIFY(R("RadioButtonFinishRedirect")->isChecked());
        QCOMPARE(E("EditFinishLocation")->text(), Q("http://example.com/"));
        QCOMPARE(w_->ItemGrid()->CellText(1, 0), Q("name"));
        w_->StoreControlsToProject();  // the address goes back without a line break
        QCOMPARE(P().GetFinishPageLocation(), std::string("http://example.com/"));

        nextPath_.clear();  // a cancelled open changes nothing
        A("ActionFileOpen")->trigger();
        QCOMPARE(w_->FileName(), Path("round.qpf"));
    }

    void openOfABrokenFileReportsAndKeepsTheWindow() {
        nextPath_ = Path("good.qpf");
        E("EditPerlPath")->setText(Q("/before"));
        A("ActionFileSaveAs")->trigger();
        QCOMPARE(Caption(w_.get()), Q("Quillpost - good.qpf -"));

        // One good item, then one of an unknown type.
        TProjectConfig other;
        other.AddItem(TextItem("first", "最初"));
        other.SaveToFile(Path("broken.qpf").toStdString());
        QFile f(Path("broken.qpf"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QByteArray text = f.readAll();
        f.close();
        QVERIFY(text.contains("ItemCount=1"));
        text.replace("ItemCount=1", "ItemCount=2");
        text.append("[ITEM_1]\r\nType=bogus\r\n");
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
        f.close();

        nextPath_ = Path("broken.qpf");
        TBoxAnswerer answer;
        A("ActionFileOpen")->trigger();
        QCOMPARE(answer.Count(), 1);
        QCOMPARE(answer.Title(), Q("Quillpost"));
        QCOMPARE(answer.Icon(), QMessageBox::Critical);
        QCOMPARE(answer.Text(), Q("「broken.qpf」を開けません。不正なデータ型です。"));
        // Nothing of the broken file is taken: the open project stays whole, unchanged.
        QCOMPARE(Caption(w_.get()), Q("Quillpost - good.qpf -"));
        QCOMPARE(w_->FileName(), Path("good.qpf"));
        QCOMPARE(E("EditPerlPath")->text(), Q("/before"));
        QCOMPARE(w_->ItemGrid()->CellText(1, 0), QString());
        QVERIFY(P().GetItems().empty());
    }

    void aCharacterShiftJisCannotHoldStopsSaveMakeAndBrowse() {
        nextPath_ = Path("emoji.qpf");
        Ed("EditorFormHtml")->SetText(Q("<p>\xF0\x9F\x98\x80</p>"));
        E("EditPerlPath")->setText(Q("/changed"));
        for (const char* action : {"ActionFileSaveAs", "ActionMake", "ActionFtpSelectDir"}) {
            TBoxAnswerer answer;
            A(action)->trigger();
            QCOMPARE(answer.Count(), 1);
            QVERIFY2(answer.Text().contains(Q("\xF0\x9F\x98\x80")), qPrintable(answer.Text()));
            QVERIFY(answer.Text().contains(Q("フォーム画面")));
            QCOMPARE(answer.Icon(), QMessageBox::Critical);
        }
        QVERIFY(!QFile::exists(Path("emoji.qpf")));
        QVERIFY(w_->FileName().isEmpty());
        QCOMPARE(Ed("EditorFormHtml")->Text(), Q("<p>\xF0\x9F\x98\x80</p>"));
        // Nothing reached the project, not even the fields before the bad one.
        QCOMPARE(P().GetPerlPath(), std::string("/usr/bin/perl"));
        QCOMPARE(P().GetFormHtml(), std::string());

        // A header value is checked the same way and named by its row.
        Ed("EditorFormHtml")->SetText(Q("ok"));
        SetListValue(L("ValueListUserMailHeader"), Q("Subject"), Q("\xF0\x9F\x8D\xA3"));
        TBoxAnswerer answer;
        A("ActionFileSaveAs")->trigger();
        QVERIFY(answer.Text().contains(Q("自動返信メール Subject")));
        QVERIFY(!QFile::exists(Path("emoji.qpf")));
    }

    // A sample page over the user's own template asks first, and is one undoable step; an
    // empty editor, or one already holding the sample, is filled without a question.
    void samplePagesAskBeforeReplacingAndCanBeUndone() {
        P().AddItem(TextItem("name", "お名前"));
        Ed("EditorFormHtml")->SetText(Q("my own page"));
        {
            TBoxAnswerer no(QMessageBox::No);
            W<QPushButton>(w_.get(), "BtnFormSampleHtml")->click();
            QCOMPARE(no.Count(), 1);
            QVERIFY(no.Text().contains(Q("置き換えます")));
            QCOMPARE(no.Buttons(), QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        }
        QCOMPARE(Ed("EditorFormHtml")->Text(), Q("my own page"));
        {
            TBoxAnswerer yes(QMessageBox::Yes);
            A("ActionFormSampleHtml")->trigger();
            A("ActionFormSampleHtml")->trigger();  // the sample again: nothing to lose, no question
            QCOMPARE(yes.Count(), 1);
        }
        const QString form = Ed("EditorFormHtml")->Text();
        QCOMPARE(form, FromSjis(MakeFormSampleHtml(P())));
        QVERIFY(form.contains(Q("name=\"name\"")));
        Ed("EditorFormHtml")->undo();
        QCOMPARE(Ed("EditorFormHtml")->Text(), Q("my own page"));

        {
            TBoxAnswerer none;
            A("ActionConfirmSampleHtml")->trigger();
            QCOMPARE(none.Count(), 0);
        }
        QCOMPARE(Ed("EditorConfirmHtml")->Text(), FromSjis(MakeConfirmSampleHtml(P())));
        // The pages depend on the items only: the project's page texts are untouched.
        QCOMPARE(P().GetFormHtml(), std::string());
        QVERIFY(Ed("EditorConfirmHtml")->Text().startsWith(Q("<!DOCTYPE html>\r\n")));

        // The style chosen beside the button counts at once, before the project is saved.
        W<QComboBox>(w_.get(), "ComboBoxSampleStyle")->setCurrentIndex(1);
        {
            TBoxAnswerer yes(QMessageBox::Yes);
            A("ActionConfirmSampleHtml")->trigger();
        }
        QCOMPARE(Ed("EditorConfirmHtml")->Text(), FromSjis(MakeConfirmSampleHtml(P(), TPageStyle::Xhtml)));
        // The untouched default finish page follows the style; a changed one stays the user's.
        const auto finish = [](TPageStyle style) {
            return FromSjis(TProjectConfig::MakeDefaultFinishHtml(style)).replace(Q("\r\n"), Q("\n"));
        };
        QCOMPARE(Ed("EditorFinishHtml")->Text().replace(Q("\r\n"), Q("\n")), finish(TPageStyle::Xhtml));
        Ed("EditorFinishHtml")->SetText(Q("thanks"));
        W<QComboBox>(w_.get(), "ComboBoxSampleStyle")->setCurrentIndex(0);
        QCOMPARE(Ed("EditorFinishHtml")->Text(), Q("thanks"));
    }

    // What a user sees of the window itself: the caption in the title bar, Qt's own texts in
    // Japanese, the project file filters, tooltips and the auto-reply page's layout.
    void whatTheUserSeesOfTheWindow() {
        QString error;
        const QString caption = CaptionOnXDisplay(Q(QP_SOURCE_DIR "/examples/contact.qpf"), error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(caption, Q("Quillpost - contact.qpf -"));

        // A question box: Japanese standard buttons.
        P().AddItem(TextItem("a", "A"));
        {
            TBoxAnswerer no(QMessageBox::No);
            A("ActionItemDelete")->trigger();
            QCOMPARE(no.Count(), 1);
            QCOMPARE(no.ButtonText(QMessageBox::Yes), Q("はい(&Y)"));
            QCOMPARE(no.ButtonText(QMessageBox::No), Q("いいえ(&N)"));
            QCOMPARE(no.ButtonText(QMessageBox::Cancel), Q("キャンセル"));
        }
        QCOMPARE(P().GetItemCount(), 1);

        // The project file dialog: Japanese buttons, and every file under "すべてのファイル".
        TFormMain fresh;
        QStringList filters;
        QString openText, cancelText;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr) return;
            filters = dialog->nameFilters();
            auto* buttons = W<QDialogButtonBox>(dialog, "buttonBox");
            openText = buttons->button(QDialogButtonBox::Open)->text();
            cancelText = buttons->button(QDialogButtonBox::Cancel)->text();
            dialog->reject();
        });
        poll.start(5);
        W<QAction>(&fresh, "ActionFileOpen")->trigger();
        poll.stop();
        QCOMPARE(filters, QStringList({Q("設定ファイル(*.qpf)"), Q("すべてのファイル(*)")}));
        QCOMPARE(openText, Q("開く(&O)"));
        QCOMPARE(cancelText, Q("キャンセル"));
        QVERIFY(fresh.FileName().isEmpty());

        // Hints go to the status bar, not into tooltips; the icon-only tool bar buttons keep theirs.
        w_->resize(665, 473);
        w_->show();
        QVERIFY(QTest::qWaitForWindowExposed(w_.get()));
        const auto tooltipOf = [](QWidget* widget) {
            QToolTip::hideText();
            QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), widget->mapToGlobal(QPoint(2, 2)));
            QApplication::sendEvent(widget, &help);
            return QToolTip::isVisible() ? QToolTip::text() : QString();
        };
        auto* make = W<QPushButton>(w_.get(), "BtnMake");
        make->setToolTip(Q("作成します"));
        QCOMPARE(tooltipOf(make), QString());
        auto* toolBar = W<QToolBar>(w_.get(), "ToolBar");
        auto* newButton = qobject_cast<QToolButton*>(toolBar->widgetForAction(A("ActionFileNew")));
        QVERIFY(newButton != nullptr);
        QCOMPARE(tooltipOf(newButton), Q("新規"));
        QStatusTipEvent tip(newButton->statusTip());
        QApplication::sendEvent(newButton, &tip);
        QCOMPARE(W<QStatusBar>(w_.get(), "StatusBar")->currentMessage(), Q("新規"));

        // Auto-reply off: its check box sits at the top of the page, not in the middle.
        auto* pages = W<QTabWidget>(w_.get(), "PageControl");
        pages->setCurrentWidget(W<QWidget>(w_.get(), "TabUserMail"));
        QApplication::processEvents();
        auto* useUserMail = C("CheckBoxUseUserMail");
        QVERIFY(!useUserMail->isChecked());
        QVERIFY2(useUserMail->y() < 20, qPrintable(QString::number(useUserMail->y())));
        useUserMail->click();
        QApplication::processEvents();
        auto* panel = W<QWidget>(w_.get(), "PanelUserMailEdit");
        QVERIFY2(useUserMail->y() < 20, qPrintable(QString::number(useUserMail->y())));
        QVERIFY2(panel->geometry().bottom() > panel->parentWidget()->height() - 20,
                 qPrintable(QString::number(panel->geometry().bottom())));
    }

    void libFolderAndAboutBox() {
        QUrl opened;
        w_->SetUrlOpener([&](const QUrl& url) { opened = url; });
        A("ActionFileOpenLibDir")->trigger();
        QCOMPARE(opened, QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + Q("/lib")));

        QString version;
        QString product;
        QTimer::singleShot(0, this, [&] {
            QWidget* box = QApplication::activeModalWidget();
            QVERIFY(box != nullptr);
            QCOMPARE(box->windowTitle(), Q("バージョン情報"));
            version = W<QLabel>(box, "Version")->text();
            product = W<QLabel>(box, "ProductName")->text();
            W<QPushButton>(box, "OKButton")->click();
        });
        A("ActionHelpVersion")->trigger();
        QCOMPARE(version, Q("0.0.6.0"));
        QCOMPARE(product, Q("Quillpost"));
    }
};

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    InitApplication(app);
    MainWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "main_window_test.moc"
