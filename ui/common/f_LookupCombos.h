// Binds the module's lookup lists to combo boxes.
#pragma once

#include "host/f_ModuleContext.h"

class TPellowComboBox;

// The context's invoice types with their codes as item values; selects item 0 ("-请选择-").
void FillInvoiceTypeCombo(TPellowComboBox* combo, const vantrel::TModuleContext& context);
// The configured tax rates ("17%", "0%"); selects nothing.
void FillTaxRateCombo(TPellowComboBox* combo);
