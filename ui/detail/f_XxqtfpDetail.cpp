#include "ui/detail/f_XxqtfpDetail.h"

#include "context/f_ModuleContext.h"
#include "invoice/f_FpDealGlobal.h"
#include "invoice/f_GlobalUnit.h"
#include "invoice/f_InvoiceWarnings.h"
#include "invoice/f_InvoiceStore.h"
#include "invoice/f_XxqtfpGlobal.h"
#include "report/f_DealReportImpl.h"
#include "ui/common/controls/ModalSpeedButton.h"
#include "ui/common/controls/PellowComboBox.h"
#include "ui/common/controls/PellowDTPicker.h"
#include "ui/common/controls/PellowEdit.h"
#include "ui/common/controls/PellowRadioButton.h"
#include "ui/common/f_LookupCombos.h"
#include "ui/detail/f_AmountInput.h"
#include "invoice/f_InvoiceChecks.h"
#include "ui/common/f_InvoiceListModel.h"
#include "invoice/f_MessageIds.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QShortcut>
#include <QShowEvent>
#include <QTreeView>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <iterator>

namespace {
constexpr int kIntegerPlaces = 12;
constexpr int kDecimalPlaces = 2;

const char* const kAskBadCheckDigit = "购方税号校验位不正确，是否仍然保存？";
const char* const kAskDuplicate =
    "本所属期已有一张发票类型、开票日期、金额、税额和购方税号都相同的发票，是否仍然保存？";
const char* const kNoNextNumber = "本期发票序号已用到最大值（2147483647），不能再新增发票";
const char* const kAskDiscard = "发票信息已修改但尚未保存，是否放弃修改并关闭窗口？";

const char* const kTypeNotIssued = "未开具发票";
const char* const kTypeInspection = "纳税检查调整";

// Grid geometry inside the content area (491 x 227).
constexpr int kGridLeft = 16;
constexpr int kGridTop = 40;
constexpr int kGridWidth = 459;
constexpr int kRowHeight = 30;
constexpr int kHeadingHeight = 24;

const QColor kRuleColor(0x9c, 0xb2, 0xcc);
const QColor kLabelCellColor(0xe6, 0xee, 0xf8);
const QColor kTitleColor(0x1f, 0x3f, 0x7a);


QDate RecordDate(const std::string& kprq) {
    const QString text = GbkToQString(kprq).trimmed();
    for (const QString& format : {QStringLiteral("yyyy-MM-dd"), QStringLiteral("yyyy-M-d"),
                                  QStringLiteral("yyyy/MM/dd"), QStringLiteral("yyyy/M/d"),
                                  QStringLiteral("yyyyMMdd")}) {
        const QDate d = QDate::fromString(text.left(10), format);
        if (d.isValid()) return d;
    }
    return QDate();
}

}  // namespace

namespace vantrel {

// A grid of cells separated by one-pixel rules; label cells are tinted.
class TRuledGrid : public QWidget {
public:
    explicit TRuledGrid(QWidget* parent) : QWidget(parent) {
        layout_ = new QGridLayout(this);
        layout_->setContentsMargins(0, 0, 1, 1);
        layout_->setSpacing(0);
        for (int c = 0; c < 4; ++c) layout_->setColumnStretch(c, 1);
    }

    // A column no narrower than width; the others share what is left.
    void SetColumnMinimum(int column, int width) { layout_->setColumnMinimumWidth(column, width); }

    QLabel* AddLabel(const std::string& caption, int row, int column, int height) {
        auto* label = new QLabel(GbkToQString(caption), this);
        label->setAlignment(Qt::AlignCenter);
        label->setFixedHeight(height);
        labels_.push_back(label);
        layout_->addWidget(label, row, column);
        return label;
    }

    void AddField(QWidget* control, int row, int column, int columnSpan = 1) {
        auto* cell = new QWidget(this);
        cell->setFixedHeight(kRowHeight);
        auto* box = new QHBoxLayout(cell);
        box->setContentsMargins(5, 4, 5, 4);
        box->setSpacing(10);
        control->setParent(cell);
        box->addWidget(control);
        layout_->addWidget(cell, row, column, 1, columnSpan);
    }

    // Two radio buttons side by side; sharing a parent makes them exclusive.
    QWidget* AddChoiceCell(int row, int column) {
        auto* cell = new QWidget(this);
        cell->setFixedHeight(kRowHeight);
        auto* box = new QHBoxLayout(cell);
        box->setContentsMargins(14, 4, 5, 4);
        box->setSpacing(18);
        layout_->addWidget(cell, row, column);
        return cell;
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        for (const QLabel* label : labels_) p.fillRect(label->geometry(), kLabelCellColor);
        p.setPen(kRuleColor);
        for (int i = 0; i < layout_->count(); ++i) {
            const QRect g = layout_->itemAt(i)->geometry();
            p.drawLine(g.topLeft(), g.topRight());
            p.drawLine(g.topLeft(), g.bottomLeft());
        }
        p.drawLine(width() - 1, 0, width() - 1, height() - 1);
        p.drawLine(0, height() - 1, width() - 1, height() - 1);
    }

private:
    QGridLayout* layout_;
    std::vector<QLabel*> labels_;
};

}  // namespace vantrel

using vantrel::TRuledGrid;

namespace {

// Edits with key filters would let text in through the clipboard, the X11 selection, drops
// and input methods; those routes are closed so that only filtered keys change the text.
class TFilteredEditGuard : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::KeyPress: {
            const auto* key = static_cast<QKeyEvent*>(event);
            for (QKeySequence::StandardKey k :
                 {QKeySequence::Paste, QKeySequence::Cut, QKeySequence::Undo, QKeySequence::Redo,
                  QKeySequence::DeleteStartOfWord, QKeySequence::DeleteEndOfWord, QKeySequence::DeleteEndOfLine,
                  QKeySequence::DeleteCompleteLine})
                if (key->matches(k)) return true;
            break;
        }
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton) return true;
            break;
        case QEvent::InputMethod:
            if (!static_cast<QInputMethodEvent*>(event)->commitString().isEmpty()) return true;
            break;
        default: break;
        }
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

TFrmXxqtfpDetail::TFrmXxqtfpDetail(vantrel::TModuleContext context, QWidget* parent)
    : Tfrm_CustomDlg(context.host, parent), FContext(std::move(context)) {
    setObjectName(QStringLiteral("FrmXxqtfpDetail"));
    BuildControls();
    FormCreate();
}

TFrmXxqtfpDetail::~TFrmXxqtfpDetail() = default;

void TFrmXxqtfpDetail::BuildControls() {
    QWidget* content = ContentArea();
    lbTitle = new QLabel(QString::fromUtf16(u"  其他销项发票  "), content);
    lbTitle->setObjectName(QStringLiteral("lbTitle"));
    vantrel::SetTitleLook(lbTitle, 18, kTitleColor, true);
    lbTitle->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    lbTitle->setGeometry(0, 9, content->width(), 26);

    auto* grid = new TRuledGrid(content);
    grid->setObjectName(QStringLiteral("gridDetail"));
    grid->setGeometry(kGridLeft, kGridTop, kGridWidth, 5 * kRowHeight + kHeadingHeight + 1);

    BuildDateAndType(grid);
    BuildFigures(grid);
    BuildBuyer(grid);
    BuildFlags(grid);
    BuildButtons();
    ConnectEvents();
}

void TFrmXxqtfpDetail::BuildDateAndType(TRuledGrid* grid) {
    dtpKprq = new TPellowDTPicker(grid);
    dtpKprq->setObjectName(QStringLiteral("dtpKprq"));
    dtpKprq->setMinimumDate(QDate(1900, 1, 1));
    cbbFplx = new TPellowComboBox(grid);
    cbbFplx->setObjectName(QStringLiteral("cbbFplx"));
    grid->AddLabel("开票日期", 0, 0, kRowHeight);
    grid->AddField(dtpKprq, 0, 1);
    grid->AddLabel("发票类型", 0, 2, kRowHeight);
    grid->AddField(cbbFplx, 0, 3);
}

void TFrmXxqtfpDetail::BuildFigures(TRuledGrid* grid) {
    grid->AddLabel("份 数", 1, 0, kHeadingHeight);
    grid->AddLabel("金 额", 1, 1, kHeadingHeight);
    grid->AddLabel("税 率", 1, 2, kHeadingHeight);
    grid->AddLabel("税 额", 1, 3, kHeadingHeight);

    auto* guard = new TFilteredEditGuard(this);
    auto makeNumberEdit = [&](const char* name) {
        auto* edit = new TPellowEdit(grid);
        edit->setObjectName(QString::fromLatin1(name));
        edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        edit->SetImeMode(vantrel::kImeClose);
        edit->setAcceptDrops(false);
        edit->installEventFilter(guard);
        return edit;
    };
    edtfs = makeNumberEdit("edtfs");
    edtfs->SetInputStyle(ISNumber);
    edtfs->SetMaxLength(9);
    edtje = makeNumberEdit("edtje");
    edtje->SetInputStyle(ISFloat);
    edtje->SetDecimalLength(kDecimalPlaces);
    edtje->setContextMenuPolicy(Qt::PreventContextMenu);
    cbbSl = new TPellowComboBox(grid);
    cbbSl->setObjectName(QStringLiteral("cbbSl"));
    for (const char* rate : {"17%", "13%", "6%", "4%"}) cbbSl->AddItem(rate);
    edtse = makeNumberEdit("edtse");
    edtse->SetInputStyle(ISFloat);
    edtse->SetDecimalLength(kDecimalPlaces);
    edtse->setContextMenuPolicy(Qt::PreventContextMenu);
    // The amount and tax columns show a twelve-digit amount with its decimals whole: the
    // widest such text in this font, the edit's frame and text margins, and the cell's margins.
    const int amountWidth = QFontMetrics(edtje->font()).horizontalAdvance(QStringLiteral("-888888888888.88")) + 30;
    grid->SetColumnMinimum(1, amountWidth);
    grid->SetColumnMinimum(3, amountWidth);
    grid->AddField(edtfs, 2, 0);
    grid->AddField(edtje, 2, 1);
    grid->AddField(cbbSl, 2, 2);
    grid->AddField(edtse, 2, 3);
}

void TFrmXxqtfpDetail::BuildBuyer(TRuledGrid* grid) {
    edtGfnsrsbh = new TPellowEdit(grid);
    edtGfnsrsbh->setObjectName(QStringLiteral("edtGfnsrsbh"));
    edtGfnsrsbh->SetMaxLength(20);
    edtGfnsrsbh->SetImeMode(vantrel::kImeClose);
    grid->AddLabel("购方税号", 3, 0, kRowHeight);
    grid->AddField(edtGfnsrsbh, 3, 1, 3);
}

// The four yes/no pairs.
void TFrmXxqtfpDetail::BuildFlags(TRuledGrid* grid) {
    auto makePair = [&](int row, int column, const char* yesName, const char* noName, TPellowRadioButton*& yes,
                        TPellowRadioButton*& no) {
        QWidget* cell = grid->AddChoiceCell(row, column);
        yes = new TPellowRadioButton("是", cell);
        yes->setObjectName(QString::fromLatin1(yesName));
        no = new TPellowRadioButton("否", cell);
        no->setObjectName(QString::fromLatin1(noName));
        cell->layout()->addWidget(yes);
        cell->layout()->addWidget(no);
        static_cast<QHBoxLayout*>(cell->layout())->addStretch(1);
        // Tab and Enter stop once a pair, on its checked button; the arrow keys switch.
        const auto tabStops = [yes, no] {
            yes->setFocusPolicy(yes->isChecked() || !no->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
            no->setFocusPolicy(no->isChecked() || !yes->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
        };
        connect(yes, &QAbstractButton::toggled, this, tabStops);
        connect(no, &QAbstractButton::toggled, this, tabStops);
        no->setChecked(true);
    };
    grid->AddLabel("是否劳务发票", 4, 0, kRowHeight);
    makePair(4, 1, "rbLwfp_Yes", "rbLwfp_No", rbLwfp_Yes, rbLwfp_No);
    grid->AddLabel("是否作废", 4, 2, kRowHeight);
    makePair(4, 3, "rbZF_Yes", "rbZF_No", rbZF_Yes, rbZF_No);
    grid->AddLabel("是否即征即退", 5, 0, kRowHeight);
    makePair(5, 1, "rbJZJT_YES", "rbJZJT_No", rbJZJT_YES, rbJZJT_No);
    grid->AddLabel("是否免税", 5, 2, kRowHeight);
    makePair(5, 3, "rbMS_YES", "rbMS_No", rbMS_YES, rbMS_No);
}

// 确定 and 取消, the tab order and the save shortcut.
void TFrmXxqtfpDetail::BuildButtons() {
    // The dialog's own close button gives way to the two buttons of this window.
    sBtnClose->hide();
    BtnCommit = new TModalSpeedButton("确定", this);
    BtnCommit->setObjectName(QStringLiteral("BtnCommit"));
    BtnCommit->setGeometry(334, 279, 67, 22);
    btnCancel = new TModalSpeedButton("取消", this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(410, 279, 67, 22);

    QWidget* order[] = {dtpKprq,    cbbFplx,    edtfs,      edtje,     cbbSl,   edtse,
                        edtGfnsrsbh, rbLwfp_Yes, rbLwfp_No,  rbZF_Yes,  rbZF_No, rbJZJT_YES,
                        rbJZJT_No,  rbMS_YES,   rbMS_No,    BtnCommit, btnCancel};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);

    // Enter walks the fields (keyPressEvent); these save from any of them.
    BtnCommit->setToolTip(QString::fromUtf16(u"保存（Ctrl+Enter 或 Ctrl+S；在本按钮上按 Enter）"));
    btnCancel->setToolTip(QString::fromUtf16(u"关闭窗口（Esc）"));
    auto* save = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), this);
    connect(save, &QShortcut::activated, this, [this] { BtnCommitClick(); });
}

void TFrmXxqtfpDetail::ConnectEvents() {
    connect(cbbFplx, &TPellowComboBox::OnChange, this, &TFrmXxqtfpDetail::cbbFplxChange);
    edtfs->OnKeyPress = [this](TPellowEdit*, char key) { return edtfsKeyPress(key); };
    edtje->OnKeyPress = [this](TPellowEdit*, char key) { return edtjeKeyPress(key); };
    edtje->OnKeyDown = [this](TPellowEdit*, int key) { return edtjeKeyDown(key); };
    connect(edtje, &TPellowEdit::OnChange, this, &TFrmXxqtfpDetail::edtjeChange);
    connect(edtje, &TPellowEdit::OnExit, this, &TFrmXxqtfpDetail::edtjeExit);
    edtje->OnContextPopup = [this](TPellowEdit*, const QPoint&) { return edtjeContextPopup(); };
    edtse->OnKeyPress = [this](TPellowEdit*, char key) { return edtseKeyPress(key); };
    edtse->OnKeyDown = [this](TPellowEdit*, int key) { return edtseKeyDown(key); };
    connect(edtse, &TPellowEdit::OnExit, this, &TFrmXxqtfpDetail::edtseExit);
    edtse->OnContextPopup = [this](TPellowEdit*, const QPoint&) { return edtseContextPopup(); };
    connect(cbbSl, &TPellowComboBox::OnSelect, this, &TFrmXxqtfpDetail::cbbSlSelect);
    connect(cbbSl, &TPellowComboBox::OnExit, this, &TFrmXxqtfpDetail::cbbSlExit);
    connect(BtnCommit, &TModalSpeedButton::OnClick, this, &TFrmXxqtfpDetail::BtnCommitClick);
    connect(btnCancel, &TModalSpeedButton::OnClick, this, &TFrmXxqtfpDetail::btnCancelClick);
}

void TFrmXxqtfpDetail::FormCreate() { Tfrm_CustomDlg::FormCreate(); }

void TFrmXxqtfpDetail::ApplySkin() { Tfrm_CustomDlg::ApplySkin(); }

void TFrmXxqtfpDetail::showEvent(QShowEvent* event) {
    Tfrm_CustomDlg::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TFrmXxqtfpDetail::FormShow() {
    FillTaxRateCombo(cbbSl);
    FillInvoiceTypeCombo(cbbFplx, FContext);
    if (FRecord) LoadRecord(*FRecord);
}

void TFrmXxqtfpDetail::SetEditMode(uint8_t mode) {
    FEditMode = mode;
    const std::string caption = mode == vantrel::kDetailAdd      ? "录入其他销项发票明细"
                                : mode == vantrel::kDetailModify ? "修改其他销项发票明细"
                                                        : "查看其他销项发票明细";
    setWindowTitle(GbkToQString(caption));
    SetBusinessName(caption);
}

void TFrmXxqtfpDetail::Bind(QTreeView* listControl, std::vector<Txxqtfpxx*>* list,
                            std::function<void()> refreshProc, Txxqtfpxx* record) {
    FListControl = listControl;
    FList = list;
    RefreshProc = std::move(refreshProc);
    FRecord = record;
}

void TFrmXxqtfpDetail::LoadRecord(const Txxqtfpxx& record) {
    const QDate issued = RecordDate(record.kprq);
    if (issued.isValid()) {
        dtpKprq->SetDate(issued);
    } else {
        // An unreadable stored date: offer the usual day of the period rather than a stale one.
        const QDate start = PeriodStartDate(FContext.period);
        dtpKprq->SetDate(start.isValid() ? start.addDays(9) : vantrel::HostToday());
    }
    cbbFplx->SetItemIndex(cbbFplx->IndexOfValue(record.fplx));
    edtGfnsrsbh->SetText(record.gfnsr);
    rbLwfp_Yes->SetChecked(record.lwfp == "1");
    rbLwfp_No->SetChecked(record.lwfp != "1");
    rbJZJT_YES->SetChecked(record.jzjt == "1");
    rbJZJT_No->SetChecked(record.jzjt != "1");
    cbbSl->SetItemIndex(cbbSl->IndexOfItem(std::to_string(record.sl) + "%"));
    edtfs->SetText(std::to_string(record.fs));
    edtje->SetText(vantrel::AmountText(record.je));
    edtse->SetText(vantrel::AmountText(record.se));
    rbZF_Yes->SetChecked(record.zfbz == "1");
    rbZF_No->SetChecked(record.zfbz != "1");
    rbMS_YES->SetChecked(record.ms == "1");
    rbMS_No->SetChecked(record.ms != "1");
    UpdateEntryStates();
    FLoaded = std::make_unique<Txxqtfpxx>(EnteredRecord());
    if (FEditMode == vantrel::kDetailView)
        btnCancel->setFocus();
    else if (dtpKprq->CanFocus())
        dtpKprq->SetFocus();
    else
        cbbFplx->SetFocus();
}

void TFrmXxqtfpDetail::UpdateEntryStates() {
    const std::string type = cbbFplx->Text();
    dtpKprq->setEnabled(vantrel::TypeTakesDate(type));
    edtfs->setEnabled(vantrel::TypeTakesCount(type));
    if (FEditMode != vantrel::kDetailView) return;
    for (QWidget* field : std::initializer_list<QWidget*>{dtpKprq, cbbFplx, edtfs, edtje, cbbSl, edtse, edtGfnsrsbh,
                                                          rbLwfp_Yes, rbLwfp_No, rbZF_Yes, rbZF_No, rbJZJT_YES,
                                                          rbJZJT_No, rbMS_YES, rbMS_No})
        field->setEnabled(false);
    BtnCommit->setVisible(false);
}

void TFrmXxqtfpDetail::cbbFplxChange() {
    const std::string type = cbbFplx->Text();
    if (type == kTypeNotIssued) {
        dtpKprq->setEnabled(false);
        edtfs->setEnabled(false);
        edtfs->SetValue(0);
    } else if (type == kTypeInspection) {
        dtpKprq->setEnabled(true);
        edtfs->setEnabled(false);
        edtfs->SetValue(0);
    } else {
        dtpKprq->setEnabled(true);
        edtfs->setEnabled(true);
    }
}

void TFrmXxqtfpDetail::RecomputeTax() {
    std::string tax;
    if (vantrel::ComputeTaxText(cbbSl->Text(), edtje->Text(), tax)) edtse->SetText(tax);
}

bool TFrmXxqtfpDetail::edtfsKeyPress(char key) {
    return amountinput::CountEditKeyPress(static_cast<unsigned char>(key));
}

bool TFrmXxqtfpDetail::edtjeKeyPress(char key) {
    return amountinput::AmountEditKeyPress(*edtje, key, kIntegerPlaces, kDecimalPlaces);
}

bool TFrmXxqtfpDetail::edtjeKeyDown(int key) { return amountinput::AmountEditKeyDown(*edtje, key, kIntegerPlaces); }

void TFrmXxqtfpDetail::edtjeChange() { RecomputeTax(); }

void TFrmXxqtfpDetail::edtjeExit() { amountinput::NormaliseAmountEdit(*edtje); }

bool TFrmXxqtfpDetail::edtjeContextPopup() { return true; }

bool TFrmXxqtfpDetail::edtseKeyPress(char key) {
    return amountinput::AmountEditKeyPress(*edtse, key, kIntegerPlaces, kDecimalPlaces);
}

bool TFrmXxqtfpDetail::edtseKeyDown(int key) { return amountinput::AmountEditKeyDown(*edtse, key, kIntegerPlaces); }

void TFrmXxqtfpDetail::edtseExit() { amountinput::NormaliseAmountEdit(*edtse); }

bool TFrmXxqtfpDetail::edtseContextPopup() { return true; }

void TFrmXxqtfpDetail::cbbSlSelect() { RecomputeTax(); }

void TFrmXxqtfpDetail::cbbSlExit() { RecomputeTax(); }

void TFrmXxqtfpDetail::btnCancelClick() { reject(); }

void TFrmXxqtfpDetail::Refuse(int code, QWidget* focus, const std::string& param) {
    InforMsg(code, param, 1);
    if (focus && focus->isEnabled() && focus->focusPolicy() != Qt::NoFocus) focus->setFocus(Qt::OtherFocusReason);
}

bool TFrmXxqtfpDetail::CheckInput() {
    vantrel::TInvoiceEntry entry;
    // Besides the placeholder, no entry at all (a stored type that the list lacks) and an
    // entry without a code (the list's fallback) are refused: a row needs a type code.
    entry.typeChosen = cbbFplx->ItemIndex() > 0 && !cbbFplx->SelectedValue().empty();
    entry.typeName = cbbFplx->Text();
    entry.countEnabled = edtfs->isEnabled();
    entry.countText = edtfs->Text();
    entry.amountText = edtje->Text();
    entry.rateText = cbbSl->Text();
    entry.taxText = edtse->Text();
    entry.exempt = !rbMS_No->Checked();
    entry.buyer = edtGfnsrsbh->Text();
    entry.dateEnabled = dtpKprq->isEnabled();
    entry.issued = dtpKprq->Date();
    entry.voided = rbZF_Yes->Checked();

    for (const vantrel::TEntryFinding& finding : CheckInvoiceEntry(entry, vantrel::EntryContext(FContext.period, FContext.taxpayer))) {
        if (finding.confirmation) {
            std::string text;
            GetMsg(finding.code, finding.param, 1, text);
            if (ConfirmMsgBoxA(text, 0)) continue;
            dtpKprq->SetFocus();
            return false;
        }
        QWidget* focus = nullptr;
        switch (finding.field) {
        case vantrel::TEntryField::Type: focus = cbbFplx; break;
        case vantrel::TEntryField::Count: focus = edtfs->CanFocus() ? edtfs : nullptr; break;
        case vantrel::TEntryField::Amount: focus = edtje; break;
        case vantrel::TEntryField::Rate: focus = cbbSl; break;
        // A tax out of tolerance sends the user back to the amount it was computed from.
        case vantrel::TEntryField::Tax: focus = finding.code == vantrel::kMsgTaxOutOfTolerance ? edtje : edtse; break;
        case vantrel::TEntryField::Buyer: focus = edtGfnsrsbh; break;
        case vantrel::TEntryField::Date: focus = dtpKprq; break;
        case vantrel::TEntryField::Voided: focus = rbZF_No; break;
        }
        Refuse(finding.code, focus, finding.param);
        return false;
    }
    return true;
}

Txxqtfpxx TFrmXxqtfpDetail::EnteredRecord() const {
    Txxqtfpxx work = FRecord ? *FRecord : Txxqtfpxx();
    work.fplx = cbbFplx->SelectedValue();
    work.fplxmc = cbbFplx->Text();
    work.kprq = QStringToGbk(dtpKprq->Date().toString(QStringLiteral("yyyy-MM-dd")));
    int count = 0;
    work.fs = amountinput::ParseInt32(edtfs->Text(), count) ? count : 0;
    double value = 0;
    work.je = amountinput::ParseDecimal(edtje->Text(), value) ? value : 0;
    value = 0;
    work.se = amountinput::ParseDecimal(edtse->Text(), value) ? value : 0;
    work.txsj = vantrel::TodayText();
    work.sl = vantrel::RateFromText(cbbSl->Text(), work.sl);
    work.sbssq = FContext.period;
    const std::string buyer = vantrel::TrimBlanks(edtGfnsrsbh->Text());
    work.gfnsr = buyer.empty() ? std::string(" ") : buyer;
    work.lwfp = rbLwfp_Yes->Checked() ? "1" : "0";
    work.ms = rbMS_YES->Checked() ? "1" : "0";
    work.zfbz = rbZF_Yes->Checked() ? "1" : "0";
    work.jzjt = rbJZJT_YES->Checked() ? "1" : "0";
    return work;
}

bool TFrmXxqtfpDetail::HasUnsavedChanges() const {
    if (!FLoaded) return false;
    const Txxqtfpxx now = EnteredRecord();
    const Txxqtfpxx& was = *FLoaded;
    return now.fplx != was.fplx || now.kprq != was.kprq || now.fs != was.fs || vantrel::AmountText(now.je) != vantrel::AmountText(was.je) ||
           vantrel::AmountText(now.se) != vantrel::AmountText(was.se) || now.sl != was.sl || now.gfnsr != was.gfnsr ||
           now.lwfp != was.lwfp || now.ms != was.ms || now.zfbz != was.zfbz || now.jzjt != was.jzjt;
}

void TFrmXxqtfpDetail::reject() {
    if (HasUnsavedChanges() && !ConfirmMsgBoxA(kAskDiscard, 0)) return;
    Tfrm_CustomDlg::reject();
}

void TFrmXxqtfpDetail::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key != Qt::Key_Return && key != Qt::Key_Enter) {
        Tfrm_CustomDlg::keyPressEvent(event);
        return;
    }
    event->accept();
    QWidget* focus = focusWidget();
    if ((event->modifiers() & Qt::ControlModifier) || focus == BtnCommit)
        BtnCommitClick();
    else if (focus == btnCancel)
        btnCancelClick();
    else
        focusNextChild();
}

bool TFrmXxqtfpDetail::ConfirmWarnings() {
    const std::string buyer = vantrel::TrimBlanks(edtGfnsrsbh->Text());
    if (vantrel::HasBadCheckDigit(buyer) && !ConfirmMsgBoxA(kAskBadCheckDigit, 0)) {
        edtGfnsrsbh->SetFocus();
        return false;
    }
    if (FEditMode == vantrel::kDetailAdd && HasSameInvoiceInPeriod() && !ConfirmMsgBoxA(kAskDuplicate, 0)) {
        edtje->SetFocus();
        return false;
    }
    return true;
}

bool TFrmXxqtfpDetail::HasSameInvoiceInPeriod() const {
    // The whole period, not the manager's list, which may be filtered. An unreadable register
    // warns of nothing: the save itself reports what is wrong with the database.
    std::vector<Txxqtfpxx*> stored;
    std::string error;
    const Txxqtfpxx entered = EnteredRecord();
    const bool found = vantrel::ReadInvoiceList(FContext, "", "", stored, error) &&
                       std::any_of(stored.begin(), stored.end(),
                                   [&entered](const Txxqtfpxx* r) { return r && vantrel::SameInvoice(*r, entered); });
    FreeInvoiceList(stored);
    return found;
}

vantrel::TStoreOutcome TFrmXxqtfpDetail::SaveRecord() {
    if (!FRecord) return {vantrel::TStoreFailure::Statement, std::string()};
    Txxqtfpxx work = EnteredRecord();

    const vantrel::TInvoiceStore store = vantrel::ModuleInvoiceStore(FContext);
    vantrel::TStoreOutcome result = FEditMode == vantrel::kDetailAdd ? store.Insert(work) : store.Update(work);
    if (!result.Ok()) {
        // A number moved past one taken meanwhile stays moved for the next press.
        if (FEditMode == vantrel::kDetailAdd) FRecord->xh = work.xh;
        return result;
    }

    if (FEditMode == vantrel::kDetailAdd) {
        if (FList) {
            auto* copy = new Txxqtfpxx(work);
            // The model over this list appends and shows the record in one step.
            vantrel::TInvoiceListModel* model = vantrel::InvoiceListModelOf(FListControl);
            if (model && model->List() == FList) model->AppendRecord(copy);
            else FList->push_back(copy);
        }
        FRecord->xh = work.xh < INT32_MAX ? work.xh + 1 : work.xh;
    } else {
        *FRecord = work;
    }
    return result;
}

void TFrmXxqtfpDetail::BtnCommitClick() {
    if (FEditMode == vantrel::kDetailView) return;
    if (!CheckInput() || !ConfirmWarnings()) return;
    const vantrel::TStoreOutcome saved = SaveRecord();
    if (saved.failure == vantrel::TStoreFailure::NoRow) {
        InforMsg(vantrel::kMsgInvoiceGone, "", 1);
        emit RecordVanished();
        // Nothing of the entry can be kept, so closing asks nothing.
        Tfrm_CustomDlg::reject();
        return;
    }
    if (!saved.Ok()) {
        // An add refused at the largest number: there is no number after it.
        if (FEditMode == vantrel::kDetailAdd && FRecord && FRecord->xh == INT32_MAX)
            InfoMsgBox(kNoNextNumber, 0);
        else
            InforMsg(vantrel::kMsgSaveFailed, vantrel::ReasonLine(saved.error), 1);
        return;
    }
    if (FEditMode == vantrel::kDetailAdd) {
        InforMsg(vantrel::kMsgAdded, "", 1);
        LoadRecord(*FRecord);
        if (RefreshProc) RefreshProc();
        return;
    }
    InforMsg(vantrel::kMsgModified, "", 1);
    LoadRecord(*FRecord);
    if (RefreshProc) RefreshProc();
    accept();
}

namespace vantrel {

bool DeclareStateRefuses(const TModuleContext& context) {
    std::string message;
    if (!CheckDeclareState(context, ModuleFuncCode(context.subAppCode), message)) return false;
    InfoMsgBox(message, 0);
    return true;
}

}  // namespace vantrel

bool OpenDetailWindow(const vantrel::TModuleContext& context, uint8_t mode, QTreeView* listControl,
                      std::vector<Txxqtfpxx*>* list, std::function<void()> refreshProc, Txxqtfpxx* record) {
    QPointer<TFrmXxqtfpDetail> dialog = new TFrmXxqtfpDetail(context, listControl ? listControl->window() : nullptr);
    dialog->SetEditMode(mode);
    dialog->Bind(listControl, list, std::move(refreshProc), record);
    bool gone = false;
    QObject::connect(dialog, &TFrmXxqtfpDetail::RecordVanished, dialog, [&gone] { gone = true; });
    dialog->exec();
    // exec() frees a dialog that closes itself; one still alive is freed here.
    delete dialog.data();
    return !gone;
}
