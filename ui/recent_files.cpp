#include "ui/recent_files.h"

#include <QFileInfo>
#include <QSettings>

namespace qp {
namespace {

const QString kKey = QStringLiteral("RecentFiles");

QString Normal(const QString& path) {
    return QFileInfo(path).absoluteFilePath();
}

}  // namespace

TRecentFiles::TRecentFiles(const QString& store)
    : settings_(store.isEmpty() ? std::make_unique<QSettings>(QStringLiteral("quillpost"), QStringLiteral("quillpost"))
                                : std::make_unique<QSettings>(store, QSettings::IniFormat)) {}

TRecentFiles::~TRecentFiles() = default;

QStringList TRecentFiles::Files() const {
    QStringList files = settings_->value(kKey).toStringList();
    files.removeAll(QString());
    return files.mid(0, kMax);
}

void TRecentFiles::Add(const QString& path) {
    QStringList files = Files();
    files.removeAll(Normal(path));
    files.prepend(Normal(path));
    Keep(files.mid(0, kMax));
}

void TRecentFiles::Remove(const QString& path) {
    QStringList files = Files();
    files.removeAll(Normal(path));
    Keep(files);
}

void TRecentFiles::Keep(const QStringList& files) {
    settings_->setValue(kKey, files);
    settings_->sync();  // another window of the program sees it at once
}

}  // namespace qp
