// The invoice record and every statement on the invoice table.
#pragma once

#include <cstdint>
#include <string>

struct Txxqtfpxx {
    int32_t xh = 0;
    std::string fplx;
    std::string fplxmc;
    std::string kprq;
    int64_t fs = 0;
    double je = 0;
    double se = 0;
    std::string gfnsr;
    std::string lwfp;
    std::string ms;
    std::string zfbz;
    std::string jzjt;
    std::string txsj;
    int32_t sl = 0;
    std::string sbssq;
};

// The template of a new invoice for period kjny ("yyyyMM..."), today as "yyyy-MM-dd".
Txxqtfpxx MakeInvoiceTemplate(int32_t nextXh, const std::string& kjny, const std::string& today);
// Today as "yyyy-MM-dd".
std::string TodayText();

std::string BuildInsertSql(const Txxqtfpxx& r, const std::string& nsrsbh);
std::string BuildUpdateSql(const Txxqtfpxx& r, const std::string& nsrsbh);
std::string BuildListSql(const std::string& nsrsbh, const std::string& kjny,
                         const std::string& fplx, const std::string& gfnsr);
std::string BuildDeleteHead(const std::string& nsrsbh, const std::string& kjny);
std::string BuildTypeListSql();
