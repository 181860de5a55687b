#include "report/f_DealReportPubFunc.h"

#include "host/corlith_api.h"
#include "param/f_ParamString.h"
#include "report/f_DealReportImpl.h"
#include "invoice/f_MessageIds.h"

#include <optional>
#include <string_view>

namespace {

// Year and month fields of an accounting month are plain decimal digits; anything else
// (blanks, signs, a short text) is refused rather than guessed at.
std::optional<int> ParseNumber(std::string_view text) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::string_view Field(const std::string& kjny, std::size_t pos, std::size_t len) {
    if (pos >= kjny.size()) return {};
    return std::string_view(kjny).substr(pos, len);
}

std::optional<int> YearOf(const std::string& kjny) { return ParseNumber(Field(kjny, 0, 4)); }
std::optional<int> MonthOf(const std::string& kjny) { return ParseNumber(Field(kjny, 4, 2)); }

int DaysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

std::string TodayYmd() {
    const std::string now = GetHostNow();
    return now.substr(0, 4) + now.substr(5, 2) + now.substr(8, 2);
}

// Header values are the host's free text (a company called "A&B<C>"); as element content
// they need their markup characters escaped. No GBK trail byte is below 0x40, so bytes do.
std::string XmlText(const std::string& value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += c; break;
        }
    }
    return out;
}

// By period kind: 1 monthly, 2 quarterly, 3 yearly.
std::string PeriodKindWord(int periodKind) {
    static const char* const kWords[] = {"月报", "季报", "年报"};
    return periodKind >= 1 && periodKind <= 3 ? kWords[periodKind - 1] : std::string();
}

}  // namespace

bool GetQuarterRange(const std::string& kjny, std::string& start, std::string& end) {
    const std::optional<int> year = YearOf(kjny);
    const std::optional<int> month = MonthOf(kjny);
    if (!year || !month) return false;
    const std::string y = std::to_string(*year);
    switch (*month) {
    case 1: case 2:
        start = std::to_string(*year - 1) + "1001";
        end = std::to_string(*year - 1) + "1231";
        break;
    case 3: case 4: case 5:
        start = y + "0101";
        end = y + "0331";
        break;
    case 6: case 7: case 8:
        start = y + "0401";
        end = y + "0630";
        break;
    case 9: case 10: case 11:
        start = y + "0701";
        end = y + "0930";
        break;
    case 12:
        start = y + "1001";
        end = y + "1231";
        break;
    default:
        break;
    }
    return true;
}

bool GetReportDate(const std::string& request, const std::string& kjny, std::string& date) {
    const bool monthly = request == "月报起始" || request == "月报截止";
    const bool quarterly = request == "季报起始" || request == "季报截止";
    const bool yearly = request == "年报起始" || request == "年报截止";
    if (!monthly && !quarterly && !yearly) return true;

    const std::optional<int> year = YearOf(kjny);
    const std::optional<int> month = MonthOf(kjny);
    if (!year || !month) return false;

    if (request == "月报起始") {
        date = kjny + "01";
    } else if (request == "月报截止") {
        if (*month < 1 || *month > 12) return false;
        date = kjny + std::to_string(DaysInMonth(*year, *month));
    } else if (quarterly) {
        std::string start, end;
        GetQuarterRange(kjny, start, end);
        date = request == "季报起始" ? start : end;
    } else {
        const int reportYear = Field(kjny, 4, 2) == "12" ? *year : *year - 1;
        date = std::to_string(reportYear) + (request == "年报起始" ? "0101" : "1231");
    }
    return true;
}

void GetCompanyInfo(const vantrel::TModuleContext& context, const std::string& key, std::string& value) {
    value = GetParamValue(context.particulars, key);
}

void GetReportHeader(const vantrel::TModuleContext& context, const std::string& prefix, const std::string& funcCode,
                     std::string& message, std::string& header) {
    message.clear();
    std::string kindCode, formCode;
    bool declaredEditable = false;
    if (!FindDeclareForm(context, funcCode, kindCode, formCode, declaredEditable)) {
        GetMsg(vantrel::kMsgFormNotFound, std::string(), 1, message);
        return;
    }

    std::string kindWord;
    if (const std::shared_ptr<TAryDeclareTypeInfo>& catalogue = context.catalogue) {
        for (const TDeclareTypeInfo& kind : catalogue->Items) {
            if (kind.Code == kindCode) {
                kindWord = PeriodKindWord(kind.PeriodKind);
                break;
            }
        }
    }

    const std::string& kjny = context.period;
    std::string startDate, endDate;
    if (!kindWord.empty() && (!GetReportDate(kindWord + "起始", kjny, startDate) ||
                              !GetReportDate(kindWord + "截止", kjny, endDate))) {
        message = "会计期间“" + kjny + "”不是有效的年月（应为六位数字yyyymm），无法计算报表的起止日期";
        return;
    }

    auto element = [&prefix](const char* suffix, const std::string& content) {
        return "<" + prefix + suffix + XmlText(content) + "</" + prefix + suffix;
    };
    auto company = [&context](const char* key) {
        std::string value;
        GetCompanyInfo(context, key, value);
        return value;
    };

    std::string block = "<" + prefix + "_BTXX>";
    block += element("_NSRSBH>", company("code"));
    block += element("_NSRMC>", company("name"));
    block += element("_SBRQ>", TodayYmd());
    block += element("_QSRQ>", startDate);
    block += element("_JZRQ>", endDate);
    block += element("_TBRQ>", TodayYmd());
    block += element("_SSHY>", company("industry"));
    block += element("_QYDJZCLX>", company("regkind"));
    block += element("_KHYH>", company("bank"));
    block += element("_ZH>", company("account"));
    block += element("_FRXM>", company("frdb"));
    block += element("_ZCDZ>", company("regaddress"));
    block += element("_YYDZ>", company("businessaddress"));
    block += element("_LXDH>", company("tel"));
    block += "</" + prefix + "_BTXX>";
    header = std::move(block);
}
