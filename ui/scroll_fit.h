#pragma once
// Makes windows usable on screens smaller than their content (a 1366x768 laptop, or any
// screen at 2x scale): the content scrolls, the buttons stay in view, and a window opens no
// bigger than the screen.
class QDialog;
class QTabWidget;
class QWidget;

namespace qp {

// Every page of the tab widget scrolls when the tab is smaller than the page.
void MakePagesScroll(QTabWidget* tabs);
// Everything in the dialog's top box layout but its last row (the buttons) scrolls.
void MakeDialogScroll(QDialog* dialog);
// A top-level widget's size bounded by the available area of its screen, and moved inside it.
void FitToScreen(QWidget* window);

}  // namespace qp
