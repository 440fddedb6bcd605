#include "ui/item_grid.h"

#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QResizeEvent>

#include "model/charset.h"

namespace qp {
namespace {

// Names in the project were checked when they were set; a broken byte still must not stop painting.
QString DisplayText(const std::string& sjis) {
    try {
        const std::string utf8 = charset::SjisToUtf8(sjis);
        return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    } catch (const charset::CharsetError&) {
        return QString::fromLatin1(sjis.data(), static_cast<qsizetype>(sjis.size()));
    }
}

// The item editor's words for the five kinds.
QString TypeLabel(const std::string& type) {
    if (type == "TEXT") return QStringLiteral("一行入力欄");
    if (type == "TEXTAREA") return QStringLiteral("複数行入力欄");
    if (type == "CHECKBOX") return QStringLiteral("チェックボックス");
    if (type == "RADIO") return QStringLiteral("ラジオボタン");
    if (type == "POPUPMENU") return QStringLiteral("ポップアップメニュー");
    return QString::fromStdString(type);
}

}  // namespace

void TItemGridNotifyEvent::Notify(TProjectConfig*) {
    grid_->Refresh();
}

void TItemGridModel::Refresh() {
    beginResetModel();
    endResetModel();
}

int TItemGridModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || project_ == nullptr) return parent.isValid() ? 0 : 1;
    return std::max(1, project_->GetItemCount());
}

int TItemGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 4;
}

QVariant TItemGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::AlignVCenter |
                                   (index.column() == 2 ? Qt::AlignHCenter : Qt::AlignLeft));
    }
    if (role != Qt::DisplayRole || project_ == nullptr || index.row() >= project_->GetItemCount()) return {};
    const TProjectItem& item = *project_->GetItems()[static_cast<std::size_t>(index.row())];
    switch (index.column()) {
        case 0:
            return DisplayText(item.GetNameAttr());
        case 1:
            return DisplayText(item.GetNameValue());
        case 2:
            return item.GetRequired() ? QStringLiteral("○") : QString();
        case 3:
            return TypeLabel(item.GetTypeName());
        default:
            return {};
    }
}

QVariant TItemGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return {};
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignCenter);
    if (role != Qt::DisplayRole) return {};
    switch (section) {
        case 0:
            return QStringLiteral("name属性");
        case 1:
            return QStringLiteral("項目名称");
        case 2:
            return QStringLiteral("必須");
        case 3:
            return QStringLiteral("種類");
        default:
            return {};
    }
}

Qt::ItemFlags TItemGridModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::ItemIsDropEnabled;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (project_ != nullptr && index.row() < project_->GetItemCount()) flags |= Qt::ItemIsDragEnabled;
    return flags;
}

TItemGrid::TItemGrid(QWidget* parent)
    : QTableView(parent),
      model_(new TItemGridModel(this)),
      observer_(std::make_unique<TItemGridNotifyEvent>(this)) {
    setModel(model_);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setMinimumSectionSize(16);
    setColumnWidth(2, kMarkColumnWidth);
    setColumnWidth(3, kTypeColumnWidth);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::InternalMove);
    setDragDropOverwriteMode(false);
    setDropIndicatorShown(true);
    FitColumns();
}

void TItemGrid::dropEvent(QDropEvent* event) {
    const QStringList types = model_->mimeTypes();
    if (CurrentRow() < 1 || types.isEmpty() || !event->mimeData()->hasFormat(types.first())) {
        event->ignore();
        return;
    }
    // Not a move for the view: it must not take the dragged row out afterwards.
    event->setDropAction(Qt::CopyAction);
    event->accept();
    MoveCurrentRowTo(event->position().toPoint());
}

void TItemGrid::MoveCurrentRowTo(const QPoint& at) {
    const int from = CurrentRow() - 1;
    if (project_ == nullptr || from < 0 || from >= project_->GetItemCount()) return;
    // The row before which it lands: under a row's middle means after that row.
    const QModelIndex target = indexAt(at);
    int before = target.isValid() ? target.row() : project_->GetItemCount();
    if (target.isValid() && at.y() > visualRect(target).center().y()) ++before;
    before = std::min(before, project_->GetItemCount());
    const int to = before > from ? before - 1 : before;
    if (to != from) emit ItemMoveRequested(from, to);
}

TItemGrid::~TItemGrid() {
    if (project_ != nullptr) project_->RemoveObserver(observer_.get());
}

void TItemGrid::SetProject(TProjectConfig* project) {
    if (project_ != nullptr) project_->RemoveObserver(observer_.get());
    project_ = project;
    model_->SetProject(project);
    if (project_ != nullptr) project_->AddObserver(observer_.get());
}

void TItemGrid::Refresh() {
    // The selected row survives a change of the list, moved back inside it when the list shrank.
    const int row = currentIndex().isValid() ? currentIndex().row() : 0;
    model_->Refresh();
    if (project_ != nullptr && project_->GetItemCount() == 0) {
        // The empty row stands for no item: nothing to select, edit or delete.
        setCurrentIndex(QModelIndex());
        clearSelection();
    } else {
        setCurrentIndex(model_->index(std::min(row, model_->rowCount() - 1), 0));
    }
    viewport()->update();
}

int TItemGrid::CurrentRow() const {
    return currentIndex().isValid() ? currentIndex().row() + 1 : 0;
}

void TItemGrid::SetCurrentRow(int row) {
    if (row >= 1 && row <= model_->rowCount()) setCurrentIndex(model_->index(row - 1, 0));
}

QString TItemGrid::CellText(int row, int column) const {
    return model_->data(model_->index(row - 1, column), Qt::DisplayRole).toString();
}

void TItemGrid::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    FitColumns();
}

void TItemGrid::FitColumns() {
    const int lineWidth = showGrid() ? 1 : 0;
    const int w = (viewport()->width() - columnWidth(2) - columnWidth(3)) / 2 - 4 * lineWidth;
    setColumnWidth(0, std::max(w, 0));
    setColumnWidth(1, std::max(w, 0));
}

}  // namespace qp
