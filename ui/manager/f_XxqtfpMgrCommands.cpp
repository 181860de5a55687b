// The manager's add, modify and delete commands, the preview, printing, import and export. They work on the window's
// members (FInvoiceList, FNextXh, FContext, RefreshStatistics, VSTInvoideCommon, ListModel()).
#include "ui/manager/f_XxqtfpMgr.h"

#include "context/f_ModuleContext.h"
#include "invoice/f_GlobalUnit.h"
#include "invoice/f_InvoiceStore.h"
#include "invoice/f_XxqtfpGlobal.h"
#include "report/f_DealReportImpl.h"
#include "ui/detail/f_XxqtfpDetail.h"
#include "ui/common/f_InvoiceListModel.h"
#include "ui/common/f_Status.h"
#include "ui/manager/f_ChangeBatches.h"
#include "ui/manager/f_ImportPreview.h"
#include "ui/manager/f_ReconcileWindow.h"
#include "exchange/f_EInvoiceImport.h"
#include "ui/manager/f_InvoiceHistory.h"
#include "ui/manager/f_doohckey.h"
#include "ui/preview/f_PreviewPrint.h"
#include "ui/preview/f_ReturnPreview.h"
#include "exchange/f_RegisterExchange.h"
#include "invoice/f_MessageIds.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>

#include <functional>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QProgressDialog>
#include <QTreeView>

#include <algorithm>

void TFrmXxqtfpMgr::actAddExecute() {
    if (vantrel::DeclareStateRefuses(FContext)) return;
    Txxqtfpxx invoiceTemplate = vantrel::MakeInvoiceTemplate(FNextXh, FContext.period, vantrel::TodayText());
    QPointer<TFrmXxqtfpMgr> self(this);
    OpenDetailWindow(
        FContext, vantrel::kDetailAdd, VSTInvoideCommon, &FInvoiceList,
        [self] {
            if (!self) return;
            self->RefreshStatistics();
            // The invoice just saved is the list's last record.
            if (!self->FInvoiceList.empty()) self->ShowRecord(self->FInvoiceList.back());
        },
        &invoiceTemplate);
    if (self) FNextXh = invoiceTemplate.xh;
}

void TFrmXxqtfpMgr::ActModifyExecute() {
    if (vantrel::DeclareStateRefuses(FContext)) return;
    const std::vector<Txxqtfpxx*> checked = ListModel() ? ListModel()->CheckedRecords() : std::vector<Txxqtfpxx*>();
    if (checked.empty()) {
        InforMsg(vantrel::kMsgNothingToModify, "", 1);
        return;
    }
    OpenModify(checked.front());
}

void TFrmXxqtfpMgr::ModifyRecord(Txxqtfpxx* record) {
    if (vantrel::DeclareStateRefuses(FContext) || !record) return;
    OpenModify(record);
}

void TFrmXxqtfpMgr::OpenModify(Txxqtfpxx* record) {
    QPointer<TFrmXxqtfpMgr> self(this);
    const bool current = OpenDetailWindow(
        FContext, vantrel::kDetailModify, VSTInvoideCommon, &FInvoiceList,
        [self, record] {
            if (!self) return;
            self->RefreshStatistics();
            self->ShowRecord(record);
        },
        record);
    if (!self) return;
    // The invoice was deleted elsewhere meanwhile: record is gone with the reloaded list.
    if (!current)
        ReloadInvoiceList();
    else
        VSTInvoideCommon->viewport()->update();
}

void TFrmXxqtfpMgr::ActDelExecute() {
    if (vantrel::DeclareStateRefuses(FContext)) return;

    const std::vector<Txxqtfpxx*> checked = ListModel() ? ListModel()->CheckedRecords() : std::vector<Txxqtfpxx*>();
    const std::size_t n = checked.size();
    if (n == 0) {
        InforMsg(vantrel::kMsgNothingToDelete, "", 1);
        return;
    }

    std::string question;
    if (n == 1)
        GetMsg(vantrel::kMsgConfirmDeleteOne, "", 1, question);
    else
        GetMsg(vantrel::kMsgConfirmDeleteMany, std::to_string(n), 1, question);
    if (!ConfirmMsgBoxA(question, 0)) return;

    std::vector<int32_t> xhs;
    xhs.reserve(n);
    for (const Txxqtfpxx* record : checked) xhs.push_back(record->xh);
    const vantrel::TStoreOutcome result = vantrel::ModuleInvoiceStore(FContext).Delete(xhs);
    switch (result.failure) {
    case vantrel::TStoreFailure::None: break;
    // A transaction that could not begin deleted nothing, and says so.
    case vantrel::TStoreFailure::Begin:
        InforMsg(vantrel::kMsgDeleted, "0", 1);
        RefreshStatistics();
        return;
    case vantrel::TStoreFailure::NoRow:
        InforMsg(vantrel::kMsgInvoicesGone, "", 1);
        ReloadInvoiceList();
        return;
    case vantrel::TStoreFailure::Mark: InforMsg(vantrel::kMsgDeleteMarkFailed, vantrel::ReasonLine(result.error), 1); return;
    // What becomes of a transaction whose commit failed is the host's to settle.
    case vantrel::TStoreFailure::Commit: InforMsg(vantrel::kMsgDeleteCommitFailed, vantrel::ReasonLine(result.error), 1); return;
    case vantrel::TStoreFailure::Cancelled:  // a delete has no progress to cancel, nor a batch to undo
    case vantrel::TStoreFailure::Changed:
    case vantrel::TStoreFailure::Statement: InforMsg(vantrel::kMsgDeleteStatementFailed, vantrel::ReasonLine(result.error), 1); return;
    }
    ListModel()->RemoveRecords(checked);
    for (Txxqtfpxx* record : checked) delete record;
    InforMsg(vantrel::kMsgDeleted, std::to_string(n), 1);
    RefreshStatistics();
}

void TFrmXxqtfpMgr::ActPreviewExecute() {
    QPointer<TFrmXxqtfpMgr> self(this);
    const bool changed =
        vantrel::OpenReturnPreview(this, FContext, {&TFrmXxqtfpMgr::VSTInvoideCommonGetText, &AttachListDecorator});
    if (self && changed) ActQueryExecute();
}

void TFrmXxqtfpMgr::ActPrintExecute() {
    if (!ListModel()) return;
    std::vector<int> widths;
    for (int c = 0; c < ListModel()->columnCount(); ++c) widths.push_back(VSTInvoideCommon->header()->sectionSize(c));
    vantrel::TListPrintHeader header = vantrel::CurrentListHeader(FContext, windowTitle());
    header.note = QString::fromUtf16(u"共 %1 张发票，其中作废 %2 张").arg(lbFpsl->text(), lbzfzs->text());
    vantrel::ShowInvoiceTablePrint(this, *ListModel(), widths, header);
}

void TFrmXxqtfpMgr::actImportExecute() {
    if (vantrel::DeclareStateRefuses(FContext)) return;
    const QString path = QFileDialog::getOpenFileName(this, QString::fromUtf16(u"导入发票"), QString(),
                                                      QString::fromUtf16(u"发票文件 (*.xlsx *.csv)"));
    if (!path.isEmpty()) ImportFile(path);
}

bool TFrmXxqtfpMgr::ImportFile(const QString& path) {
    return ImportRead("请稍候，正在读取文件...", QFileInfo(path).fileName(),
                      [&](vantrel::TImportTarget& target, vantrel::TImportPlan& plan, std::string& error) {
                          return vantrel::PlanImportFile(path, target, true, plan, error);
                      });
}

bool TFrmXxqtfpMgr::ImportRead(const char* status, const QString& shown,
                               const std::function<bool(vantrel::TImportTarget&, vantrel::TImportPlan&, std::string&)>& plan) {
    vantrel::TImportTarget target;
    vantrel::TImportPlan planned;
    std::string error;
    ShowStatus(status);
    const bool read = vantrel::LoadImportTarget(FContext, target, error) && plan(target, planned, error);
    FreeInvoiceList(target.existing);
    HideStatus();
    if (!read) {
        InfoMsgBox("无法导入：" + error, 0);
        return false;
    }
    return ImportPlanned(shown, planned);
}

void TFrmXxqtfpMgr::actImportEInvoiceExecute(bool folder) {
    if (vantrel::DeclareStateRefuses(FContext)) return;
    const QString title = QString::fromUtf16(u"导入电子发票");
    QStringList paths;
    if (folder) {
        const QString dir = QFileDialog::getExistingDirectory(this, title);
        if (!dir.isEmpty()) paths << dir;
    } else {
        paths = QFileDialog::getOpenFileNames(this, title, QString(),
                                              QString::fromUtf16(u"电子发票 (*.xml *.ofd *.zip);;所有文件 (*)"));
    }
    if (!paths.isEmpty()) ImportEInvoices(paths);
}

bool TFrmXxqtfpMgr::ImportEInvoices(const QStringList& paths) {
    QString shown = QFileInfo(paths.front()).fileName();
    if (paths.size() > 1) shown += QString::fromUtf16(u" 等 %1 项").arg(paths.size());
    return ImportRead("请稍候，正在读取电子发票...", shown,
                      [&](vantrel::TImportTarget& target, vantrel::TImportPlan& plan, std::string& error) {
                          return vantrel::PlanEInvoiceImport({paths.begin(), paths.end()}, FContext, target, true, plan, error);
                      });
}

bool TFrmXxqtfpMgr::ImportPlanned(const QString& shown, vantrel::TImportPlan& plan) {
    std::string error;
    QPointer<TFrmXxqtfpMgr> self(this);
    QPointer<vantrel::TFrmImportPreview> preview = new vantrel::TFrmImportPreview(shown, plan, this);
    const int answer = preview->exec();
    delete preview.data();
    if (!self || answer != QDialog::Accepted || plan.HasErrors()) return false;
    // The same file imported twice would double the register.
    if (!plan.storedDuplicateLines.empty() &&
        !ConfirmMsgBoxA("文件中有 " + vantrel::StoredDuplicatesText(plan) + "，可能已经导入过。仍要导入全部发票吗？", 0))
        return false;

    // Owned here, not by the window: the window may go away while events are processed.
    QProgressDialog progress(QString::fromUtf16(u"正在导入发票..."), QString::fromUtf16(u"取消"), 0,
                             static_cast<int>(plan.rows.size()));
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(500);
    const vantrel::TStoreResult result = vantrel::StoreImport(
        plan, FContext,
        [&progress](int done, int) {
            progress.setValue(done);
            QCoreApplication::processEvents();
            return !progress.wasCanceled();
        },
        error);
    progress.reset();
    if (result != vantrel::TStoreResult::Stored) {
        InfoMsgBox(error, 0);
        return false;
    }
    InfoMsgBox("已导入 " + std::to_string(plan.rows.size()) + " 张发票", 0);
    if (self) {
        ActQueryExecute();
        KeepNextXhAhead();
    }
    return true;
}

void TFrmXxqtfpMgr::actExportExecute() {
    QString chosenFilter;
    QString path = QFileDialog::getSaveFileName(
        this, QString::fromUtf16(u"导出发票"), ExportFileName(),
        QString::fromUtf16(u"Excel 工作簿 (*.xlsx);;CSV 文件 (*.csv)"), &chosenFilter);
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().isEmpty())
        path += chosenFilter.contains(QStringLiteral("csv")) ? QStringLiteral(".csv") : QStringLiteral(".xlsx");
    ExportFile(path);
}

QString TFrmXxqtfpMgr::ExportFileName() const {
    return QString::fromUtf16(u"其它销项发票_%1_%2.xlsx").arg(GbkToQString(FContext.taxpayer), GbkToQString(FContext.period));
}

bool TFrmXxqtfpMgr::ExportFile(const QString& path) {
    std::vector<const Txxqtfpxx*> shown;
    if (vantrel::TInvoiceListModel* model = ListModel())
        for (int row = 0, n = model->rowCount(); row < n; ++row)
            if (const Txxqtfpxx* r = model->RecordAt(row)) shown.push_back(r);
    std::string error;
    if (!vantrel::ExportRegisterFile(path, shown, error)) {
        InfoMsgBox("导出失败：" + error, 0);
        return false;
    }
    InfoMsgBox("已导出 " + std::to_string(shown.size()) + " 张发票到 " + QStringToGbk(path), 0);
    return true;
}

void TFrmXxqtfpMgr::actReconcileExecute() {
    const QString path = QFileDialog::getOpenFileName(this, QString::fromUtf16(u"核对发票清单"), QString(),
                                                      QString::fromUtf16(u"发票清单 (*.xlsx *.csv)"));
    if (!path.isEmpty()) ReconcileFile(path);
}

void TFrmXxqtfpMgr::ReconcileFile(const QString& path) {
    QPointer<TFrmXxqtfpMgr> self(this);
    const bool changed = vantrel::OpenReconcileWindow(this, FContext, path);
    if (self && changed) {
        ActQueryExecute();
        KeepNextXhAhead();
    }
}

void TFrmXxqtfpMgr::actHistoryExecute() {
    const std::vector<Txxqtfpxx*> checked = ListModel() ? ListModel()->CheckedRecords() : std::vector<Txxqtfpxx*>();
    if (checked.empty()) {
        InfoMsgBox("请先勾选要查看历史的发票。", 0);
        return;
    }
    vantrel::TFrmInvoiceHistory history(FContext, checked.front()->xh, this);
    history.exec();
}

void TFrmXxqtfpMgr::actChangeLogExecute() {
    QPointer<TFrmXxqtfpMgr> self(this);
    auto* batches = new vantrel::TFrmChangeBatches(FContext, this);
    batches->exec();
    const bool restored = batches->Restored();
    delete batches;
    if (self && restored) {
        ActQueryExecute();
        KeepNextXhAhead();
    }
}

void TFrmXxqtfpMgr::actUndoExecute() {
    if (FReadOnly) return;
    const std::vector<int64_t>& own = FOwnBatches->Batches();
    const auto last = std::find_if(own.rbegin(), own.rend(), [this](int64_t b) { return !FUndone.count(b); });
    if (last == own.rend()) {
        InfoMsgBox("没有可以撤销的操作。", 0);
        return;
    }
    if (vantrel::DeclareStateRefuses(FContext)) return;
    const int64_t batch = *last;
    std::vector<vantrel::TChangeEntry> entries;
    std::string error;
    if (!vantrel::ReadBatchEntries(FContext, batch, entries, error) || entries.empty()) {
        InfoMsgBox("无法读取变更记录：" + vantrel::ErrorOrUnknown(error), 0);
        return;
    }
    std::string numbers;
    for (std::size_t i = 0; i < entries.size() && i < 10; ++i)
        numbers += (i ? "、" : "") + std::to_string(entries[i].xh);
    if (entries.size() > 10) numbers += " 等";
    if (!ConfirmMsgBoxA("撤销上一次" + entries.front().kind + "（第 " + std::to_string(batch) + " 批，" +
                            std::to_string(entries.size()) + " 张发票：第 " + numbers + " 号）吗？",
                        0))
        return;
    const std::size_t before = own.size();
    const vantrel::TStoreOutcome outcome = vantrel::ModuleInvoiceStore(FContext).Undo(batch);
    if (!outcome.Ok()) {
        InfoMsgBox("无法撤销：" + vantrel::ErrorOrUnknown(outcome.error), 0);
        return;
    }
    FUndone.insert(batch);
    for (std::size_t i = before; i < own.size(); ++i) FUndone.insert(own[i]);
    ActQueryExecute();
    KeepNextXhAhead();
}
