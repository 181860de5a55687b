// TFrmInvoiceHistory: every version of one invoice from the change log, oldest first, with who
// changed it and when; each value that a version changed is highlighted. Read-only.
#pragma once

#include "host/f_ModuleContext.h"

#include <QDialog>

#include <cstdint>
#include <string>

class QLabel;
class QTableWidget;

namespace vantrel {

// A logged row's field as the windows show it: amounts with two decimals, flags as 是/否.
QString LoggedFieldText(int field, const std::string& value);
// A logged row in a line: type, dates, number, amount, rate, tax, buyer.
QString LoggedRowText(const std::string& row);

class TFrmInvoiceHistory : public QDialog {
    Q_OBJECT
public:
    // The history of invoice xh of the context's period.
    TFrmInvoiceHistory(const TModuleContext& context, int32_t xh, QWidget* parent = nullptr);

private:
    QLabel* lbTitle_ = nullptr;
    QTableWidget* gridVersions_ = nullptr;
};

}  // namespace vantrel
