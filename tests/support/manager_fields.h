// The manager window's commands and controls, reached by their object names as a user would
// find them, and what its list shows.
#pragma once

#include "host_fixture.h"
#include "invoice/f_GlobalUnit.h"
#include "ui/common/controls/ModalSpeedButton.h"
#include "ui/common/controls/PellowComboBox.h"
#include "ui/common/controls/PellowEdit.h"
#include "ui/common/f_InvoiceListModel.h"

#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QTreeView>

#include <vector>

namespace testhost {

struct ManagerFields {
    explicit ManagerFields(const QObject* window)
        : window_(window),
          actAdd(Control<QAction>(window, QStringLiteral("actAdd"))),
          ActModify(Control<QAction>(window, QStringLiteral("ActModify"))),
          ActDel(Control<QAction>(window, QStringLiteral("ActDel"))),
          ActQuery(Control<QAction>(window, QStringLiteral("ActQuery"))),
          ActClose(Control<QAction>(window, QStringLiteral("ActClose"))),
          actQueryPanel(Control<QAction>(window, QStringLiteral("actQueryPanel"))),
          ActPreview(Control<QAction>(window, QStringLiteral("ActPreview"))),
          actImport(Control<QAction>(window, QStringLiteral("actImport"))),
          actImportEInvoice(Control<QAction>(window, QStringLiteral("actImportEInvoice"))),
          actExport(Control<QAction>(window, QStringLiteral("actExport"))),
          actHistory(Control<QAction>(window, QStringLiteral("actHistory"))),
          actChangeLog(Control<QAction>(window, QStringLiteral("actChangeLog"))),
          ListMenu(Control<QMenu>(window, QStringLiteral("ListMenu"))),
          btnQuery(Control<QToolButton>(window, QStringLiteral("btnQuery"))),
          PanelQuery(Control<QFrame>(window, QStringLiteral("PanelQuery"))),
          cbbFplx(Control<TPellowComboBox>(window, QStringLiteral("cbbFplx"))),
          edtghfsh(Control<TPellowEdit>(window, QStringLiteral("edtghfsh"))),
          ModalSpeedButton1(Control<TModalSpeedButton>(window, QStringLiteral("ModalSpeedButton1"))),
          btnReset(Control<TModalSpeedButton>(window, QStringLiteral("btnReset"))),
          lbFpsl(Control<QLabel>(window, QStringLiteral("lbFpsl"))),
          lbje(Control<QLabel>(window, QStringLiteral("lbje"))),
          lbse(Control<QLabel>(window, QStringLiteral("lbse"))),
          lbzfzs(Control<QLabel>(window, QStringLiteral("lbzfzs"))),
          lbzfje(Control<QLabel>(window, QStringLiteral("lbzfje"))),
          lbzfse(Control<QLabel>(window, QStringLiteral("lbzfse"))),
          lbScope(Control<QLabel>(window, QStringLiteral("lbScope"))),
          lbEmptyHint(Control<QLabel>(window, QStringLiteral("lbEmptyHint"))),
          btnAdd(Control<QPushButton>(window, QStringLiteral("btnAdd"))),
          btnModify(Control<QPushButton>(window, QStringLiteral("btnModify"))),
          btnDel(Control<QPushButton>(window, QStringLiteral("btnDel"))),
          VSTInvoideCommon(Control<QTreeView>(window, QStringLiteral("VSTInvoideCommon"))),
          model(VSTInvoideCommon ? qobject_cast<vantrel::TInvoiceListModel*>(VSTInvoideCommon->model()) : nullptr) {}

    // Every record read by the last query (the filter row may show fewer).
    const std::vector<Txxqtfpxx*>& Records() const { return *model->List(); }
    int NextXh() const { return window_->property("nextXh").toInt(); }

    const QObject* window_;
    QAction* actAdd;
    QAction* ActModify;
    QAction* ActDel;
    QAction* ActQuery;
    QAction* ActClose;
    QAction* actQueryPanel;
    QAction* ActPreview;
    QAction* actImport;
    QAction* actImportEInvoice;
    QAction* actExport;
    QAction* actHistory;
    QAction* actChangeLog;
    QMenu* ListMenu;
    QToolButton* btnQuery;
    QFrame* PanelQuery;
    TPellowComboBox* cbbFplx;
    TPellowEdit* edtghfsh;
    TModalSpeedButton* ModalSpeedButton1;
    TModalSpeedButton* btnReset;
    QLabel* lbFpsl;
    QLabel* lbje;
    QLabel* lbse;
    QLabel* lbzfzs;
    QLabel* lbzfje;
    QLabel* lbzfse;
    QLabel* lbScope;
    QLabel* lbEmptyHint;
    QPushButton* btnAdd;
    QPushButton* btnModify;
    QPushButton* btnDel;
    QTreeView* VSTInvoideCommon;
    vantrel::TInvoiceListModel* model;
};

inline ManagerFields Mgr(const QObject* window) { return ManagerFields(window); }

}  // namespace testhost
