// The detail window's controls, reached by their object names as a user would find them.
#pragma once

#include "host_fixture.h"
#include "ui/common/controls/ModalSpeedButton.h"
#include "ui/common/controls/PellowComboBox.h"
#include "ui/common/controls/PellowDTPicker.h"
#include "ui/common/controls/PellowEdit.h"
#include "ui/common/controls/PellowRadioButton.h"

#include <QLabel>

namespace testhost {

struct DetailFields {
    explicit DetailFields(const QObject* window)
        : lbTitle(Control<QLabel>(window, QStringLiteral("lbTitle"))),
          dtpKprq(Control<TPellowDTPicker>(window, QStringLiteral("dtpKprq"))),
          cbbFplx(Control<TPellowComboBox>(window, QStringLiteral("cbbFplx"))),
          edtfs(Control<TPellowEdit>(window, QStringLiteral("edtfs"))),
          edtje(Control<TPellowEdit>(window, QStringLiteral("edtje"))),
          cbbSl(Control<TPellowComboBox>(window, QStringLiteral("cbbSl"))),
          edtse(Control<TPellowEdit>(window, QStringLiteral("edtse"))),
          edtGfnsrsbh(Control<TPellowEdit>(window, QStringLiteral("edtGfnsrsbh"))),
          rbLwfp_Yes(Control<TPellowRadioButton>(window, QStringLiteral("rbLwfp_Yes"))),
          rbLwfp_No(Control<TPellowRadioButton>(window, QStringLiteral("rbLwfp_No"))),
          rbZF_Yes(Control<TPellowRadioButton>(window, QStringLiteral("rbZF_Yes"))),
          rbZF_No(Control<TPellowRadioButton>(window, QStringLiteral("rbZF_No"))),
          rbJZJT_YES(Control<TPellowRadioButton>(window, QStringLiteral("rbJZJT_YES"))),
          rbJZJT_No(Control<TPellowRadioButton>(window, QStringLiteral("rbJZJT_No"))),
          rbMS_YES(Control<TPellowRadioButton>(window, QStringLiteral("rbMS_YES"))),
          rbMS_No(Control<TPellowRadioButton>(window, QStringLiteral("rbMS_No"))),
          BtnCommit(Control<TModalSpeedButton>(window, QStringLiteral("BtnCommit"))),
          btnCancel(Control<TModalSpeedButton>(window, QStringLiteral("btnCancel"))) {}

    QLabel* lbTitle;
    TPellowDTPicker* dtpKprq;
    TPellowComboBox* cbbFplx;
    TPellowEdit* edtfs;
    TPellowEdit* edtje;
    TPellowComboBox* cbbSl;
    TPellowEdit* edtse;
    TPellowEdit* edtGfnsrsbh;
    TPellowRadioButton* rbLwfp_Yes;
    TPellowRadioButton* rbLwfp_No;
    TPellowRadioButton* rbZF_Yes;
    TPellowRadioButton* rbZF_No;
    TPellowRadioButton* rbJZJT_YES;
    TPellowRadioButton* rbJZJT_No;
    TPellowRadioButton* rbMS_YES;
    TPellowRadioButton* rbMS_No;
    TModalSpeedButton* BtnCommit;
    TModalSpeedButton* btnCancel;
};

inline DetailFields Fields(const QObject* window) { return DetailFields(window); }

}  // namespace testhost
