#include "host_query.h"

#include "codec.h"
#include "corlith_test.h"
#include "database.h"
#include "test_control.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

using Impl = THostQuery::Impl;

bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x == y) continue;
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

bool ParseInt64(std::string_view s, int64_t& out) {
    s = Trimmed(s);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return !s.empty() && ec == std::errc() && end == s.data() + s.size();
}

bool ParseDouble(std::string_view s, double& out) {
    s = Trimmed(s);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return !s.empty() && ec == std::errc() && end == s.data() + s.size() && std::isfinite(out);
}

// Field names are looked up for every cell read; hash them ignoring ASCII case.
uint32_t NameHash(std::string_view name) {
    uint32_t h = 2166136261u;
    for (char c : name) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    }
    return h;
}

int64_t RoundToInt64(double v) {
    if (!std::isfinite(v)) return 0;
    const double r = std::nearbyint(v);   // halves to even, as the default rounding mode does
    if (r >= 9.2233720368547758e18) return std::numeric_limits<int64_t>::max();
    if (r <= -9.2233720368547758e18) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(r);
}

// "1234.5" -> 12345000 exactly, rounding the fifth decimal and beyond half to even.
bool DecimalToCurrency(std::string_view s, int64_t& out) {
    s = Trimmed(s);
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    int exponent = 0;
    if (const size_t e = s.find_first_of("eE"); e != std::string_view::npos) {
        std::string_view exp = s.substr(e + 1);
        if (!exp.empty() && exp.front() == '+') exp.remove_prefix(1);
        const auto [end, ec] = std::from_chars(exp.data(), exp.data() + exp.size(), exponent);
        if (exp.empty() || ec != std::errc() || end != exp.data() + exp.size() || std::abs(exponent) > 30) return false;
        s = s.substr(0, e);
    }
    std::string digits;
    int fraction = 0;
    bool dot = false;
    for (char c : s) {
        if (c == '.' && !dot) {
            dot = true;
        } else if (c >= '0' && c <= '9') {
            digits += c;
            if (dot) ++fraction;
        } else {
            return false;
        }
    }
    if (digits.empty()) return false;
    // Value = digits * 10^(exponent - fraction); wanted: value * 10^4.
    int shift = exponent - fraction + 4;
    if (shift > 0) digits.append(static_cast<size_t>(shift), '0'), shift = 0;
    std::string whole = digits.substr(0, digits.size() - std::min(digits.size(), static_cast<size_t>(-shift)));
    std::string rest = digits.substr(whole.size());
    if (static_cast<size_t>(-shift) > digits.size()) rest.insert(0, static_cast<size_t>(-shift) - digits.size(), '0');
    const size_t firstNonZero = whole.find_first_not_of('0');
    whole = firstNonZero == std::string::npos ? "0" : whole.substr(firstNonZero);
    if (whole.size() > 18) return false;
    int64_t value = 0;
    std::from_chars(whole.data(), whole.data() + whole.size(), value);
    if (!rest.empty()) {
        const char first = rest[0];
        const bool tail = rest.find_first_not_of('0', 1) != std::string::npos;
        if (first > '5' || (first == '5' && (tail || (value & 1)))) ++value;
    }
    out = negative ? -value : value;
    return true;
}

int64_t RealToCurrency(double v) {
    const double scaled = v * 10000.0;
    const double frac = std::fabs(scaled - std::trunc(scaled));
    // Only a value near a half needs its decimal digits to decide the rounding.
    if (std::fabs(frac - 0.5) > 1e-6 || std::fabs(scaled) > 1e15) return RoundToInt64(scaled);
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.15g", v);
    int64_t out = 0;
    return DecimalToCurrency(buffer, out) ? out : RoundToInt64(scaled);
}

void RealText(double v, std::string& out) {
    char buffer[40];
    const int n = std::snprintf(buffer, sizeof buffer, "%.15g", v);
    out.assign(buffer, static_cast<size_t>(std::clamp(n, 0, static_cast<int>(sizeof buffer) - 1)));
}

// The first table named after FROM, as the select wrote it (GBK).
std::string FromTable(const std::string& sql) {
    size_t i = 0;
    const size_t n = sql.size();
    auto isWord = [](unsigned char c) { return std::isalnum(c) || c == '_' || c == '$' || c >= 0x80; };
    while (i < n) {
        const char c = sql[i];
        if (c == '\'' || c == '"' || c == '`' || c == '[') {
            const char close = c == '[' ? ']' : c;
            const size_t end = sql.find(close, i + 1);
            i = end == std::string::npos ? n : end + 1;
            continue;
        }
        if (isWord(static_cast<unsigned char>(c))) {
            size_t j = i;
            while (j < n && isWord(static_cast<unsigned char>(sql[j]))) {
                j += static_cast<unsigned char>(sql[j]) >= 0x81 && j + 1 < n ? 2 : 1;   // GBK pairs
            }
            if (SameIgnoringAsciiCase(std::string_view(sql).substr(i, j - i), "from")) {
                size_t k = j;
                while (k < n && std::isspace(static_cast<unsigned char>(sql[k]))) ++k;
                size_t e = k;
                if (k < n && (sql[k] == '"' || sql[k] == '`' || sql[k] == '[')) {
                    const char close = sql[k] == '[' ? ']' : sql[k];
                    const size_t end = sql.find(close, k + 1);
                    return end == std::string::npos ? std::string() : sql.substr(k + 1, end - k - 1);
                }
                while (e < n && (isWord(static_cast<unsigned char>(sql[e])) || sql[e] == '.')) ++e;
                std::string name = sql.substr(k, e - k);
                if (const size_t dot = name.rfind('.'); dot != std::string::npos) name = name.substr(dot + 1);
                return name;
            }
            i = j;
            continue;
        }
        ++i;
    }
    return std::string();
}

}  // namespace

// ---- Impl -----------------------------------------------------------------------------

void Impl::Clear() {
    names.clear();
    tables.clear();
    nameSlots.clear();
    cells.clear();
    texts.clear();
    lastText.clear();
    fieldCount = rowCount = cursor = 0;
    rowsAffected = 0;
    connection.clear();
    statement.clear();
    appending = false;
    pending.clear();
}

bool Impl::EndRow() {
    ++rowCount;
    if (!onRow) return true;
    cursor = 0;
    const bool more = (*onRow)();
    cells.clear();
    texts.clear();
    rowCount = cursor = 0;
    return more;
}

void Impl::AddField(std::string_view nameUtf8, std::string_view tableUtf8) {
    std::string name;
    corlith::codec::Utf8ToGbk(nameUtf8, name);
    names.push_back(std::move(name));
    tables.emplace_back(tableUtf8);
    lastText.emplace_back();
    fieldCount = static_cast<int>(names.size());
}

void Impl::AddText(std::string_view utf8) {
    Cell c;
    c.type = Text;
    const bool ascii = corlith::codec::IsAscii(utf8);
    if (onRow && ascii) {
        c.borrowed = true;
        c.data = utf8.data();
        c.length = static_cast<uint32_t>(utf8.size());
        cells.push_back(c);
        return;
    }
    c.offset = texts.size();
    // Rows so far are whole: what is beyond them is this row's fields.
    const size_t field = fieldCount > 0 ? cells.size() - static_cast<size_t>(rowCount) * static_cast<size_t>(fieldCount)
                                        : lastText.size();
    if (ascii) {
        texts += utf8;
    } else if (field >= lastText.size()) {
        corlith::codec::Utf8ToGbk(utf8, texts);
    } else {
        auto& [lastUtf8, lastGbk] = lastText[field];
        if (lastUtf8 != utf8) {
            lastUtf8.clear();
            lastGbk.clear();
            corlith::codec::Utf8ToGbk(utf8, lastGbk);
            lastUtf8.assign(utf8);
        }
        if (onRow) {
            // The field's last text stays as it is until the field's next cell, a row later.
            c.borrowed = true;
            c.data = lastGbk.data();
            c.length = static_cast<uint32_t>(lastGbk.size());
            cells.push_back(c);
            return;
        }
        texts += lastGbk;
    }
    c.length = static_cast<uint32_t>(texts.size() - c.offset);
    cells.push_back(c);
}

void Impl::indexNames() {
    size_t size = 8;
    while (size < names.size() * 2) size *= 2;
    nameSlots.assign(size, -1);
    for (size_t i = 0; i < names.size(); ++i) {
        // The first of several fields with the same name wins.
        if (indexOf(names[i]) >= 0) continue;
        size_t slot = NameHash(names[i]) & (size - 1);
        while (nameSlots[slot] >= 0) slot = (slot + 1) & (size - 1);
        nameSlots[slot] = static_cast<int>(i);
    }
}

int Impl::indexOf(const std::string& name) const {
    if (nameSlots.empty()) return -1;
    const size_t mask = nameSlots.size() - 1;
    for (size_t slot = NameHash(name) & mask; nameSlots[slot] >= 0; slot = (slot + 1) & mask)
        if (SameIgnoringAsciiCase(names[static_cast<size_t>(nameSlots[slot])], name)) return nameSlots[slot];
    return -1;
}

void Impl::textOf(const Cell& c, std::string& out) const {
    switch (c.type) {
    case Integer: {
        char buffer[24];
        const char* const end = std::to_chars(buffer, buffer + sizeof buffer, c.integer).ptr;
        out.assign(buffer, static_cast<size_t>(end - buffer));
        return;
    }
    case Real: RealText(c.real, out); return;
    case Text: out.assign(textAt(c)); return;
    case Null: break;
    }
    out.clear();
}

// ---- THostQuery -----------------------------------------------------------------------

THostQuery::THostQuery() : d_(new Impl) {}
THostQuery::~THostQuery() { delete d_; }

int THostQuery::RecordCount() const { return d_->rowCount; }
int64_t THostQuery::RowsAffected() const { return d_->rowsAffected; }
bool THostQuery::Eof() const { return d_->cursor >= d_->rowCount; }
void THostQuery::First() { d_->cursor = 0; }
void THostQuery::Next() {
    if (d_->cursor < d_->rowCount) ++d_->cursor;
}

int THostQuery::FieldIndex(const std::string& name) const { return d_->indexOf(name); }
bool THostQuery::FieldIsNull(const std::string& name) const { return IsNullAt(d_->indexOf(name)); }
std::string THostQuery::FieldAsString(const std::string& name) const { return StringAt(d_->indexOf(name)); }

int32_t THostQuery::FieldAsInteger(const std::string& name) const {
    const int64_t v = Int64At(d_->indexOf(name));
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

int64_t THostQuery::FieldAsInt64(const std::string& name) const { return Int64At(d_->indexOf(name)); }
double THostQuery::FieldAsFloat(const std::string& name) const { return FloatAt(d_->indexOf(name)); }
int64_t THostQuery::FieldAsCurrency(const std::string& name) const { return CurrencyAt(d_->indexOf(name)); }

bool THostQuery::IsNullAt(int field) const {
    const Impl::Cell* c = d_->cell(field);
    return !c || c->type == Impl::Null;
}

std::string THostQuery::StringAt(int field) const {
    std::string out;
    ReadStringAt(field, out);
    return out;
}

void THostQuery::ReadStringAt(int field, std::string& out) const {
    try {
        const Impl::Cell* c = d_->cell(field);
        if (c) d_->textOf(*c, out);
        else out.clear();
    } catch (...) {
        out.clear();
    }
}

int64_t THostQuery::Int64At(int field) const {
    const Impl::Cell* c = d_->cell(field);
    if (!c) return 0;
    switch (c->type) {
    case Impl::Integer: return c->integer;
    case Impl::Real: return RoundToInt64(c->real);
    case Impl::Text: {
        const std::string_view s = d_->textAt(*c);
        int64_t i = 0;
        if (ParseInt64(s, i)) return i;
        double r = 0;
        return ParseDouble(s, r) ? RoundToInt64(r) : 0;
    }
    case Impl::Null: break;
    }
    return 0;
}

double THostQuery::FloatAt(int field) const {
    const Impl::Cell* c = d_->cell(field);
    if (!c) return 0;
    switch (c->type) {
    case Impl::Integer: return static_cast<double>(c->integer);
    case Impl::Real: return c->real;
    case Impl::Text: {
        double r = 0;
        return ParseDouble(d_->textAt(*c), r) ? r : 0;
    }
    case Impl::Null: break;
    }
    return 0;
}

int64_t THostQuery::CurrencyAt(int field) const {
    const Impl::Cell* c = d_->cell(field);
    if (!c) return 0;
    switch (c->type) {
    case Impl::Integer:
        if (c->integer > std::numeric_limits<int64_t>::max() / 10000 ||
            c->integer < std::numeric_limits<int64_t>::min() / 10000)
            return 0;
        return c->integer * 10000;
    case Impl::Real: return RealToCurrency(c->real);
    case Impl::Text: {
        int64_t out = 0;
        return DecimalToCurrency(d_->textAt(*c), out) ? out : 0;
    }
    case Impl::Null: break;
    }
    return 0;
}

void THostQuery::Append() {
    d_->appending = true;
    d_->pending.clear();
}

void THostQuery::SetFieldValue(const std::string& name, const std::string& value) {
    try {
        if (!d_->appending) return;
        for (auto& [field, v] : d_->pending)
            if (SameIgnoringAsciiCase(field, name)) {
                v = value;
                return;
            }
        d_->pending.emplace_back(name, value);
    } catch (...) {
    }
}

bool THostQuery::Post(std::string& error) {
    try {
        if (!d_->appending) {
            error = "没有待保存的新记录，请先追加记录";
            return false;
        }
        // The table the select read: every field that comes from a table must name the same one.
        std::string sourceTable;
        for (const auto& t : d_->tables) {
            if (t.empty()) continue;
            if (sourceTable.empty()) sourceTable = t;
            else if (!SameIgnoringAsciiCase(sourceTable, t)) {
                error = "查询结果来自多个表，不能追加记录";
                return false;
            }
        }
        std::string written = FromTable(d_->statement);   // GBK
        std::string writtenUtf8;
        corlith::codec::GbkToUtf8(written, writtenUtf8);
        std::string table;   // UTF-8, what is inserted into
        if (!sourceTable.empty()) {
            table = sourceTable;
            if (!SameIgnoringAsciiCase(writtenUtf8, sourceTable)) {
                written.clear();
                corlith::codec::Utf8ToGbk(sourceTable, written);
            }
        } else {
            table = writtenUtf8;
        }
        if (table.empty()) {
            error = "无法确定查询所读取的表，不能追加记录";
            return false;
        }
        corlith::testctl::LogStep("POST " + written);
        if (auto injected = corlith::testctl::TakeFailure(corlith::test::FailPoint::Post)) {
            error = *injected;
            return false;
        }
        std::vector<std::string> columns, values;
        for (const auto& [field, value] : d_->pending) {
            columns.emplace_back();
            corlith::codec::GbkToUtf8(field, columns.back());
            values.emplace_back();
            corlith::codec::GbkToUtf8(value, values.back());
        }
        if (!corlith::db::InsertRow(d_->connection, table, columns, values, error)) return false;

        // The posted row joins the result, as the current row.
        for (int i = 0; i < d_->fieldCount; ++i) {
            Impl::Cell c;
            for (const auto& [field, value] : d_->pending)
                if (SameIgnoringAsciiCase(field, d_->names[static_cast<size_t>(i)])) {
                    c.type = Impl::Text;
                    c.offset = d_->texts.size();
                    d_->texts += value;
                    c.length = static_cast<uint32_t>(value.size());
                }
            d_->cells.push_back(c);
        }
        d_->cursor = d_->rowCount++;
        d_->appending = false;
        d_->pending.clear();
        return true;
    } catch (...) {
        try {
            error = "追加记录失败";
        } catch (...) {
        }
        return false;
    }
}
