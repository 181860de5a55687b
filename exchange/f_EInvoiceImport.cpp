#include "exchange/f_EInvoiceImport.h"

#include "exchange/f_EInvoiceFile.h"
#include "host/corlith_api.h"
#include "invoice/f_GlobalUnit.h"
#include "invoice/f_Sha256.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <unordered_map>

namespace vantrel {

namespace {

TExchangeCell TextCell(std::string text) {
    TExchangeCell cell;
    cell.text = std::move(text);
    return cell;
}

// What the change log names the import by: one file's name and SHA-256, or for several files
// their count and a SHA-256 over each file's hash and name (each file's own is beside its rows).
std::string BatchNote(const std::vector<QString>& paths, const std::vector<TEInvoiceFile>& files) {
    std::string hex;
    if (paths.size() == 1 && QFileInfo(paths.front()).isFile() && FileSha256Hex(paths.front(), hex))
        return QStringToGbk(QFileInfo(paths.front()).fileName()) + " SHA-256 " + hex;
    TSha256 sha;
    for (const TEInvoiceFile& f : files) {
        sha.Add(f.sha256);
        sha.Add(" ");
        sha.Add(f.name);
        sha.Add("\n");
    }
    return std::to_string(files.size()) + " 个电子发票文件 SHA-256 " + sha.Hex();
}

}  // namespace

bool PlanEInvoiceImport(const std::vector<QString>& paths, const TModuleContext& context, const TImportTarget& target,
                        bool keepCells, TImportPlan& plan, std::string& error) {
    std::vector<TEInvoiceFile> files;
    // Issues of whole files (line 0) and of invoices (their first row's line), merged with the
    // rows' own issues by line afterwards; an invoice's own come in the order of kSeller..kRepeated.
    enum TRank { kSeller, kStored, kRepeated };
    struct TExtra {
        TImportIssue issue;
        TRank rank;
    };
    std::vector<TExtra> extra;
    std::vector<std::size_t> fileOfRow;
    std::vector<TInvoiceSource> sources;
    std::unordered_map<std::string, std::size_t> firstOfNumber;
    std::vector<std::pair<std::size_t, int>> firstLineOfFile;
    bool read = true, looked = true;
    // The files are planned as they are read, while the next ones are parsed.
    plan = PlanImportRows(target, keepCells, [&](TExchangeSink& sink) {
        std::vector<std::string> captions;
        for (int c = 0; c < RegisterColumnCount; ++c) captions.emplace_back(RegisterColumnCaption(c));
        sink.Header(captions, 1);
        int line = 1;
        TExchangeRow row;
        read = ReadEInvoiceFiles(paths, [&](TEInvoiceFile& file) {
            const std::size_t i = files.size();
            files.push_back(std::move(file));
            const TEInvoiceFile& f = files.back();
            if (!f.error.empty()) {
                extra.push_back({{0, {}, f.error, false, f.name}, kSeller});
                return;
            }
            const TEInvoice& invoice = f.invoice;
            const int first = line + 1;
            firstLineOfFile.emplace_back(i, first);
            const auto invoiceIssue = [&](std::string text, TRank rank) {
                extra.push_back({{first, {}, std::move(text), false, f.name}, rank});
            };
            if (invoice.sellerId != target.nsrsbh)
                invoiceIssue("销售方纳税人识别号 " + GbkAbbreviate(invoice.sellerId, 40) + " 不是当前纳税人 " + target.nsrsbh,
                             kSeller);
            const auto [earlier, added] = firstOfNumber.emplace(invoice.number, i);
            if (!added) invoiceIssue("发票号码 " + invoice.number + " 与 " + files[earlier->second].name + " 重复", kRepeated);
            for (const TEInvoiceRate& rate : invoice.rates) {
                row.line = ++line;
                row.extra.clear();
                row.cells.assign(RegisterColumnCount, TExchangeCell());
                row.cells[RcFplx] = TextCell("普通发票");
                row.cells[RcKprq] = TextCell(invoice.date);
                row.cells[RcFs] = TextCell("1");
                row.cells[RcJe] = TextCell(FenText(rate.amount));
                row.cells[RcSl] = TextCell(rate.rate);
                row.cells[RcSe] = TextCell(FenText(rate.tax));
                row.cells[RcGfnsr] = TextCell(invoice.buyerId);
                if (rate.exempt) row.cells[RcMs] = TextCell("是");
                sink.Row(row);
                fileOfRow.push_back(i);
                sources.push_back({0, invoice.number, f.name, f.sha256});
            }
        }, error);
        if (!read) return;
        // Numbers the register holds already, looked up once every file is read.
        std::vector<std::string> numbers;
        for (const auto& [i, first] : firstLineOfFile) numbers.push_back(files[i].invoice.number);
        std::map<std::string, TStoredInvoice> stored;
        looked = FindStoredInvoiceNumbers(context, numbers, stored, error);
        if (!looked) return;
        for (const auto& [i, first] : firstLineOfFile)
            if (const auto it = stored.find(files[i].invoice.number); it != stored.end())
                extra.push_back({{first, {}, StoredNumberText(it->first, it->second), false, files[i].name}, kStored});
    });
    if (!read || !looked) return false;
    // A file's invoice is known by its number, so rows alike in every field are not taken
    // for an import of the same file twice.
    plan.storedDuplicateLines.clear();
    const auto fileOfLine = [&](long line) -> const std::string* {
        if (line < 2 || static_cast<std::size_t>(line - 2) >= fileOfRow.size()) return nullptr;
        return &files[fileOfRow[static_cast<std::size_t>(line - 2)]].name;
    };
    const std::string sameRow = "与文件第 ", sameEnd = " 行相同";
    for (TImportIssue& issue : plan.issues) {
        if (const std::string* name = fileOfLine(issue.line)) issue.file = *name;
        // The rows' numbers mean nothing here: the row alike is named by its file.
        const std::size_t end = issue.text.find(sameEnd);
        if (issue.text.rfind(sameRow, 0) == 0 && end != std::string::npos)
            if (const std::string* name = fileOfLine(std::strtol(issue.text.c_str() + sameRow.size(), nullptr, 10)))
                issue.text = "与 " + *name + " 中的发票相同" + issue.text.substr(end + sameEnd.size());
    }
    std::stable_sort(extra.begin(), extra.end(), [](const TExtra& a, const TExtra& b) {
        return a.issue.line != b.issue.line ? a.issue.line < b.issue.line : a.rank < b.rank;
    });
    for (TExtra& e : extra) plan.issues.push_back(std::move(e.issue));
    std::stable_sort(plan.issues.begin(), plan.issues.end(),
                     [](const TImportIssue& a, const TImportIssue& b) { return a.line < b.line; });
    plan.sources = std::move(sources);
    plan.source = BatchNote(paths, files);
    return true;
}

}  // namespace vantrel
