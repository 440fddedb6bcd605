#pragma once
// The desktop program's questions for a file name or a password, and the path form that the
// core takes.
#include <QString>
#include <optional>
#include <string>

class QWidget;

namespace qp {

// A project file to open or save as (empty: cancelled); saving asks nothing about an existing file.
QString AskProjectFileName(QWidget* parent, bool forSave);
// The server password for this session, typed masked; nullopt when cancelled.
std::optional<QString> AskPassword(QWidget* parent);
// A path as the platform's bytes.
std::string LocalPath(const QString& path);

}  // namespace qp
