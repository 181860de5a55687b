// 期间概览: the current taxpayer's periods against the return's figures, each with its change
// against the period before, and charts of the amounts and taxes by rate over the last 24
// periods. A click on a figure opens that period's return preview at that cell; a double click
// on a figure of the page lists the invoices behind it.
#pragma once

#include <QWidget>

#include <string>

class QChartView;
class QLabel;
class QTableWidget;
struct ClientSession;

class PeriodOverview : public QWidget {
    Q_OBJECT
public:
    explicit PeriodOverview(const ClientSession& session, QWidget* parent = nullptr);

    // Reads the taxpayer's periods and figures again (after a switch or a change).
    void reload();

signals:
    // A period asked for from the table (its row's header).
    void periodChosen(const std::string& period);

private:
    void fillTable(const std::vector<std::string>& periods);
    void fillCharts(const std::vector<std::string>& periods);
    void showPreviewAt(int row, int column);
    void showInvoicesBehind(const std::string& period, const std::string& cell);

    const ClientSession& session_;
    QLabel* title_ = nullptr;
    QTableWidget* table_ = nullptr;
    QChartView* amounts_ = nullptr;
    QChartView* taxes_ = nullptr;
    std::vector<std::string> periods_;   // the table's rows, newest first
    std::vector<std::string> cells_;     // the table's columns
};
