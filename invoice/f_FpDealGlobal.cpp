#include "invoice/f_FpDealGlobal.h"

#include "host/corlith_api.h"
#include "invoice/f_GlobalUnit.h"
#include "invoice/f_XxqtfpGlobal.h"

#include <ini.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <optional>
#include <strings.h>

namespace {

bool SameIgnoringCase(const char* a, const std::string& b) { return strcasecmp(a, b.c_str()) == 0; }

// The three keys this module reads; the first occurrence of each wins.
struct ConfigScan {
    std::string section;
    std::optional<std::string> sl, wc, nsrlength;
};

int OnIniEntry(void* user, const char* section, const char* name, const char* value) {
    auto* scan = static_cast<ConfigScan*>(user);
    auto take = [&](std::optional<std::string>& slot) {
        if (!slot) slot = vantrel::TrimBlanks(value ? value : "");
    };
    if (SameIgnoringCase(section, scan->section)) {
        if (SameIgnoringCase(name, "sl")) take(scan->sl);
        else if (SameIgnoringCase(name, "wc")) take(scan->wc);
    }
    if (SameIgnoringCase(section, "Common") && SameIgnoringCase(name, "nsrlength")) take(scan->nsrlength);
    return 1;  // keep going past anything unexpected
}

std::optional<int32_t> ParseInt32(const std::string& text) {
    if (text.empty()) return std::nullopt;
    std::size_t i = (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (i == text.size()) return std::nullopt;
    for (std::size_t k = i; k < text.size(); ++k)
        if (text[k] < '0' || text[k] > '9') return std::nullopt;
    errno = 0;
    const long long v = std::strtoll(text.c_str(), nullptr, 10);
    if (errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(v);
}

// The INI library reads an indented line as the continuation of the value above it; in the
// files users edit an indented line is just another key.
std::string WithoutIndents(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    bool lineStart = true;
    bool cut = false;  // a zero byte ends what a line says, as it does for a file read line by line
    for (char c : text) {
        if (c == '\0') cut = true;
        if (cut && c != '\n') continue;
        if (lineStart && (c == ' ' || c == '\t')) continue;
        cut = false;
        lineStart = c == '\n';
        out += c;
    }
    return out;
}

}  // namespace

namespace vantrel {

InvoiceConfig& CurrentInvoiceConfig() {
    static InvoiceConfig config;
    return config;
}

InvoiceConfig ParseInvoiceConfig(const std::string& iniText, const std::string& section) {
    ConfigScan scan;
    scan.section = section;
    // A malformed file still yields what could be read; the rest stays default.
    ini_parse_string(WithoutIndents(iniText).c_str(), &OnIniEntry, &scan);

    InvoiceConfig config;
    if (scan.sl) config.TaxRateList = *scan.sl;
    if (const std::optional<int32_t> wc = scan.wc ? ParseInt32(*scan.wc) : std::nullopt) config.TaxTolerance = *wc;
    if (scan.nsrlength) config.TaxpayerIdLengths = *scan.nsrlength;
    return config;
}

LookupList LoadInvoiceTypeList(const TModuleContext& context, bool everyType) {
    LookupList list;
    list.items.push_back("-请选择-");
    list.values.push_back(std::string());

    THostQuery query;
    std::string error;
    if (!ExecADOQueryMsg(context.connection, BuildTypeListSql(context), &query, error, 1, 0)) {
        list.items.push_back("未知发票");
        list.values.push_back(std::string());
        return list;
    }
    query.First();
    for (int i = 0, n = query.RecordCount(); i < n; ++i, query.Next()) {
        const std::string mc = query.FieldAsString("mc");
        if (!everyType && mc == "非专用发票") continue;
        list.items.push_back(mc);
        list.values.push_back(query.FieldAsString("fplx"));
    }
    return list;
}

std::vector<std::string> TaxRateItems() {
    std::vector<std::string> items;
    const std::string& rates = CurrentInvoiceConfig().TaxRateList;
    std::size_t from = 0;
    for (std::size_t bar; (bar = rates.find('|', from)) != std::string::npos; from = bar + 1) {
        const std::string piece = TrimBlanks(rates.substr(from, bar - from));
        if (!piece.empty()) items.push_back(piece + "%");
    }
    return items;
}

}  // namespace vantrel

void LoadInvoiceConfig(const vantrel::TModuleContext& context, const std::string& section) {
    std::string text;
    ReadFileText(context.subAppPath + "fp_config.ini", text);
    vantrel::CurrentInvoiceConfig() = vantrel::ParseInvoiceConfig(text, section);
}

std::string DeclareStatusName(uint32_t code) {
    switch (code) {
    case 0: return "未申报";
    case 2: return "发送成功";
    case 3: return "申报成功";
    case 4: return "申报成功，扣款成功";
    case 5: return "申报成功，扣款失败";
    case 6: return "申报成功，正在扣款";
    case 7: return "申报失败";
    case 8: return "作废成功";
    default: return "未填写";
    }
}
