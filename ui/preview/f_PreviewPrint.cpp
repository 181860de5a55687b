#include "ui/preview/f_PreviewPrint.h"

#include "context/f_ModuleContext.h"
#include "host/corlith_api.h"
#include "invoice/f_InvoiceChecks.h"
#include "print/f_PreviewPage.h"

#include <QAbstractItemModel>
#include <QFont>
#include <QPageLayout>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>

#include <algorithm>
#include <numeric>

using namespace Qt::StringLiterals;

namespace vantrel {

namespace {

// The table is laid out in points (1/72 inch) and scaled to the printer.
constexpr qreal kFontSize = 9;
constexpr qreal kTitleSize = 14;
constexpr qreal kRowHeight = 16;
constexpr qreal kPadding = 3;

Qt::Alignment ModelAlignment(const QAbstractItemModel& model, int row, int column) {
    const QVariant align = model.data(model.index(row, column), Qt::TextAlignmentRole);
    return align.isValid() ? Qt::Alignment(align.toInt()) & Qt::AlignHorizontal_Mask : Qt::AlignLeft;
}

}  // namespace

void PrintPreviewPage(QPrinter& printer, const TSummaryPreview& preview, const QDate& date) {
    QPainter painter(&printer);
    if (!painter.isActive()) return;
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    PaintPreviewInto(painter, QRectF(0, 0, page.width(), page.height()), preview, date);
}

int PrintInvoiceTable(QPrinter& printer, const QAbstractItemModel& model, const std::vector<int>& widths,
                      const TListPrintHeader& header, const QDate& date) {
    QPainter painter(&printer);
    if (!painter.isActive()) return 0;
    const qreal scale = printer.resolution() / 72.0;
    painter.scale(scale, scale);
    const QRectF device = printer.pageLayout().paintRectPixels(printer.resolution());
    const QRectF page(0, 0, device.width() / scale, device.height() / scale);

    const int columns = model.columnCount();
    std::vector<qreal> weights;
    for (int c = 1; c < columns; ++c) {
        const int w = static_cast<std::size_t>(c) < widths.size() ? widths[static_cast<std::size_t>(c)] : 0;
        weights.push_back(w > 0 ? w : 80);
    }
    const qreal total = std::accumulate(weights.begin(), weights.end(), 0.0);
    std::vector<qreal> x{0};
    for (qreal w : weights) x.push_back(x.back() + w / total * page.width());

    const qreal headTop = kTitleSize + 6 + 2 * kRowHeight;  // title and two lines, first sheet only
    const qreal footer = kRowHeight * (header.note.isEmpty() ? 1 : 2);
    const int rows = model.rowCount();
    const auto rowsFitting = [&](qreal top) {
        return std::max(1, static_cast<int>((page.height() - top - kRowHeight - footer) / kRowHeight));
    };
    const int firstRows = rowsFitting(headTop);
    const int laterRows = rowsFitting(0);
    const int sheets = rows <= firstRows ? 1 : 1 + (rows - firstRows + laterRows - 1) / laterRows;

    const QPen grid(QColor(0x80, 0x80, 0x80), 0.5);
    int row = 0;
    for (int sheet = 0; sheet < sheets; ++sheet) {
        if (sheet > 0) printer.newPage();
        qreal y = 0;
        if (sheet == 0) {
            painter.setPen(Qt::black);
            painter.setFont(PageFont(kTitleSize, true));
            painter.drawText(QRectF(0, 0, page.width(), kTitleSize + 6), Qt::AlignCenter, header.title);
            painter.setFont(PageFont(kFontSize));
            const QRectF line1(0, kTitleSize + 6, page.width(), kRowHeight);
            painter.drawText(line1, Qt::AlignLeft | Qt::AlignVCenter, u"纳税人："_s + header.taxpayer);
            painter.drawText(line1, Qt::AlignRight | Qt::AlignVCenter, u"所属期："_s + header.period);
            const QRectF line2 = line1.translated(0, kRowHeight);
            painter.drawText(line2, Qt::AlignRight | Qt::AlignVCenter,
                             u"打印日期："_s + date.toString(u"yyyy-MM-dd"_s));
            y = headTop;
        }
        painter.setFont(PageFont(kFontSize, true));
        for (int c = 1; c < columns; ++c) {
            const QRectF cell(x[static_cast<std::size_t>(c - 1)], y,
                              x[static_cast<std::size_t>(c)] - x[static_cast<std::size_t>(c - 1)], kRowHeight);
            painter.fillRect(cell, QColor(0xEE, 0xF2, 0xF7));
            painter.setPen(grid);
            painter.drawRect(cell);
            painter.setPen(Qt::black);
            painter.drawText(cell.adjusted(kPadding, 0, -kPadding, 0), Qt::AlignCenter,
                             model.headerData(c, Qt::Horizontal).toString().trimmed());
        }
        y += kRowHeight;
        painter.setFont(PageFont(kFontSize));
        const int last = std::min(rows, row + (sheet == 0 ? firstRows : laterRows));
        for (; row < last; ++row, y += kRowHeight) {
            for (int c = 1; c < columns; ++c) {
                const QRectF cell(x[static_cast<std::size_t>(c - 1)], y,
                                  x[static_cast<std::size_t>(c)] - x[static_cast<std::size_t>(c - 1)], kRowHeight);
                painter.setPen(grid);
                painter.drawRect(cell);
                painter.setPen(Qt::black);
                painter.drawText(cell.adjusted(kPadding, 0, -kPadding, 0),
                                 ModelAlignment(model, row, c) | Qt::AlignVCenter | Qt::TextSingleLine,
                                 model.data(model.index(row, c)).toString());
            }
        }
        if (sheet == sheets - 1 && !header.note.isEmpty()) {
            painter.drawText(QRectF(0, y + 2, page.width(), kRowHeight), Qt::AlignLeft | Qt::AlignVCenter,
                             header.note);
        }
        painter.drawText(QRectF(0, page.height() - kRowHeight, page.width(), kRowHeight), Qt::AlignCenter,
                         u"第 %1 页，共 %2 页"_s.arg(sheet + 1).arg(sheets));
    }
    return sheets;
}

void ShowPreviewPagePrint(QWidget* parent, const TSummaryPreview& preview) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setDocName(PreviewTitle());
    QPrintPreviewDialog dialog(&printer, parent);
    dialog.setWindowTitle(PreviewTitle());
    const QDate date = HostToday();
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                     [&preview, date](QPrinter* target) { PrintPreviewPage(*target, preview, date); });
    dialog.resize(900, 680);
    dialog.exec();
}

void ShowInvoiceTablePrint(QWidget* parent, const QAbstractItemModel& model, const std::vector<int>& widths,
                           const TListPrintHeader& header) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setDocName(header.title);
    QPrintPreviewDialog dialog(&printer, parent);
    dialog.setWindowTitle(header.title);
    const QDate date = HostToday();
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&](QPrinter* target) {
        PrintInvoiceTable(*target, model, widths, header, date);
    });
    dialog.resize(900, 680);
    dialog.exec();
}

TListPrintHeader CurrentListHeader(const TModuleContext& context, const QString& title) {
    TListPrintHeader header;
    header.title = title;
    std::string id, name;
    CurrentTaxpayerParticulars(context, id, name);
    header.taxpayer = GbkToQString(name) + u"（"_s + GbkToQString(id) + u"）"_s;
    header.period = GbkToQString(PeriodCaption(context.period));
    return header;
}

}  // namespace vantrel
