// The preview page: the period's summary laid out like the return's schedule, with the
// taxpayer, the period and the date above it. The same painting serves the window, the
// printer and the PDF file; it needs QtGui only.
#pragma once

#include "summary/f_SummaryPreview.h"

#include <QDate>
#include <QFont>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <string>
#include <string_view>
#include <vector>

class QPainter;

namespace vantrel {

// Geometry in page units (one unit is a screen pixel at 100 %).
class TPreviewPageLayout {
public:
    struct Section {
        int index = 0;            // into SummarySections()
        QRectF title;
        QRectF cornerCaption;     // above the row captions
        std::vector<QRectF> groupHeaders;   // one per run of columns with the same group
        std::vector<int> groupOfHeader;     // the first column of each run
        std::vector<QRectF> columnHeaders;
        std::vector<QRectF> rowCaptions;
        std::vector<std::vector<QRectF>> cells;   // [row][column]
    };

    TPreviewPageLayout();

    QSizeF Size() const { return size_; }
    QRectF Title() const { return title_; }
    QRectF HeaderLine(int line) const { return headerLines_[static_cast<std::size_t>(line)]; }
    const std::vector<Section>& Sections() const { return sections_; }

    // The rectangle of a cell (full element name); a null rectangle when it has no place.
    QRectF CellRect(std::string_view name) const;
    // The cell under a point, empty when none.
    std::string CellAt(const QPointF& point) const;
    // Every placed cell in reading order (section, row, column).
    const std::vector<std::string>& CellOrder() const { return order_; }
    // The nearest cell from "from" in the direction (dx, dy), one of them zero: left and right
    // stay on the line, up and down may change sections. Empty when there is none.
    std::string Neighbour(std::string_view from, int dx, int dy) const;

private:
    QSizeF size_;
    QRectF title_;
    QRectF headerLines_[2];
    std::vector<Section> sections_;
    std::vector<std::string> order_;
};

// What the window marks on the page; the printed page has no marks.
struct TPreviewPageMarks {
    std::string focus;
    std::string hover;
    bool declared = false;  // beside a figure, the last document's value where it differs
};

// Paints the page in page units at the painter's current transform.
void PaintPreviewPage(QPainter& painter, const TSummaryPreview& preview, const QDate& date,
                      const TPreviewPageMarks& marks = TPreviewPageMarks());

// Paints the page scaled to fit target (device units), centred across and at the top.
void PaintPreviewInto(QPainter& painter, const QRectF& target, const TSummaryPreview& preview, const QDate& date);

// The page as a one-page A4 PDF, written through the host library's file writer. False with
// a message.
bool WritePreviewPdf(const QString& file, const TSummaryPreview& preview, const QDate& date, QString& error);

// The page's title.
QString PreviewTitle();

// The font of the printed and previewed pages, by pixel size: a CJK face first.
QFont PageFont(qreal pixelSize, bool bold = false);

}  // namespace vantrel
