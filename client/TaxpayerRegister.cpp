#include "TaxpayerRegister.h"

#include "ClientCommands.h"
#include "ClientOptions.h"
#include "ClientSession.h"
#include "DemoData.h"
#include "exchange/f_RegisterExchange.h"
#include "invoice/f_InvoiceWarnings.h"
#include "param/f_ParamString.h"

#include <QRegularExpression>

#include <algorithm>
#include <map>
#include <set>

using namespace Qt::StringLiterals;

namespace {

// The particulars' captions in a taxpayer file, in the order of TaxpayerParticularKeys().
const char16_t* const kCaptions[] = {u"纳税人识别号", u"纳税人名称", u"行业", u"登记注册类型", u"开户银行",
                                     u"银行账号", u"法定代表人", u"注册地址", u"生产经营地址", u"联系电话"};
const char16_t* const kKindsCaption = u"申报种类";
const char16_t* const kPeriodKindCaption = u"申报期限";

// "1"/"月", "2"/"季", "3"/"年"; 0 for anything else.
int PeriodKindOf(const QString& text) {
    const QString t = text.trimmed();
    if (t == u"1" || t == u"月" || t == u"按月") return 1;
    if (t == u"2" || t == u"季" || t == u"按季") return 2;
    if (t == u"3" || t == u"年" || t == u"按年") return 3;
    return 0;
}

// Kind codes as "01|02": separated by "|", "," or blanks in the file.
std::string KindsOf(const QString& text) {
    QStringList codes = text.split(QRegularExpression(u"[|,，、\\s]+"_s), Qt::SkipEmptyParts);
    return QStringToGbk(codes.join(u'|'));
}

struct TaxpayerFile {
    std::vector<corlith::TaxpayerRecord> records;
    QStringList errors, warnings;
};

// Every row of the file checked; the records are good only when errors is empty.
bool ReadTaxpayerFile(const QString& path, TaxpayerFile& file, QString& setupError) {
    vantrel::TExchangeTable table;
    std::string error;
    if (!vantrel::ReadRegisterFile(path, table, error)) {
        setupError = GbkToQString(error);
        return false;
    }
    // Which field each column holds; -1 for the kinds, -2 for the period kind.
    std::vector<int> columnField(table.header.size(), -3);
    std::set<int> present;
    QStringList unknown;
    for (std::size_t c = 0; c < table.header.size(); ++c) {
        const QString caption = GbkToQString(table.header[c]).trimmed();
        int field = -3;
        for (std::size_t p = 0; p < std::size(kCaptions); ++p)
            if (caption == QStringView(kCaptions[p])) field = static_cast<int>(p);
        if (caption == QStringView(kKindsCaption)) field = -1;
        if (caption == QStringView(kPeriodKindCaption)) field = -2;
        if (field == -3 && !caption.isEmpty()) unknown << caption;
        if (field != -3 && !present.insert(field).second) {
            setupError = u"第 %1 行：列“%2”出现了两次"_s.arg(table.headerLine).arg(caption);
            return false;
        }
        columnField[c] = field;
    }
    if (!present.count(0) || !present.count(1)) {
        setupError = u"纳税人文件缺少列“纳税人识别号”或“纳税人名称”（第 %1 行为表头）"_s.arg(table.headerLine);
        return false;
    }
    if (!unknown.isEmpty()) file.errors << u"第 %1 行：无法识别的列：%2"_s.arg(table.headerLine).arg(unknown.join(u"、"));

    std::map<std::string, int> firstLine;
    for (const vantrel::TExchangeRow& row : table.rows) {
        corlith::TaxpayerRecord r;
        const QString at = u"第 %1 行"_s.arg(row.line);
        bool periodOk = true;
        for (std::size_t c = 0; c < row.cells.size() && c < columnField.size(); ++c) {
            const QString text = GbkToQString(row.cells[c].text).trimmed();
            if (columnField[c] >= 0)
                r.*(TaxpayerParticularKeys()[static_cast<std::size_t>(columnField[c])].second) = QStringToGbk(text);
            if (columnField[c] == -1) r.kinds = KindsOf(text);
            if (columnField[c] == -2 && !text.isEmpty()) {
                r.periodKind = PeriodKindOf(text);
                periodOk = r.periodKind != 0;
                if (!periodOk) file.errors << u"%1 申报期限：“%2”应为 1（月）、2（季）或 3（年）"_s.arg(at, text);
            }
        }
        const QString id = GbkToQString(r.code);
        if (!ValidTaxpayerId(r.code)) {
            file.errors << u"%1 纳税人识别号：“%2”无效，应为 1 至 30 位字母或数字"_s.arg(at, id);
        } else if (const auto [it, fresh] = firstLine.emplace(r.code, row.line); !fresh) {
            file.errors << u"%1 纳税人识别号：%2 与第 %3 行重复"_s.arg(at, id).arg(it->second);
        } else if (vantrel::HasBadCheckDigit(r.code)) {
            file.warnings << u"提示：%1 纳税人识别号：%2 的校验码不正确，请核对"_s.arg(at, id);
        }
        if (r.name.empty()) file.errors << u"%1 纳税人名称：不能为空"_s.arg(at);
        if (!row.extra.empty()) file.errors << u"%1：表头以外的列有数据"_s.arg(at);
        if (periodOk) file.records.push_back(std::move(r));
    }
    if (table.rows.empty()) file.errors << u"纳税人文件中没有数据行"_s;
    return true;
}

int ImportTaxpayers(const ClientOptions& options, const ClientSession& session) {
    TaxpayerFile file;
    QString error;
    if (!ReadTaxpayerFile(options.taxpayerImport, file, error))
        return SetupError(u"无法读取纳税人文件 %1：%2"_s.arg(options.taxpayerImport, error));
    for (const QString& line : file.errors) PrintLine(stderr, line);
    for (const QString& line : file.warnings) PrintLine(stderr, line);
    if (!file.errors.isEmpty()) {
        PrintLine(stderr, u"纳税人文件有 %1 处错误，未登记任何纳税人"_s.arg(file.errors.size()));
        return kExitFailed;
    }
    std::string hostError;
    if (!corlith::SaveTaxpayers(session.connectionName(), file.records, hostError)) {
        PrintLine(stderr, u"登记纳税人失败，未登记任何纳税人：%1"_s.arg(GbkToQString(hostError)));
        return kExitFailed;
    }
    PrintLine(stdout, u"已登记 %1 个纳税人"_s.arg(file.records.size()));
    return kExitOk;
}

}  // namespace

bool RegisterDemoTaxpayers(const ClientSession& session, std::string& error) {
    corlith::TaxpayerRecord other = TaxpayerFromSession(session);
    other.code = DemoOtherCompany(session.company);
    other.name = "深圳市南岭贸易有限公司";
    other.industry = "批发业";
    other.regkind = "有限责任公司";
    other.bank = "中国建设银行深圳福田支行";
    other.account = "44201500100052612345";
    other.frdb = "林晓华";
    other.regaddress = "深圳市福田区华强北路1002号";
    other.businessaddress = other.regaddress;
    other.tel = "0755-83391234";
    std::vector<corlith::TaxpayerRecord> records{other};
    if (!session.particularsUnknown) records.insert(records.begin(), TaxpayerFromSession(session));
    return corlith::SaveTaxpayers(session.connectionName(), records, error);
}

int RunTaxpayers(const ClientOptions& options) {
    ClientSession session;
    QString error;
    if (!PrepareSession(options, session, error) || !InstallSession(session, 0, error)) return SetupError(error);
    if (!options.taxpayerImport.isEmpty()) {
        const int code = ImportTaxpayers(options, session);
        corlith::CloseConnections();
        return code;
    }

    std::vector<corlith::TaxpayerRecord> records;
    std::string hostError;
    THostQuery counts;
    if (!corlith::ReadTaxpayers(session.connectionName(), records, hostError) ||
        !ExecADOQueryMsg(session.connectionName(),
                         "select nsrsbh, sbssq, count(*) as n from sb" + session.subAppCode +
                             "_xxfpb group by nsrsbh, sbssq order by nsrsbh, sbssq",
                         &counts, hostError, 1, 0)) {
        corlith::CloseConnections();
        return SetupError(u"无法读取纳税人登记：%1"_s.arg(GbkToQString(hostError)));
    }
    std::map<std::string, std::vector<std::pair<std::string, int64_t>>> periods;
    for (; !counts.Eof(); counts.Next())
        periods[counts.FieldAsString("nsrsbh")].emplace_back(counts.FieldAsString("sbssq"), counts.FieldAsInt64("n"));
    corlith::CloseConnections();

    PrintListing({"纳税人识别号", "纳税人名称", "所属期", "发票数"}, options.csv);
    for (const corlith::TaxpayerRecord& r : records) {
        const auto it = periods.find(r.code);
        if (it == periods.end()) {
            PrintListing({r.code, r.name, "", "0"}, options.csv);
            continue;
        }
        for (const auto& [period, n] : it->second) PrintListing({r.code, r.name, period, std::to_string(n)}, options.csv);
    }
    return kExitOk;
}
