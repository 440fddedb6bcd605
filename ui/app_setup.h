#pragma once
// What the program sets up once before its first window: title, font, icon.
#include <QIcon>

class QApplication;

namespace qp {

// The application title; the window caption and the About box are made from it.
inline constexpr const char* kApplicationTitle = "Quillpost";

void InitApplication(QApplication& app);
// The program's icon, drawn rather than loaded so that the executable needs no files beside it.
QIcon ProgramIcon();

}  // namespace qp
