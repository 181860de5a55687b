// Binds the module's lookup lists to combo boxes.
#pragma once

class TPellowComboBox;

// The invoice types with their codes as item values; selects item 0 ("-请选择-").
void FillInvoiceTypeCombo(TPellowComboBox* combo);
// The configured tax rates ("17%", "0%"); selects nothing.
void FillTaxRateCombo(TPellowComboBox* combo);
