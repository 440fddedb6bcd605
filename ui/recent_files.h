#pragma once
// The projects last opened or saved, newest first, at most eight, kept in the desktop's
// standard settings place (the program's only settings outside the project files).
#include <QString>
#include <QStringList>
#include <memory>

class QSettings;

namespace qp {

class TRecentFiles {
public:
    static constexpr int kMax = 8;
    // store: an ini file to keep them in; empty: the user's standard place.
    explicit TRecentFiles(const QString& store = QString());
    ~TRecentFiles();

    QStringList Files() const;
    // Puts path first (once); the oldest beyond kMax goes.
    void Add(const QString& path);
    void Remove(const QString& path);

private:
    void Keep(const QStringList& files);
    std::unique_ptr<QSettings> settings_;
};

}  // namespace qp
