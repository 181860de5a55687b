#include "print/f_PreviewPage.h"

#include "host/corlith_api.h"
#include "host/corlith_files.h"
#include "summary/f_SummaryCaptions.h"

#include <QBuffer>
#include <QFont>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>
#include <cmath>
#include <limits>

namespace vantrel {

using namespace Qt::StringLiterals;

namespace {

constexpr qreal kPageWidth = 900;
constexpr qreal kTitleHeight = 34;
constexpr qreal kHeaderLineHeight = 20;
constexpr qreal kSectionTitleHeight = 24;
constexpr qreal kHeaderRowHeight = 22;
constexpr qreal kRowHeight = 22;
constexpr qreal kSectionGap = 12;
constexpr qreal kMainCaptionWidth = 470;
constexpr qreal kScheduleCaptionWidth = 126;
constexpr qreal kTextPadding = 6;

const QColor kBorder(0x9A, 0xA7, 0xB8);
const QColor kSectionBand(0xDF, 0xE9, 0xF5);
const QColor kHeaderFill(0xF2, 0xF5, 0xF9);
const QColor kNoCellFill(0xEC, 0xEC, 0xEC);
const QColor kZeroText(0x8C, 0x8C, 0x8C);
const QColor kHoverFill(0xFF, 0xF4, 0xCC);
const QColor kDeclaredFill(0xFD, 0xE7, 0xD3);
const QColor kDeclaredText(0xB4, 0x54, 0x1A);
const QColor kFocusFrame(0x1C, 0x5A, 0xA6);

bool IsZero(const std::string& value) { return value.find_first_not_of("-0.") == std::string::npos; }

}  // namespace

QFont PageFont(qreal pixelSize, bool bold) {
    QFont font;
    font.setFamilies({u"WenQuanYi Zen Hei"_s, u"SimSun"_s, u"宋体"_s});
    font.setPixelSize(static_cast<int>(pixelSize));
    font.setBold(bold);
    return font;
}

TPreviewPageLayout::TPreviewPageLayout() {
    title_ = QRectF(0, 0, kPageWidth, kTitleHeight);
    headerLines_[0] = QRectF(0, kTitleHeight + 4, kPageWidth, kHeaderLineHeight);
    headerLines_[1] = QRectF(0, kTitleHeight + 4 + kHeaderLineHeight, kPageWidth, kHeaderLineHeight);
    qreal y = headerLines_[1].bottom() + 10;

    const std::vector<TSummarySection>& sections = SummarySections();
    for (std::size_t s = 0; s < sections.size(); ++s) {
        const TSummarySection& def = sections[s];
        Section section;
        section.index = static_cast<int>(s);
        section.title = QRectF(0, y, kPageWidth, kSectionTitleHeight);
        y += kSectionTitleHeight;

        bool grouped = false;
        for (const TSummaryColumn& column : def.columns) grouped = grouped || !column.group.empty();
        const qreal captionWidth = s == 0 ? kMainCaptionWidth : kScheduleCaptionWidth;
        const qreal columnWidth = (kPageWidth - captionWidth) / static_cast<qreal>(def.columns.size());
        const qreal headerHeight = grouped ? 2 * kHeaderRowHeight : kHeaderRowHeight;
        section.cornerCaption = QRectF(0, y, captionWidth, headerHeight);
        for (std::size_t c = 0; c < def.columns.size(); ++c) {
            const qreal x = captionWidth + columnWidth * static_cast<qreal>(c);
            const qreal top = grouped ? y + kHeaderRowHeight : y;
            section.columnHeaders.emplace_back(x, top, columnWidth, kHeaderRowHeight);
            if (!grouped) continue;
            if (c > 0 && def.columns[c].group == def.columns[c - 1].group) {
                section.groupHeaders.back().setRight(x + columnWidth);
            } else {
                section.groupHeaders.emplace_back(x, y, columnWidth, kHeaderRowHeight);
                section.groupOfHeader.push_back(static_cast<int>(c));
            }
        }
        y += headerHeight;
        for (std::size_t r = 0; r < def.rows.size(); ++r) {
            section.rowCaptions.emplace_back(0, y, captionWidth, kRowHeight);
            std::vector<QRectF> row;
            for (std::size_t c = 0; c < def.columns.size(); ++c)
                row.emplace_back(captionWidth + columnWidth * static_cast<qreal>(c), y, columnWidth, kRowHeight);
            section.cells.push_back(std::move(row));
            y += kRowHeight;
        }
        sections_.push_back(std::move(section));
        y += kSectionGap;
    }
    size_ = QSizeF(kPageWidth, y - kSectionGap);

    std::vector<const TSummaryPlace*> places;
    for (const TSummaryPlace& place : SummaryPlaces()) places.push_back(&place);
    std::sort(places.begin(), places.end(), [](const TSummaryPlace* a, const TSummaryPlace* b) {
        if (a->section != b->section) return a->section < b->section;
        if (a->row != b->row) return a->row < b->row;
        return a->column < b->column;
    });
    for (const TSummaryPlace* place : places) order_.emplace_back(place->name);
}

QRectF TPreviewPageLayout::CellRect(std::string_view name) const {
    const TSummaryPlace* place = FindSummaryPlace(name);
    if (!place) return QRectF();
    return sections_[static_cast<std::size_t>(place->section)]
        .cells[static_cast<std::size_t>(place->row)][static_cast<std::size_t>(place->column)];
}

std::string TPreviewPageLayout::CellAt(const QPointF& point) const {
    for (const std::string& name : order_)
        if (CellRect(name).contains(point)) return name;
    return std::string();
}

std::string TPreviewPageLayout::Neighbour(std::string_view from, int dx, int dy) const {
    const QRectF origin = CellRect(from);
    if (origin.isNull()) return std::string();
    const QPointF o = origin.center();
    std::string best;
    qreal bestScore = std::numeric_limits<qreal>::max();
    for (const std::string& name : order_) {
        const QPointF c = CellRect(name).center();
        const qreal along = dx != 0 ? (c.x() - o.x()) * dx : (c.y() - o.y()) * dy;
        const qreal across = dx != 0 ? std::abs(c.y() - o.y()) : std::abs(c.x() - o.x());
        if (along <= 1) continue;
        // Across a line only: the end of a line is the end, not a jump to another section.
        if (dx != 0 && across > origin.height() / 2) continue;
        const qreal score = along + 4 * across;
        if (score < bestScore) {
            bestScore = score;
            best = name;
        }
    }
    return best;
}

QString PreviewTitle() { return u"其它销项发票申报预览"_s; }

void PaintPreviewPage(QPainter& painter, const TSummaryPreview& preview, const QDate& date,
                      const TPreviewPageMarks& marks) {
    static const TPreviewPageLayout layout;
    painter.save();
    painter.fillRect(QRectF(QPointF(0, 0), layout.Size()), Qt::white);
    painter.setPen(Qt::black);

    painter.setFont(PageFont(18, true));
    painter.drawText(layout.Title(), Qt::AlignCenter, PreviewTitle());

    painter.setFont(PageFont(12));
    const QRectF line0 = layout.HeaderLine(0), line1 = layout.HeaderLine(1);
    painter.drawText(line0, Qt::AlignLeft | Qt::AlignVCenter,
                     u"纳税人名称："_s + GbkToQString(preview.taxpayerName));
    painter.drawText(line0, Qt::AlignRight | Qt::AlignVCenter,
                     u"纳税人识别号："_s + GbkToQString(preview.taxpayerId));
    painter.drawText(line1, Qt::AlignLeft | Qt::AlignVCenter,
                     u"所属期："_s + GbkToQString(PeriodCaption(preview.period)));
    painter.drawText(line1, Qt::AlignRight | Qt::AlignVCenter,
                     u"日期："_s + date.toString(u"yyyy-MM-dd"_s) + u"　　单位：元（份数：张）"_s);

    const std::vector<TSummarySection>& defs = SummarySections();
    const QPen border(kBorder, 0.8);
    const auto box = [&](const QRectF& rect, const QColor& fill) {
        if (fill.isValid()) painter.fillRect(rect, fill);
        painter.setPen(border);
        painter.drawRect(rect);
    };
    const auto text = [&](const QRectF& rect, int flags, const QString& caption, const QColor& colour) {
        painter.setPen(colour);
        painter.drawText(rect.adjusted(kTextPadding, 0, -kTextPadding, 0), flags | Qt::AlignVCenter | Qt::TextSingleLine,
                         caption);
    };

    for (const TPreviewPageLayout::Section& section : layout.Sections()) {
        const TSummarySection& def = defs[static_cast<std::size_t>(section.index)];
        box(section.title, kSectionBand);
        painter.setFont(PageFont(13, true));
        text(section.title, Qt::AlignLeft, GbkToQString(std::string(def.form)) + u"　"_s +
                                               GbkToQString(std::string(def.caption)), Qt::black);

        painter.setFont(PageFont(11));
        box(section.cornerCaption, kHeaderFill);
        text(section.cornerCaption, Qt::AlignHCenter, u"项目"_s, Qt::black);
        for (std::size_t g = 0; g < section.groupHeaders.size(); ++g) {
            box(section.groupHeaders[g], kHeaderFill);
            const TSummaryColumn& first = def.columns[static_cast<std::size_t>(section.groupOfHeader[g])];
            text(section.groupHeaders[g], Qt::AlignHCenter, GbkToQString(std::string(first.group)), Qt::black);
        }
        for (std::size_t c = 0; c < section.columnHeaders.size(); ++c) {
            box(section.columnHeaders[c], kHeaderFill);
            text(section.columnHeaders[c], Qt::AlignHCenter, GbkToQString(std::string(def.columns[c].caption)),
                 Qt::black);
        }
        painter.setFont(PageFont(12));
        for (std::size_t r = 0; r < section.rowCaptions.size(); ++r) {
            box(section.rowCaptions[r], QColor());
            text(section.rowCaptions[r], Qt::AlignLeft, GbkToQString(std::string(def.rows[r])), Qt::black);
            for (const QRectF& cell : section.cells[r]) box(cell, kNoCellFill);
        }
    }

    painter.setFont(PageFont(12));
    for (const std::string& name : layout.CellOrder()) {
        const QRectF rect = layout.CellRect(name);
        box(rect, name == marks.hover ? kHoverFill : QColor(Qt::white));
        const std::string value = preview.Value(name);
        const auto declared = marks.declared ? preview.declared.find(name) : preview.declared.end();
        if (declared != preview.declared.end()) {
            painter.fillRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), kDeclaredFill);
            QFont small = PageFont(9);
            small.setStrikeOut(true);
            painter.setFont(small);
            text(rect, Qt::AlignLeft, GbkToQString(declared->second), kDeclaredText);
            painter.setFont(PageFont(12));
        }
        text(rect, Qt::AlignRight, GbkToQString(value), IsZero(value) ? kZeroText : QColor(Qt::black));
    }
    if (!marks.focus.empty()) {
        const QRectF rect = layout.CellRect(marks.focus);
        if (!rect.isNull()) {
            painter.setPen(QPen(kFocusFrame, 2));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(rect.adjusted(1.5, 1.5, -1.5, -1.5));
        }
    }
    painter.restore();
}

void PaintPreviewInto(QPainter& painter, const QRectF& target, const TSummaryPreview& preview, const QDate& date) {
    const QSizeF size = TPreviewPageLayout().Size();
    const qreal scale = std::min(target.width() / size.width(), target.height() / size.height());
    painter.save();
    painter.translate(target.left() + (target.width() - size.width() * scale) / 2, target.top());
    painter.scale(scale, scale);
    PaintPreviewPage(painter, preview, date);
    painter.restore();
}

bool WritePreviewPdf(const QString& file, const TSummaryPreview& preview, const QDate& date, QString& error) {
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&out);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageOrientation(QPageLayout::Portrait);
        writer.setPageMargins(QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter);
        writer.setResolution(300);
        writer.setTitle(PreviewTitle());
        writer.setCreator(u"Vantrel"_s);
        QPainter painter;
        if (!painter.begin(&writer)) {
            error = u"无法写入文件 %1"_s.arg(file);
            return false;
        }
        PaintPreviewInto(painter, QRectF(0, 0, writer.width(), writer.height()), preview, date);
        painter.end();
    }
    const QByteArray& bytes = out.data();
    const corlith::TFileWrite written =
        corlith::WriteFileWhole(file, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    if (written.Ok()) return true;
    const QString reason = GbkToQString(corlith::FileWriteReason(written));
    error = (written.failure == corlith::TFileWrite::Write ? u"无法写入文件 %1：%2"_s : u"无法创建文件 %1：%2"_s)
                .arg(file, reason);
    return false;
}

}  // namespace vantrel
