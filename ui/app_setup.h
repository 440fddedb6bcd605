#pragma once
// What the program sets up once before its first window: title, font, icon, and Qt's own
// texts (standard buttons, file dialogs) in Japanese.
#include <QIcon>
#include <QString>

class QApplication;

namespace qp {

// The application title; the window caption and the About box are made from it.
inline constexpr const char* kApplicationTitle = "Quillpost";
// The title as the windows show it. It is not Qt's application display name: Qt would append
// that to every window caption that does not already end with it.
inline QString ApplicationTitle() {
    return QString::fromUtf8(kApplicationTitle);
}

void InitApplication(QApplication& app);
// Loads Qt's Japanese translations; without them (package missing) a warning says so.
void InstallQtTranslations(QApplication& app);
// The program's icon, drawn rather than loaded so that the executable needs no files beside it.
QIcon ProgramIcon();

}  // namespace qp
