// Printing through Qt's print support: the preview page on one sheet, and a list of invoices
// as a table over as many sheets as it needs.
#pragma once

#include "summary/f_SummaryPreview.h"

#include <QDate>
#include <QString>

class QAbstractItemModel;
class QPrinter;
class QWidget;

namespace vantrel {

// What stands above a printed list.
struct TListPrintHeader {
    QString title;
    QString taxpayer;     // "name (id)"
    QString period;
    QString note;         // a line under the table, empty for none
};

// The preview page, scaled to the printer's page.
void PrintPreviewPage(QPrinter& printer, const TSummaryPreview& preview, const QDate& date);

// Every row of the model in its display order, every column but the first (the tick column),
// with the column captions repeated on each sheet and "第 i 页，共 n 页" below. The column
// widths follow the model's header sizes when given (pixels), else are equal. Returns the
// number of sheets.
int PrintInvoiceTable(QPrinter& printer, const QAbstractItemModel& model, const std::vector<int>& widths,
                      const TListPrintHeader& header, const QDate& date);

// Qt's print preview dialog over the preview page / the list; printing or saving as PDF goes
// from there.
void ShowPreviewPagePrint(QWidget* parent, const TSummaryPreview& preview);
void ShowInvoiceTablePrint(QWidget* parent, const QAbstractItemModel& model, const std::vector<int>& widths,
                           const TListPrintHeader& header);

// The context's taxpayer as "name（id）" and period as "2026年11月", for list headers.
TListPrintHeader CurrentListHeader(const TModuleContext& context, const QString& title);

}  // namespace vantrel
