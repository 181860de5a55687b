#include "ui/common/f_LookupCombos.h"

#include "invoice/f_FpDealGlobal.h"
#include "ui/common/controls/PellowComboBox.h"

#include <QSignalBlocker>

void FillInvoiceTypeCombo(TPellowComboBox* combo, const vantrel::TModuleContext& context) {
    if (!combo) return;
    const vantrel::LookupList list = vantrel::LoadInvoiceTypeList(context);
    const QSignalBlocker block(combo);
    combo->Clear();
    for (size_t i = 0; i < list.items.size(); ++i)
        combo->AddItem(list.items[i], i < list.values.size() ? list.values[i] : std::string());
    combo->SetItemIndex(0);
}

void FillTaxRateCombo(TPellowComboBox* combo) {
    if (!combo) return;
    const QSignalBlocker block(combo);
    combo->Clear();
    for (const std::string& item : vantrel::TaxRateItems()) combo->AddItem(item);
    combo->SetItemIndex(-1);
}
