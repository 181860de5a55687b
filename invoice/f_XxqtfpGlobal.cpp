#include "invoice/f_XxqtfpGlobal.h"

#include "host/corlith_api.h"
#include "host/f_ModuleContext.h"
#include "invoice/f_GlobalUnit.h"

#include <algorithm>
#include <charconv>
#include <memory>
#include <optional>

namespace {

std::string DateLiteral(const std::string& connection, const std::string& date) {
    std::string literal;
    GetSQLDataTime(literal, connection, date);
    return literal;
}

char FlagDigit(const std::string& flag) { return vantrel::FlagSet(flag) ? '1' : '0'; }

// An empty buyer id is stored as one blank.
std::string_view StoredBuyer(const std::string& gfnsr) { return gfnsr.empty() ? std::string_view(" ") : gfnsr; }

std::string BuyerLiteral(const std::string& gfnsr) {
    std::string literal = "'";
    vantrel::AppendQuoteInner(literal, StoredBuyer(gfnsr));
    return literal + "'";
}

std::string SavedDate(const Txxqtfpxx& r) { return r.txsj.empty() ? vantrel::TodayText() : r.txsj; }

bool IsPlainInteger(const std::string& text) {
    std::size_t i = (!text.empty() && text[0] == '-') ? 1 : 0;
    if (i == text.size()) return false;
    for (; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    return true;
}

std::string SafeSub(const std::string& s, std::size_t pos, std::size_t n) {
    return pos < s.size() ? s.substr(pos, n) : std::string();
}

}  // namespace

namespace vantrel {

Txxqtfpxx MakeInvoiceTemplate(int32_t nextXh, const std::string& kjny, const std::string& today) {
    Txxqtfpxx r;
    r.xh = nextXh;
    r.kprq = SafeSub(kjny, 0, 4) + "-" + SafeSub(kjny, 4, 2) + "-10";
    r.fs = 0;
    r.je = 0;
    r.se = 0;
    r.lwfp = "0";
    r.txsj = today;
    r.sl = 17;
    return r;
}

std::string TodayText() { return GetHostNow().substr(0, 10); }

std::string BuildInsertSql(const TModuleContext& context, const Txxqtfpxx& r) {
    // Built once per stored row of an import: appended in place, the connection named once.
    const auto number = [](std::string& sql, long long value) {
        char buf[24];
        sql.append(buf, std::to_chars(buf, buf + sizeof buf, value).ptr);
    };
    const std::string& connection = context.connection;
    std::string date;
    std::string sql;
    sql.reserve(320);
    sql += " insert into ";
    sql += QualifyTableName("sb_xxfpb", context.subAppCode);
    sql += "(fplx,txsj,kprq,fs,je,se,sl,nsrsbh,gfnsr,jzjt,lwfp,ms,zfbz,sbssq,xh,sbwjm)  values ('";
    AppendQuoteInner(sql, r.fplx);
    sql += "',";
    sql += GetSQLDataTime(date, connection, SavedDate(r));
    sql += ',';
    sql += GetSQLDataTime(date, connection, r.kprq);
    sql += ',';
    number(sql, r.fs);
    sql += ',';
    sql += DecimalText(r.je);
    sql += ',';
    sql += DecimalText(r.se);
    sql += ',';
    number(sql, r.sl);
    sql += ", '";
    AppendQuoteInner(sql, context.taxpayer);
    sql += "','";
    AppendQuoteInner(sql, StoredBuyer(r.gfnsr));
    sql += "',";
    for (const std::string* flag : {&r.jzjt, &r.lwfp, &r.ms, &r.zfbz}) {
        sql += FlagDigit(*flag);
        sql += ',';
    }
    sql += '\'';
    AppendQuoteInner(sql, r.sbssq);
    sql += "',";
    number(sql, r.xh);
    sql += ",'')";
    return sql;
}

std::string BuildUpdateSql(const TModuleContext& context, const Txxqtfpxx& r) {
    return " update " + QualifyTableName("sb_xxfpb", context.subAppCode) + " set kprq=" + DateLiteral(context.connection, r.kprq) + ",fplx='" +
           QuoteInner(r.fplx) + "'," + " txsj=" + DateLiteral(context.connection, SavedDate(r)) + ",fs=" + std::to_string(r.fs) +
           "," + " je=" + DecimalText(r.je) + ",se=" + DecimalText(r.se) + "," + " jzjt=" + FlagDigit(r.jzjt) +
           ",lwfp=" + FlagDigit(r.lwfp) + "," + " ms=" + FlagDigit(r.ms) + ",zfbz=" + FlagDigit(r.zfbz) + "," +
           " gfnsr=" + BuyerLiteral(r.gfnsr) + ",sl=" + std::to_string(r.sl) + " where nsrsbh='" +
           QuoteInner(context.taxpayer) + "' and sbssq='" + QuoteInner(r.sbssq) + "'" + " and xh=" + std::to_string(r.xh);
}

std::string BuildListSql(const TModuleContext& context, const std::string& fplx, const std::string& gfnsr) {
    std::string sql = "select distinct fp.*,lx.mc as fplxmc from " + QualifyTableName("sb_xxfpb", context.subAppCode) +
                      " fp " + " left join " + QualifyTableName("sb_fplxb", context.subAppCode) +
                      " lx on fp.fplx = lx.fplx " + " where nsrsbh='" + QuoteInner(context.taxpayer) + "'" +
                      " and sbssq='" + QuoteInner(context.period) + "'";
    if (!fplx.empty()) {
        // Type codes are numbers and go in bare; anything else is quoted so it cannot end the clause.
        sql += " and fp.fplx=" + (IsPlainInteger(fplx) ? fplx : "'" + QuoteInner(fplx) + "'");
    }
    if (!gfnsr.empty()) sql += " and gfnsr like '%" + EscapeLikeText(gfnsr) + "%'";
    return sql;
}

std::string BuildDeleteHead(const TModuleContext& context) {
    return "delete from " + QualifyTableName("sb_xxfpb", context.subAppCode) + " where " + " nsrsbh= '" +
           QuoteInner(context.taxpayer) + "' and sbssq= '" + QuoteInner(context.period) + "' and ((1=0)";
}

std::string BuildDeleteSql(const std::string& head, const std::vector<int32_t>& group) {
    std::string sql = head;
    for (int32_t xh : group) sql += " or (xh=" + std::to_string(xh) + ")";
    return sql + ")";
}

std::vector<std::string> BuildDeleteStatements(const TModuleContext& context, const std::vector<int32_t>& xhs) {
    std::vector<std::string> statements;
    const std::string head = BuildDeleteHead(context);
    for (std::size_t from = 0; from < xhs.size(); from += kDeleteGroupSize) {
        const std::size_t to = std::min(xhs.size(), from + kDeleteGroupSize);
        statements.push_back(BuildDeleteSql(head, std::vector<int32_t>(xhs.begin() + from, xhs.begin() + to)));
    }
    return statements;
}

std::string BuildLargestXhSql(const TModuleContext& context, std::optional<int32_t> asked) {
    std::string sql = "select max(xh) as maxxh";
    if (asked) sql += ",count(case when xh=" + std::to_string(*asked) + " then 1 end) as taken";
    return sql + " from " + QualifyTableName("sb_xxfpb", context.subAppCode) + " where nsrsbh='" +
           QuoteInner(context.taxpayer) + "' and sbssq='" + QuoteInner(context.period) + "'";
}

std::string BuildTypeListSql(const TModuleContext& context) {
    return "select mc,fplx from " + QualifyTableName("sb_fplxb", context.subAppCode) + " order by fplx";
}

namespace {

// Where the list's fields stand in a result, looked up once for all its rows.
struct TRecordFields {
    int xh, fplx, fplxmc, kprq, fs, je, se, gfnsr, lwfp, ms, zfbz, jzjt, sl;

    explicit TRecordFields(const THostQuery& query)
        : xh(query.FieldIndex("xh")), fplx(query.FieldIndex("fplx")), fplxmc(query.FieldIndex("fplxmc")),
          kprq(query.FieldIndex("kprq")), fs(query.FieldIndex("fs")), je(query.FieldIndex("je")),
          se(query.FieldIndex("se")), gfnsr(query.FieldIndex("gfnsr")), lwfp(query.FieldIndex("lwfp")),
          ms(query.FieldIndex("ms")), zfbz(query.FieldIndex("zfbz")), jzjt(query.FieldIndex("jzjt")),
          sl(query.FieldIndex("sl")) {}

    // The query's current row into r, reusing r's strings; the fields the list does not
    // read are left as they are.
    void Read(const THostQuery& query, Txxqtfpxx& r) const {
        const auto text = [&query](int field, std::string& out) {
            if (field < 0) out.clear();
            else query.ReadStringAt(field, out);
        };
        const auto integer = [&query](int field) -> int64_t { return field < 0 ? 0 : query.Int64At(field); };
        const auto money = [&query](int field) -> double {
            return field < 0 ? 0.0 : static_cast<double>(query.CurrencyAt(field)) / 10000.0;
        };
        r.xh = static_cast<int32_t>(integer(xh));
        text(fplx, r.fplx);
        text(fplxmc, r.fplxmc);
        if (r.fplxmc.empty()) r.fplxmc = "未知发票";
        text(kprq, r.kprq);
        r.fs = integer(fs);
        r.je = money(je);
        r.se = money(se);
        text(gfnsr, r.gfnsr);
        text(lwfp, r.lwfp);
        text(ms, r.ms);
        text(zfbz, r.zfbz);
        text(jzjt, r.jzjt);
        r.sl = static_cast<int32_t>(integer(sl));
    }

    // A new record from the query's current row.
    Txxqtfpxx* Read(const THostQuery& query) const {
        auto r = std::make_unique<Txxqtfpxx>();
        Read(query, *r);
        return r.release();
    }
};

}  // namespace

void ReadInvoiceRecords(THostQuery& query, std::vector<Txxqtfpxx*>& list) {
    const TRecordFields fields(query);
    const int count = query.RecordCount();
    list.reserve(list.size() + static_cast<size_t>(count));
    query.First();
    for (int i = 0; i < count && !query.Eof(); ++i) {
        list.push_back(fields.Read(query));
        query.Next();
    }
}

bool ReadInvoiceList(const TModuleContext& context, const std::string& fplx, const std::string& gfnsr,
                     std::vector<Txxqtfpxx*>& list, std::string& error) {
    // Each row becomes its record as it is read, so a long list never sits in memory twice.
    THostQuery query;
    const size_t before = list.size();
    std::optional<TRecordFields> fields;
    const bool read = ExecADOQueryRows(context.connection, BuildListSql(context, fplx, gfnsr),
                                       &query, error, [&] {
                                           if (!fields) fields.emplace(query);
                                           std::unique_ptr<Txxqtfpxx> record(fields->Read(query));
                                           list.push_back(record.get());
                                           record.release();
                                           return true;
                                       });
    if (!read) {
        // A read that failed part-way adds nothing.
        for (size_t i = before; i < list.size(); ++i) delete list[i];
        list.resize(before);
    }
    return read;
}

bool ReadInvoiceRows(const TModuleContext& context, const std::string& fplx, const std::string& gfnsr,
                     const std::function<void(const Txxqtfpxx&)>& onRecord, std::string& error) {
    THostQuery query;
    std::optional<TRecordFields> fields;
    Txxqtfpxx record;
    return ExecADOQueryRows(context.connection, BuildListSql(context, fplx, gfnsr), &query,
                            error, [&] {
                                if (!fields) fields.emplace(query);
                                fields->Read(query, record);
                                onRecord(record);
                                return true;
                            });
}

}  // namespace vantrel
