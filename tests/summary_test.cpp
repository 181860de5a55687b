// The summary document: its selects, its exact text, every cell against an independent
// computation, its failure paths, and CreateQtfp through the real plug-in.
#include "context/f_ModuleContext.h"
#include "summary/f_QtfpSummary.h"

#include "host/corlith_api.h"
#include "host/f_HostTransaction.h"
#include "host/module_exports.h"
#include "param/f_ParamString.h"
#include "support/host_fixture.h"

#include <QCoreApplication>
#include <QDate>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <dlfcn.h>


#include <cstdint>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// ---- what the document must hold, written out independently of the module ----------------

constexpr int kAnyType = 0;
constexpr int kNotType3 = -3;

// One cell line: its measure ('J' amount, 'S' tax, 'F' number of invoices) and the invoices
// it sums. A flag of -1 and an empty rate list mean "any".
struct CellRule {
    const char* name;
    char measure;
    int ms, jzjt, lwfp, zfbz;
    int fplx;
    std::vector<int> rates;
};

const std::vector<CellRule>& Rules() {
    static const std::vector<CellRule> rules = {
    {"SB_XXQTFPMX_ZBJE_6_12", 'J', 0, 0, 0, 0, kNotType3, {17, 13}},
    {"SB_XXQTFPMX_ZBJE_6_13", 'J', 0, 0, 1, 0, kNotType3, {17, 13}},
    {"SB_XXQTFPMX_ZBJE_6_14", 'J', 0, 0, -1, 0, 3, {17, 13}},
    {"SB_XXQTFPMX_ZBJE_6_15", 'J', 0, 0, 0, 0, kAnyType, {6, 4}},
    {"SB_XXQTFPMX_ZBJE_6_16", 'J', 0, 0, 0, 0, 3, {6, 4}},
    {"SB_XXQTFPMX_ZBJE_6_19", 'J', 1, 0, 0, 0, kAnyType, {}},
    {"SB_XXQTFPMX_ZBJE_6_20", 'J', 1, 0, 1, 0, kAnyType, {}},
    {"SB_XXQTFPMX_ZBJE_6_21", 'S', 0, 0, -1, 0, kAnyType, {17, 13}},
    {"SB_XXQTFPMX_ZBJE_9_12", 'J', 0, 1, 0, 0, kNotType3, {17, 13}},
    {"SB_XXQTFPMX_ZBJE_9_13", 'J', 0, 1, 1, 0, kNotType3, {17, 13}},
    {"SB_XXQTFPMX_ZBJE_9_14", 'J', 0, 1, -1, 0, 3, {17, 13}},
    {"SB_XXQTFPMX_ZBJE_9_15", 'J', 0, 1, 0, 0, kAnyType, {6, 4}},
    {"SB_XXQTFPMX_ZBJE_9_16", 'J', 0, 1, 0, 0, 3, {6, 4}},
    {"SB_XXQTFPMX_ZBSE_9_21", 'S', 0, 1, -1, 0, kAnyType, {17, 13}},
    {"SB_XXQTFPMX_ZBJE_6_31", 'S', 0, 0, -1, 0, kNotType3, {6, 4}},
    {"SB_XXQTFPMX_ZBJE_6_32", 'S', 0, 0, -1, 0, 3, {6, 4}},
    {"SB_XXQTFPMX_ZBJE_9_21", 'S', 0, 1, -1, 0, kAnyType, {17, 13}},
    {"SB_XXQTFPMX_ZBJE_9_31", 'S', 0, 1, -1, 0, kNotType3, {6, 4}},
    {"SB_XXQTFPMX_ZBJE_9_32", 'S', 0, 1, -1, 0, 3, {6, 4}},
    {"SB_XXQTFPMX_ZBJE_9_32", 'S', 0, 1, -1, 0, 3, {6, 4}},
    {"SB_XXQTFPMX_FB1FS_3_10", 'F', 0, -1, 0, -1, 1, {17}},
    {"SB_XXQTFPMX_FB1JE_4_10", 'J', 0, -1, 0, 0, 1, {17}},
    {"SB_XXQTFPMX_FB1SE_5_10", 'S', 0, -1, 0, 0, 1, {17}},
    {"SB_XXQTFPMX_FB1JE_4_11", 'J', 0, -1, 0, 0, 2, {17}},
    {"SB_XXQTFPMX_FB1SE_5_11", 'S', 0, -1, 0, 0, 2, {17}},
    {"SB_XXQTFPMX_FB1JE_4_13", 'J', 0, -1, 0, 0, 3, {17}},
    {"SB_XXQTFPMX_FB1SE_5_13", 'S', 0, -1, 0, 0, 3, {17}},
    {"SB_XXQTFPMX_FB1FS_6_10", 'F', 0, -1, 0, -1, 1, {13}},
    {"SB_XXQTFPMX_FB1JE_7_10", 'J', 0, -1, 0, 0, 1, {13}},
    {"SB_XXQTFPMX_FB1SE_9_10", 'S', 0, -1, 0, 0, 1, {13}},
    {"SB_XXQTFPMX_FB1JE_7_11", 'J', 0, -1, 0, 0, 2, {13}},
    {"SB_XXQTFPMX_FB1SE_9_11", 'S', 0, -1, 0, 0, 2, {13}},
    {"SB_XXQTFPMX_FB1JE_7_13", 'J', 0, -1, 0, 0, 3, {13}},
    {"SB_XXQTFPMX_FB1SE_9_13", 'S', 0, -1, 0, 0, 3, {13}},
    {"SB_XXQTFPMX_FB1FS_10_10", 'F', 0, -1, 1, -1, 1, {17, 13}},
    {"SB_XXQTFPMX_FB1JE_11_10", 'J', 0, -1, 1, 0, 1, {17, 13}},
    {"SB_XXQTFPMX_FB1SE_12_10", 'S', 0, -1, 1, 0, 1, {17, 13}},
    {"SB_XXQTFPMX_FB1JE_11_11", 'J', 0, -1, 1, 0, 2, {17, 13}},
    {"SB_XXQTFPMX_FB1SE_12_11", 'S', 0, -1, 1, 0, 2, {17, 13}},
    {"SB_XXQTFPMX_FB1JE_11_13", 'J', 0, -1, 1, 0, 3, {17, 13}},
    {"SB_XXQTFPMX_FB1SE_12_13", 'S', 0, -1, 1, 0, 3, {17, 13}},
    {"SB_XXQTFPMX_FB1FS_3_20", 'F', 0, -1, -1, -1, 1, {6}},
    {"SB_XXQTFPMX_FB1JE_4_20", 'J', 0, -1, -1, 0, 1, {6}},
    {"SB_XXQTFPMX_FB1SE_5_20", 'S', 0, -1, -1, 0, 1, {6}},
    {"SB_XXQTFPMX_FB1JE_4_21", 'J', 0, -1, -1, 0, 2, {6}},
    {"SB_XXQTFPMX_FB1SE_5_21", 'S', 0, -1, -1, 0, 2, {6}},
    {"SB_XXQTFPMX_FB1JE_4_23", 'J', 0, -1, -1, 0, 3, {6}},
    {"SB_XXQTFPMX_FB1SE_5_23", 'S', 0, -1, -1, 0, 3, {6}},
    {"SB_XXQTFPMX_FB1FS_7_20", 'F', 0, -1, -1, -1, 1, {4}},
    {"SB_XXQTFPMX_FB1JE_8_20", 'J', 0, -1, -1, 0, 1, {4}},
    {"SB_XXQTFPMX_FB1SE_10_20", 'S', 0, -1, -1, 0, 1, {4}},
    {"SB_XXQTFPMX_FB1JE_8_21", 'J', 0, -1, -1, 0, 2, {4}},
    {"SB_XXQTFPMX_FB1SE_10_21", 'S', 0, -1, -1, 0, 2, {4}},
    {"SB_XXQTFPMX_FB1JE_8_23", 'J', 0, -1, -1, 0, 3, {4}},
    {"SB_XXQTFPMX_FB1SE_10_23", 'S', 0, -1, -1, 0, 3, {4}},
    {"SB_XXQTFPMX_FB1FS_3_29", 'F', 1, -1, 0, -1, 1, {}},
    {"SB_XXQTFPMX_FB1JE_4_29", 'J', 1, -1, 0, 0, 1, {}},
    {"SB_XXQTFPMX_FB1JE_4_30", 'J', 1, -1, 0, 0, 2, {}},
    {"SB_XXQTFPMX_FB1FS_7_29", 'F', 1, -1, 1, -1, 1, {}},
    {"SB_XXQTFPMX_FB1JE_8_29", 'J', 1, -1, 1, 0, 1, {}},
    {"SB_XXQTFPMX_FB1JE_8_30", 'J', 1, -1, 1, 0, 2, {}},
    };
    return rules;
}

const std::vector<std::string>& ExpectedSelects() {
    static const std::vector<std::string> selects = {
        "select sum(je) as zje from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and ms=0 and jzjt=0 and lwfp=0 and zfbz=0 and fplx<>3 and (sl=17 or sl=13)",
        "select sum(je) as zje from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and ms=0 and jzjt=0 and lwfp=1 and zfbz=0 and fplx<>3 and (sl=17 or sl=13)",
        "select sum(je) as zje from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and ms=0 and jzjt=0 and zfbz=0 and fplx=3 and (sl=17 or sl=13)",
        "select sum(je) as zje from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and ms=0 and jzjt=0 and lwfp=0 and zfbz=0 and (sl=6 or sl=4)",
        "select sum(je) as zje from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and ms=0 and jzjt=0 and lwfp=0 and zfbz=0 and fplx=3 and (sl=6 or sl=4)",
        "select sum(je) as zje from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and ms=1 and jzjt=0 and lwfp=0 and zfbz=0",
        "select sum(je) as zje from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and ms=1 and jzjt=0 and lwfp=1 and zfbz=0",
        "select sum(se) as zse from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and ms=0 and jzjt=0 and zfbz=0 and (sl=17 or sl=13)",
        "select sum(je) as zje from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and ms=0 and jzjt=1 and lwfp=0 and zfbz=0 and fplx<>3 and (sl=17 or sl=13)",
        "select sum(je) as zje from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and ms=0 and jzjt=1 and lwfp=1 and zfbz=0 and fplx<>3 and (sl=17 or sl=13)",
        "select sum(je) as zje from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and ms=0 and jzjt=1 and zfbz=0 and fplx=3 and (sl=17 or sl=13)",
        "select sum(je) as zje from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and ms=0 and jzjt=1 and lwfp=0 and zfbz=0 and (sl=6 or sl=4)",
        "select sum(je) as zje from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and ms=0 and jzjt=1 and lwfp=0 and zfbz=0 and fplx=3 and (sl=6 or sl=4)",
        "select sum(se) as zse from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and ms=0 and jzjt=1 and zfbz=0 and (sl=17 or sl=13)",
        "select sum(se) as zse from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and ms=0 and jzjt=0 and zfbz=0 and fplx<>3 and (sl=6 or sl=4)",
        "select sum(se) as zse from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and fplx=3 and ms=0 and jzjt=0 and zfbz=0 and (sl=6 or sl=4)",
        "select sum(se) as zse from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and ms=0 and jzjt=1 and zfbz=0 and (sl=17 or sl=13)",
        "select sum(se) as zse from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and ms=0 and jzjt=1 and zfbz=0 and fplx<>3 and (sl=6 or sl=4)",
        "select sum(se) as zse from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and ms=0 and jzjt=1 and zfbz=0 and fplx=3 and (sl=6 or sl=4)",
        "select sum(se) as zse from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and ms=0 and jzjt=1 and zfbz=0 and fplx=3 and (sl=6 or sl=4)",
        "select sum(fs) as zfs from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and fplx=1 and lwfp=0 and ms=0 and sl=17",
        "select sum(je) as zje,sum(se) as zse from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and fplx=1 and zfbz=0 and lwfp=0 and ms=0 and sl=17",
        "select sum(je) as zje,sum(se) as zse from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and fplx=2 and zfbz=0 and lwfp=0 and ms=0 and sl=17",
        "select sum(je) as zje,sum(se) as zse from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and fplx=3 and zfbz=0 and lwfp=0 and ms=0 and sl=17",
        "select sum(fs) as zfs from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and fplx=1 and lwfp=0 and ms=0 and sl=13",
        "select sum(je) as zje,sum(se) as zse from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and fplx=1 and zfbz=0 and lwfp=0 and ms=0 and sl=13",
        "select sum(je) as zje,sum(se) as zse from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and fplx=2 and zfbz=0 and lwfp=0 and ms=0 and sl=13",
        "select sum(je) as zje,sum(se) as zse from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and fplx=3 and zfbz=0 and lwfp=0 and ms=0 and sl=13",
        "select sum(fs) as zfs from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and fplx=1 and lwfp=1 and ms=0 and (sl=17 or sl=13)",
        "select sum(je) as zje,sum(se) as zse from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and fplx=1 and zfbz=0 and lwfp=1 and ms=0 and (sl=17 or sl=13)",
        "select sum(je) as zje,sum(se) as zse from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and fplx=2 and zfbz=0 and lwfp=1 and ms=0 and (sl=17 or sl=13)",
        "select sum(je) as zje,sum(se) as zse from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and fplx=3 and zfbz=0 and lwfp=1 and ms=0 and (sl=17 or sl=13)",
        "select sum(fs) as zfs from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and fplx=1 and ms=0 and sl=6",
        "select sum(je) as zje,sum(se) as zse from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and fplx=1 and zfbz=0 and ms=0 and sl=6",
        "select sum(je) as zje,sum(se) as zse from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and fplx=2 and zfbz=0 and ms=0 and sl=6",
        "select sum(je) as zje,sum(se) as zse from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and fplx=3 and zfbz=0 and ms=0 and sl=6",
        "select sum(fs) as zfs from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and fplx=1 and ms=0 and sl=4",
        "select sum(je) as zje,sum(se) as zse from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and fplx=1 and zfbz=0 and ms=0 and sl=4",
        "select sum(je) as zje,sum(se) as zse from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and fplx=2 and zfbz=0 and ms=0 and sl=4",
        "select sum(je) as zje,sum(se) as zse from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and fplx=3 and zfbz=0 and ms=0 and sl=4",
        "select sum(fs) as zfs from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and fplx=1 and lwfp=0 and ms=1",
        "select sum(je) as zje from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and fplx=1 and zfbz=0 and lwfp=0 and ms=1",
        "select sum(je) as zje from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and fplx=2 and zfbz=0 and lwfp=0 and ms=1",
        "select sum(fs) as zfs from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and fplx=1 and lwfp=1 and ms=1",
        "select sum(je) as zje from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and fplx=1 and zfbz=0 and lwfp=1 and ms=1",
        "select sum(je) as zje from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611' and fplx=2 and zfbz=0 and lwfp=1 and ms=1",
    };
    return selects;
}

struct Invoice {
    std::string nsrsbh = testhost::kCompany;
    std::string sbssq = testhost::kPeriod;
    int fplx = 1;
    int sl = 17;
    long long fs = 1;
    long long jeCents = 10000;
    long long seCents = 1700;
    int jzjt = 0, lwfp = 0, ms = 0, zfbz = 0;
};

bool FlagMatches(int wanted, int value) { return wanted < 0 || wanted == value; }

bool Matches(const CellRule& rule, const Invoice& inv) {
    if (inv.nsrsbh != testhost::kCompany || inv.sbssq != testhost::kPeriod) return false;
    if (!FlagMatches(rule.ms, inv.ms) || !FlagMatches(rule.jzjt, inv.jzjt) ||
        !FlagMatches(rule.lwfp, inv.lwfp) || !FlagMatches(rule.zfbz, inv.zfbz))
        return false;
    if (rule.fplx == kNotType3 && inv.fplx == 3) return false;
    if (rule.fplx > 0 && inv.fplx != rule.fplx) return false;
    if (!rule.rates.empty()) {
        bool found = false;
        for (int r : rule.rates) found = found || r == inv.sl;
        if (!found) return false;
    }
    return true;
}

std::string CentsText(long long cents) {
    const long long magnitude = cents < 0 ? -cents : cents;
    char text[64];
    std::snprintf(text, sizeof text, "%s%lld.%02lld", cents < 0 ? "-" : "", magnitude / 100, magnitude % 100);
    return text;
}

std::string ExpectedValue(const CellRule& rule, const std::vector<Invoice>& register_) {
    long long total = 0;
    for (const Invoice& inv : register_) {
        if (!Matches(rule, inv)) continue;
        total += rule.measure == 'F' ? inv.fs : rule.measure == 'J' ? inv.jeCents : inv.seCents;
    }
    return rule.measure == 'F' ? std::to_string(total) : CentsText(total);
}

// The fixture's particulars, monthly period 202611.
std::string FixtureHeader() { return testhost::FixtureHeader("20261101", "20261130"); }

// The whole document with the given line values (one per rule), byte for byte.
std::string Document(const std::vector<std::string>& values) {
    std::string doc = "<?xml version=\"1.0\" encoding=\"GBK\"?><DZSBB>\r\n<SB_XXQTFPMX>\r\n";
    doc += FixtureHeader() + "<SB_XXQTFPMX_HJXX>\r\n";
    for (std::size_t i = 0; i < Rules().size(); ++i) {
        const std::string name = Rules()[i].name;
        const char* indent = name == "SB_XXQTFPMX_ZBJE_6_12" ? " " : name == "SB_XXQTFPMX_FB1JE_4_23" ? "" : "  ";
        doc += indent + ("<" + name + ">") + values[i] + "</" + name + ">\r\n";
    }
    doc += "</SB_XXQTFPMX_HJXX></SB_XXQTFPMX>\r\n</DZSBB>\r\n\r\n";
    return doc;
}

std::string ZeroValue(const CellRule& rule) { return rule.measure == 'F' ? "0" : "0.00"; }

// Every cell zero except the named ones (a name stands for each of its lines).
std::string DocumentWith(const std::map<std::string, std::string>& cells) {
    std::vector<std::string> values;
    for (const CellRule& rule : Rules()) {
        auto it = cells.find(rule.name);
        values.push_back(it != cells.end() ? it->second : ZeroValue(rule));
    }
    return Document(values);
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::string FormNotFoundText() {
    std::string text;
    GetMsg(5050028, std::string(), 1, text);
    return text;
}

class SummaryTest : public testhost::HostFixture {
protected:
    void Add(const Invoice& inv) {
        testhost::InvoiceRow row;
        row.nsrsbh = inv.nsrsbh;
        row.sbssq = inv.sbssq;
        row.xh = ++xh_;
        row.fplx = inv.fplx;
        row.fs = inv.fs;
        row.je = static_cast<double>(inv.jeCents) / 100.0;
        row.se = static_cast<double>(inv.seCents) / 100.0;
        row.sl = inv.sl;
        row.jzjt = inv.jzjt;
        row.lwfp = inv.lwfp;
        row.ms = inv.ms;
        row.zfbz = inv.zfbz;
        InsertInvoice(row);
    }

    std::string Text() {
        std::string text, error;
        EXPECT_TRUE(BuildSummaryText(vantrel::ModuleContextFromHost(), text, error)) << error;
        return text;
    }

    // Names of the files in the test's folder other than the database.
    std::set<std::string> FolderFiles() {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("test.db", 0) != 0 && name != "sub") names.insert(name);
        }
        return names;
    }

    int xh_ = 0;
};

// ---- statements -------------------------------------------------------------------------

TEST_F(SummaryTest, RunsTheFortySixSelectsInCatalogueOrder) {
    Text();
    EXPECT_EQ(corlith::test::StatementsOnly(), ExpectedSelects());
}

TEST_F(SummaryTest, QuotesInTaxpayerAndPeriodAreDoubled) {
    SetCatalogue(0);  // no period dates, so any period text is accepted by the header
    GetCurSubAppVo()->SetText("curcompany", "O'Brien");
    GetCurSubAppVo()->SetText("curKJNY", "2026'1");
    Exec("insert into sb07_xxfpb(nsrsbh,sbssq,xh,fplx,fs,je,se,sl,jzjt,lwfp,ms,zfbz) "
         "values ('O''Brien','2026''1',1,1,2,100,17,17,0,0,0,0)");
    corlith::test::ClearStatementLog();
    const std::string text = Text();
    const std::vector<std::string> log = corlith::test::StatementsOnly();
    ASSERT_EQ(log.size(), 46u);
    EXPECT_EQ(log[0], "select sum(je) as zje from sb07_xxfpb where nsrsbh='O''Brien' and sbssq='2026''1'"
                      " and ms=0 and jzjt=0 and lwfp=0 and zfbz=0 and fplx<>3 and (sl=17 or sl=13)");
    EXPECT_NE(text.find(" <SB_XXQTFPMX_ZBJE_6_12>100.00</SB_XXQTFPMX_ZBJE_6_12>"), std::string::npos);
    EXPECT_NE(text.find("<SB_XXQTFPMX_FB1FS_3_10>2</SB_XXQTFPMX_FB1FS_3_10>"), std::string::npos);
}

TEST_F(SummaryTest, EverySelectReadsOnlyACoveringIndexNarrowedBeyondThePeriod) {
    VANTREL_SKIP_ON_SERVER("the plan is read in SQLite's own words");
    // A scan of the whole table would make the summary's cost grow with every other period,
    // a lookup of each row in the table would make it grow with the table's size, and a
    // search on the period alone would read every period row 46 times.
    for (const std::string& sql : ExpectedSelects()) {
        THostQuery q;
        std::string error;
        ASSERT_TRUE(ExecADOQueryMsg(testhost::kConnection, "explain query plan " + sql, &q, error, 1, 0)) << error;
        ASSERT_EQ(q.RecordCount(), 1) << sql;
        const std::string detail = q.FieldAsString("detail");
        EXPECT_EQ(detail.rfind("SEARCH sb07_xxfpb USING COVERING INDEX ix_sb07_xxfpb_", 0), 0u) << detail;
        EXPECT_NE(detail.find("(nsrsbh=? AND sbssq=? AND "), std::string::npos) << detail;
    }
}

// ---- the exact document -----------------------------------------------------------------

TEST_F(SummaryTest, EmptyPeriodGivesEveryCellAsZero) {
    Invoice other;
    other.sbssq = "202610";
    Add(other);
    const std::string text = Text();
    EXPECT_EQ(text, DocumentWith({}));
    // The doubled cell stands twice, on consecutive lines.
    const std::string line = "  <SB_XXQTFPMX_ZBJE_9_32>0.00</SB_XXQTFPMX_ZBJE_9_32>\r\n";
    EXPECT_NE(text.find(line + line), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 12), "</DZSBB>\r\n\r\n");
}

// One invoice at a time against the cells it reaches: a plain one at 17 %, a voided one (its
// number only), a levy-and-refund 未开具发票 at 6 %, a tax-free one whatever its rate, and rates
// the form has no cell for.
TEST_F(SummaryTest, SingleInvoicesReachTheirCells) {
    const std::pair<Invoice, std::map<std::string, std::string>> cases[] = {
        {Invoice{},
         {{"SB_XXQTFPMX_ZBJE_6_12", "100.00"}, {"SB_XXQTFPMX_FB1JE_4_10", "100.00"}, {"SB_XXQTFPMX_ZBJE_6_21", "17.00"},
          {"SB_XXQTFPMX_FB1SE_5_10", "17.00"}, {"SB_XXQTFPMX_FB1FS_3_10", "1"}}},
        {Invoice{.fs = 3, .zfbz = 1}, {{"SB_XXQTFPMX_FB1FS_3_10", "3"}}},
        {Invoice{.fplx = 3, .sl = 6, .jeCents = 5000, .seCents = 300, .jzjt = 1},
         {{"SB_XXQTFPMX_ZBJE_9_15", "50.00"}, {"SB_XXQTFPMX_ZBJE_9_16", "50.00"}, {"SB_XXQTFPMX_ZBJE_9_32", "3.00"},
          {"SB_XXQTFPMX_FB1JE_4_23", "50.00"}, {"SB_XXQTFPMX_FB1SE_5_23", "3.00"}}},
        {Invoice{.fs = 2, .ms = 1},
         {{"SB_XXQTFPMX_ZBJE_6_19", "100.00"}, {"SB_XXQTFPMX_FB1FS_3_29", "2"}, {"SB_XXQTFPMX_FB1JE_4_29", "100.00"}}},
        {Invoice{.sl = 0}, {}},
        {Invoice{.sl = 3}, {}},
    };
    for (const auto& [invoice, cells] : cases) {
        Exec("delete from sb07_xxfpb");
        Add(invoice);
        EXPECT_EQ(Text(), DocumentWith(cells)) << cells.size() << " cells";
    }
}

TEST_F(SummaryTest, SumsAreWrittenWithTwoDecimals) {
    Invoice a;
    a.jeCents = 123450;  // 1234.5
    a.seCents = -50;     // -0.5
    a.fs = 12;
    Add(a);
    // Sums that are zero to the cent are written without a sign, even when the floating
    // point sum lands just below zero.
    Invoice b;
    b.fplx = 2;
    b.jeCents = -10;
    Add(b);
    b.jeCents = -20;
    Add(b);
    b.jeCents = 30;
    Add(b);
    const std::string text = Text();
    EXPECT_NE(text.find("<SB_XXQTFPMX_FB1JE_4_10>1234.50</SB_XXQTFPMX_FB1JE_4_10>"), std::string::npos);
    EXPECT_NE(text.find("<SB_XXQTFPMX_FB1SE_5_10>-0.50</SB_XXQTFPMX_FB1SE_5_10>"), std::string::npos);
    EXPECT_NE(text.find("<SB_XXQTFPMX_FB1FS_3_10>12</SB_XXQTFPMX_FB1FS_3_10>"), std::string::npos);
    EXPECT_NE(text.find("<SB_XXQTFPMX_FB1JE_4_11>0.00</SB_XXQTFPMX_FB1JE_4_11>"), std::string::npos);
    EXPECT_EQ(text.find("-0.00"), std::string::npos);
}

TEST_F(SummaryTest, RandomRegistersMatchAnIndependentSum) {
    for (unsigned seed : {1u, 7u, 42u, 2026u}) {
        Exec("delete from sb07_xxfpb");
        std::mt19937 gen(seed);
        std::vector<Invoice> register_;
        std::string error;
        THostTransaction transaction(testhost::kConnection, error);
        ASSERT_TRUE(transaction.Active()) << error;
        for (const testhost::InvoiceRow& row : testhost::RandomRegister(gen, 150)) {
            register_.push_back(Invoice{row.nsrsbh, row.sbssq, row.fplx, row.sl, row.fs, std::llround(row.je * 100),
                                        std::llround(row.se * 100), row.jzjt, row.lwfp, row.ms, row.zfbz});
            Add(register_.back());
        }
        ASSERT_TRUE(transaction.Commit(error)) << error;
        std::vector<std::string> values;
        for (const CellRule& rule : Rules()) values.push_back(ExpectedValue(rule, register_));
        EXPECT_EQ(Text(), Document(values)) << "seed " << seed;
    }
}

// ---- failure paths ------------------------------------------------------------------------

TEST_F(SummaryTest, ChinesePathNamesTheFileInTheLocaleEncoding) {
    // The host hands the path over in GBK; the folder on disk is named in UTF-8.
    const fs::path folder = dir_ / reinterpret_cast<const char*>(u8"汇总");
    fs::create_directory(folder);
    const std::string gbkPath = dir_.string() + "/汇总/申报表.xml";
    std::string error;
    ASSERT_TRUE(BuildSummaryDocument(vantrel::ModuleContextFromHost(), gbkPath, error)) << error;
    EXPECT_EQ(ReadFile(folder / reinterpret_cast<const char*>(u8"申报表.xml")), Text());
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

TEST_F(SummaryTest, MissingFormRunsNoSelectAndTouchesNoFile) {
    GetCurSubAppVo()->SetObject("DeclareTypeInfo", std::make_shared<TAryDeclareTypeInfo>());
    const fs::path out = dir_ / "summary.xml";
    std::string error;
    EXPECT_FALSE(BuildSummaryDocument(vantrel::ModuleContextFromHost(), out.string(), error));
    EXPECT_FALSE(FormNotFoundText().empty());
    EXPECT_EQ(error, FormNotFoundText());
    EXPECT_TRUE(corlith::test::StatementsOnly().empty());
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(SummaryTest, ThirdSelectFailingKeepsTheEarlierFile) {
    const fs::path out = dir_ / "summary.xml";
    WriteFile(out, "earlier content");
    corlith::test::FailAt(corlith::test::FailPoint::Statement, 3, "磁盘读取失败");
    std::string error;
    EXPECT_FALSE(BuildSummaryDocument(vantrel::ModuleContextFromHost(), out.string(), error));
    EXPECT_EQ(error, "磁盘读取失败");
    EXPECT_EQ(corlith::test::StatementsOnly().size(), 3u);
    EXPECT_EQ(ReadFile(out), "earlier content");
    EXPECT_EQ(FolderFiles(), std::set<std::string>{"summary.xml"});

    corlith::test::ClearFailures();
    corlith::test::FailAt(corlith::test::FailPoint::Statement, 3, "磁盘读取失败");
    const fs::path fresh = dir_ / "fresh.xml";
    EXPECT_FALSE(BuildSummaryDocument(vantrel::ModuleContextFromHost(), fresh.string(), error));
    EXPECT_FALSE(fs::exists(fresh));
}

TEST_F(SummaryTest, HeaderValuesWithMarkupCharactersParseAndReadBack) {
    const std::string name = "A&B<C>贸易有限公司";
    // A crafted name that would otherwise close its element and add a cell of its own.
    const std::string crafted = "X</SB_XXQTFPMX_FRXM><SB_XXQTFPMX_ZBJE_6_12>999</SB_XXQTFPMX_ZBJE_6_12><SB_XXQTFPMX_FRXM>";
    GetCurSubAppVo()->SetText("jbxx", "code=91110000MA001TEST;name=" + EncodeParamValue(name) +
                                          ";frdb=" + EncodeParamValue(crafted) + ";tel=010>1&2");
    const std::string text = Text();
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8);
    ASSERT_TRUE(parsed) << parsed.description() << " at " << parsed.offset;
    const pugi::xml_node header = doc.child("DZSBB").child("SB_XXQTFPMX").child("SB_XXQTFPMX_BTXX");
    EXPECT_EQ(std::string(header.child_value("SB_XXQTFPMX_NSRMC")), name);
    EXPECT_EQ(std::string(header.child_value("SB_XXQTFPMX_FRXM")), crafted);
    EXPECT_EQ(std::string(header.child_value("SB_XXQTFPMX_LXDH")), "010>1&2");
    EXPECT_TRUE(header.child("SB_XXQTFPMX_ZBJE_6_12").empty());
    const pugi::xml_node sums = doc.child("DZSBB").child("SB_XXQTFPMX").child("SB_XXQTFPMX_HJXX");
    EXPECT_EQ(std::string(sums.child_value("SB_XXQTFPMX_ZBJE_6_12")), "0.00");
}

TEST_F(SummaryTest, SumsThatCannotBeWrittenFailInsteadOfWritingTheDocument) {
    const fs::path out = dir_ / "summary.xml";
    WriteFile(out, "earlier content");
    struct Case {
        const char* what;
        testhost::InvoiceRow row;
    };
    testhost::InvoiceRow huge;
    huge.je = 1e308;  // two of them sum to infinity
    testhost::InvoiceRow many;
    many.fs = 2000000000;  // two of them pass the 32-bit count
    for (const auto& [what, row] : {Case{"amount", huge}, Case{"count", many}}) {
        Exec("delete from sb07_xxfpb");
        for (int xh : {1, 2}) {
            testhost::InvoiceRow r = row;
            r.xh = xh;
            InsertInvoice(r);
        }
        std::string error;
        EXPECT_FALSE(BuildSummaryDocument(vantrel::ModuleContextFromHost(), out.string(), error)) << what;
        EXPECT_NE(error.find("合计"), std::string::npos) << what << ": " << error;
        EXPECT_EQ(ReadFile(out), "earlier content") << what;
    }
    // One of each still fits.
    Exec("delete from sb07_xxfpb where xh=2");
    std::string error;
    EXPECT_TRUE(BuildSummaryDocument(vantrel::ModuleContextFromHost(), out.string(), error)) << error;
    EXPECT_NE(ReadFile(out).find(">2000000000<"), std::string::npos);
}

TEST_F(SummaryTest, LongPathsAreShortenedInTheMessageOnWholeCharacters) {
    std::string path = dir_.string() + "/";
    for (int i = 0; i < 400; ++i) path += "汇总/";
    path += "x.xml";
    std::string error;
    EXPECT_FALSE(BuildSummaryDocument(vantrel::ModuleContextFromHost(), path, error));
    EXPECT_LT(error.size(), 400u) << error.size();
    EXPECT_NE(error.find("…"), std::string::npos) << error;
    EXPECT_NE(error.find("x.xml"), std::string::npos) << error;
    // Every double-byte character is whole: the message decodes without replacement marks.
    EXPECT_FALSE(GbkToQString(error).contains(QChar::ReplacementCharacter)) << error;
}

TEST_F(SummaryTest, FailureWithoutHostTextIsStillReported) {
    corlith::test::FailAt(corlith::test::FailPoint::Statement, 1, "");
    std::string error;
    EXPECT_FALSE(BuildSummaryDocument(vantrel::ModuleContextFromHost(), (dir_ / "summary.xml").string(), error));
    EXPECT_EQ(error, "未知错误！");
}

// What the file writer refuses (its rules are file_writer_test's) fails the summary with a
// message that names the path and the reason.
TEST_F(SummaryTest, AFileTheWriterRefusesIsNamedWithItsReason) {
    fs::create_directory(dir_ / "folder.xml");
    const struct {
        std::string path;
        const char* says;
    } cases[] = {
        {(dir_ / "no-such-folder" / "summary.xml").string(), "文件夹不存在"},
        {(dir_ / "folder.xml").string(), ""},
        {"", "dir"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(BuildSummaryDocument(vantrel::ModuleContextFromHost(), c.path, error)) << c.path;
        EXPECT_NE(error.find(c.path), std::string::npos) << error;
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
    }
}

TEST_F(SummaryTest, DatabaseWithoutTablesReportsTheDatabaseError) {
    corlith::CloseConnections();
    std::string error;
    ASSERT_TRUE(corlith::BindConnection(testhost::kConnection, (dir_ / "bare.db").string(), error)) << error;
    const fs::path out = dir_ / "summary.xml";
    EXPECT_FALSE(BuildSummaryDocument(vantrel::ModuleContextFromHost(), out.string(), error));
    EXPECT_NE(error.find("sb07_xxfpb"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(SummaryTest, NonNumericPeriodFailsBeforeAnySelect) {
    GetCurSubAppVo()->SetText("curKJNY", "2026xx");
    std::string error;
    EXPECT_FALSE(BuildSummaryDocument(vantrel::ModuleContextFromHost(), (dir_ / "summary.xml").string(), error));
    EXPECT_NE(error.find("2026xx"), std::string::npos) << error;
    EXPECT_TRUE(corlith::test::StatementsOnly().empty());
}

// ---- the plug-in ------------------------------------------------------------------------

using EntryPoint = void (*)(std::uintptr_t, void*, char**);

class Plugin {
public:
    Plugin() : handle_(dlopen(VANTREL_MODULE_PATH, RTLD_NOW | RTLD_LOCAL)) {
        if (handle_) create_ = reinterpret_cast<EntryPoint>(dlsym(handle_, "CreateQtfp"));
    }
    ~Plugin() { Close(); }
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    bool ok() const { return handle_ && create_; }
    void* handle() const { return handle_; }
    void Close() {
        if (handle_) dlclose(handle_);
        handle_ = nullptr;
    }
    // Runs CreateQtfp over a buffer that starts with params and has room to spare.
    std::string Create(const std::string& params, std::vector<char>* bufferOut = nullptr) {
        std::vector<char> buffer(4096, '#');
        std::memcpy(buffer.data(), params.c_str(), params.size() + 1);
        char* block[] = {buffer.data(), nullptr};
        create_(0x1234, nullptr, block);
        if (bufferOut) *bufferOut = buffer;
        return buffer.data();
    }

private:
    void* handle_;
    EntryPoint create_ = nullptr;
};

class PluginTest : public SummaryTest {};

TEST_F(PluginTest, SuccessLeavesTheParameterStringUnchanged) {
    ASSERT_EQ(QCoreApplication::instance(), nullptr);  // a headless host has none
    Plugin plugin;
    ASSERT_TRUE(plugin.ok()) << dlerror();
    Add(Invoice{});
    const fs::path out = dir_ / "summary.xml";
    const std::string params = "ModalFormMsg=7;dir=" + out.string() + ";err=;x=a&eq%b";
    std::vector<char> before(4096, '#');
    std::memcpy(before.data(), params.c_str(), params.size() + 1);
    std::vector<char> after;
    plugin.Create(params, &after);
    EXPECT_EQ(after, before);
    EXPECT_EQ(ReadFile(out), Text());
}

TEST_F(PluginTest, FailureWritesTheEscapedError) {
    Plugin plugin;
    ASSERT_TRUE(plugin.ok()) << dlerror();
    const std::string out = (dir_ / "summary.xml").string();
    corlith::test::FailAt(corlith::test::FailPoint::Statement, 3, "坏=块;损");
    EXPECT_EQ(plugin.Create("dir=" + out + ";k=v"), "dir=" + out + ";k=v;err=坏&eq%块&lim%损");
    EXPECT_FALSE(fs::exists(out));

    corlith::test::FailAt(corlith::test::FailPoint::Statement, 1, "新");
    EXPECT_EQ(plugin.Create("dir=" + out + ";err=old;k=v"), "dir=" + out + ";err=新;k=v;");

    corlith::test::FailAt(corlith::test::FailPoint::Statement, 1, "");
    EXPECT_EQ(plugin.Create("dir=" + out), "dir=" + out + ";err=未知错误！");
}

TEST_F(PluginTest, BadPathsComeBackAsErrors) {
    Plugin plugin;
    ASSERT_TRUE(plugin.ok()) << dlerror();
    const std::string missing = (dir_ / "gone" / "summary.xml").string();
    const std::string result = plugin.Create("dir=" + missing);
    ASSERT_EQ(result.rfind("dir=" + missing + ";err=", 0), 0u) << result;
    EXPECT_NE(result.find(missing, missing.size() + 4), std::string::npos) << result;

    const std::string noDir = plugin.Create("k=v");
    EXPECT_EQ(noDir.rfind("k=v;err=", 0), 0u) << noDir;
    EXPECT_GT(noDir.size(), std::string("k=v;err=").size());
}

TEST_F(PluginTest, TheErrorFitsABufferSizedForTheTextAndTheDeclaredBound) {
    Plugin plugin;
    ASSERT_TRUE(plugin.ok()) << dlerror();
    // An error text that escapes to several times its length, and a path far longer than the bound.
    corlith::test::FailAt(corlith::test::FailPoint::Statement, 1, std::string(3000, ';'));
    const std::string params = "dir=" + (dir_ / std::string(100000, 'p')).string();
    for (int round = 0; round < 2; ++round) {
        if (round == 1) corlith::test::ClearFailures();
        // Exactly the size the host needs; AddressSanitizer catches any byte beyond it.
        std::vector<char> buffer(params.size() + kCreateQtfpGrowthBound + 1, '#');
        std::memcpy(buffer.data(), params.c_str(), params.size() + 1);
        char* block[] = {buffer.data(), nullptr};
        reinterpret_cast<EntryPoint>(dlsym(plugin.handle(), "CreateQtfp"))(0, nullptr, block);
        const std::string after(buffer.data(), ::strnlen(buffer.data(), buffer.size()));
        ASSERT_LT(after.size(), buffer.size()) << "no terminating zero";
        EXPECT_EQ(after.rfind(params + ";err=", 0), 0u) << round;
        EXPECT_FALSE(GetParamValue(after, "err").empty()) << round;
    }
}

TEST_F(PluginTest, NullParametersAreIgnored) {
    Plugin plugin;
    ASSERT_TRUE(plugin.ok()) << dlerror();
    auto create = reinterpret_cast<EntryPoint>(dlsym(plugin.handle(), "CreateQtfp"));
    create(0, nullptr, nullptr);
    char* empty[] = {nullptr};
    create(0, nullptr, empty);
    EXPECT_TRUE(FolderFiles().empty());
}

TEST_F(PluginTest, OnlyTheTwoEntryPointsAreExported) {
    Plugin plugin;
    ASSERT_TRUE(plugin.ok()) << dlerror();
    EXPECT_NE(dlsym(plugin.handle(), "ShowQtfpMgr"), nullptr);
    EXPECT_EQ(dlsym(plugin.handle(), "_Z9QuoteInnerRKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE"), nullptr);

    FILE* pipe = popen("nm -D --defined-only " VANTREL_MODULE_PATH " 2>/dev/null", "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> names;
    char line[1024];
    while (std::fgets(line, sizeof line, pipe)) {
        std::istringstream fields(line);
        std::string address, kind, name;
        if (fields >> address >> kind >> name) names.insert(name);
    }
    ASSERT_EQ(pclose(pipe), 0);
    EXPECT_EQ(names, (std::set<std::string>{"CreateQtfp", "ShowQtfpMgr"}));
}

TEST_F(PluginTest, UnloadReleasesTheHeldCatalogue) {
    std::weak_ptr<THostObject> catalogue = GetCurSubAppVo()->GetObject("DeclareTypeInfo");
    {
        Plugin plugin;
        ASSERT_TRUE(plugin.ok()) << dlerror();
        plugin.Create("dir=" + (dir_ / "summary.xml").string());
        SetCatalogue(1);  // the host moves on to a new catalogue; the module still holds the old
        ASSERT_FALSE(catalogue.expired());
        plugin.Close();
        if (void* still = dlopen(VANTREL_MODULE_PATH, RTLD_NOW | RTLD_NOLOAD)) {
            dlclose(still);
            GTEST_SKIP() << "the plug-in stays mapped after dlclose";
        }
    }
    EXPECT_TRUE(catalogue.expired());
}

}  // namespace
