// TFrmImportPreview: the rows of a register file before they are stored, each error and
// warning marked in its cell and listed below. "确定" is offered only when no row fails.
#pragma once

#include <QAbstractTableModel>
#include <QDialog>

#include <string>
#include <utility>
#include <vector>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableView;
namespace vantrel {

struct TImportPlan;

enum class TCellMark { None, Warning, Error };

// Column 0 is the file's line number, then the register's columns.
class TImportPreviewModel : public QAbstractTableModel {
    Q_OBJECT
public:
    TImportPreviewModel(const TImportPlan& plan, QObject* parent = nullptr);

    TCellMark MarkAt(int row, int column) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    // The cells' issues, ordered by cell (row * columns + column); a message's text is made
    // only when its tool tip is asked for, so that a file full of errors opens at once.
    using CellIssue = std::pair<qint64, int>;  // cell, index in the plan's issues
    std::pair<std::vector<CellIssue>::const_iterator, std::vector<CellIssue>::const_iterator> IssuesAt(int row,
                                                                                                      int column) const;
    const TImportPlan& plan_;
    std::vector<CellIssue> cellIssues_;
};

class TFrmImportPreview : public QDialog {
    Q_OBJECT
public:
    TFrmImportPreview(const QString& file, const TImportPlan& plan, QWidget* parent = nullptr);

private:
    // Controls, by object name: "lbSummary", "gridRows" (over the model), "memIssues", "btnOk",
    // "btnCancel".
    QLabel* lbSummary = nullptr;
    QTableView* gridRows = nullptr;
    QPlainTextEdit* memIssues = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;
    TImportPreviewModel* model_ = nullptr;
};

}  // namespace vantrel
