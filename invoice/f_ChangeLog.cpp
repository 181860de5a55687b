#include "invoice/f_ChangeLog.h"

#include "host/corlith_api.h"
#include "host/f_HostTransaction.h"
#include "invoice/f_GlobalUnit.h"
#include "invoice/f_Sha256.h"

#include <QDateTime>
#include <QHash>
#include <QRandomGenerator>

#include <algorithm>
#include <charconv>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <future>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>
#include <unordered_map>

#include <pwd.h>
#include <unistd.h>

namespace vantrel {

namespace {

// Entries per batch of bound inserts: few calls, and not many entries held.
constexpr std::size_t kEntriesPerWrite = 500;
// Numbers per IN list of a row read.
constexpr std::size_t kNumbersPerRead = 500;
// Most numbers a delete reads on the shared reader, in one select: far below what makes a write
// spill its changes into the file before its commit. And the most reads that select joins.
constexpr std::size_t kNumbersAside = 20000;
constexpr std::size_t kReadsAside = 100;

enum class TColumnType { Text, Integer, Money };

struct TColumn {
    const char* name;
    TColumnType type;
};

constexpr TColumn kColumns[] = {
    {"nsrsbh", TColumnType::Text},   {"sbssq", TColumnType::Text},    {"xh", TColumnType::Integer},
    {"fplx", TColumnType::Integer},  {"txsj", TColumnType::Text},     {"kprq", TColumnType::Text},
    {"fs", TColumnType::Integer},    {"je", TColumnType::Money},      {"se", TColumnType::Money},
    {"sl", TColumnType::Integer},    {"gfnsr", TColumnType::Text},    {"jzjt", TColumnType::Integer},
    {"lwfp", TColumnType::Integer},  {"ms", TColumnType::Integer},    {"zfbz", TColumnType::Integer},
    {"sbwjm", TColumnType::Text},
};
constexpr int kColumnCount = static_cast<int>(std::size(kColumns));
constexpr int kXhColumn = 2;

std::string LogTable(const std::string& code) { return QualifyTableName("sb_bgjl", code); }
std::string HeadTable(const std::string& code) { return QualifyTableName("sb_bgjlmw", code); }

void AppendNumber(std::string& out, long long value) {
    char buf[24];
    out.append(buf, std::to_chars(buf, buf + sizeof buf, value).ptr);
}

void AppendEscaped(std::string& out, std::string_view value) {
    for (char c : value) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            default: out += c;
        }
    }
}

std::string RowSelectHead(const std::string& code) {
    std::string sql = "SELECT ";
    for (int i = 0; i < kColumnCount; ++i) sql += std::string(i ? "," : "") + kColumns[i].name;
    return sql + " FROM " + QualifyTableName("sb_xxfpb", code);
}

// The query's current row of a RowSelectHead select, encoded; field holds the columns' places.
class TRowReader {
public:
    explicit TRowReader(const THostQuery& query) {
        for (int i = 0; i < kColumnCount; ++i) fields_[i] = query.FieldIndex(kColumns[i].name);
    }
    void Read(const THostQuery& query, std::string& row) {
        row.clear();
        for (int i = 0; i < kColumnCount; ++i) {
            if (i) row += '\t';
            const int field = fields_[i];
            if (field < 0 || query.IsNullAt(field)) {
                row += "\\N";
                continue;
            }
            switch (kColumns[i].type) {
                case TColumnType::Text:
                    query.ReadStringAt(field, text_);
                    AppendEscaped(row, text_);
                    break;
                case TColumnType::Integer: AppendNumber(row, query.Int64At(field)); break;
                case TColumnType::Money: {
                    const int64_t fixed = query.CurrencyAt(field);
                    const uint64_t magnitude = fixed < 0 ? 0 - static_cast<uint64_t>(fixed) : static_cast<uint64_t>(fixed);
                    if (fixed < 0) row += '-';
                    AppendNumber(row, static_cast<long long>(magnitude / 10000));
                    char frac[5];
                    uint64_t rest = magnitude % 10000;
                    for (int d = 3; d >= 0; --d, rest /= 10) frac[d] = static_cast<char>('0' + rest % 10);
                    frac[4] = '\0';
                    row += '.';
                    row += frac;
                    break;
                }
            }
        }
    }

    int64_t Int64(const THostQuery& query, int column) const { return query.Int64At(fields_[column]); }

private:
    int fields_[kColumnCount];
    std::string text_;
};

// Rows of a RowSelectHead select handed over with their number.
bool SelectRows(const std::string& connection, const std::string& sql,
                const std::function<void(int32_t, std::string&&)>& onRow, std::string& error) {
    THostQuery query;
    std::optional<TRowReader> reader;
    std::string row;
    return ExecADOQueryRows(connection, sql, &query, error, [&] {
        if (!reader) reader.emplace(query);
        reader->Read(query, row);
        onRow(static_cast<int32_t>(reader->Int64(query, kXhColumn)), std::move(row));
        return true;
    });
}

void AppendField(std::string& content, std::string_view field) {
    AppendNumber(content, static_cast<long long>(field.size()));
    content += ':';
    content += field;
}

void AppendNumberField(std::string& content, long long value) {
    char buf[24];
    AppendField(content, std::string_view(buf, static_cast<std::size_t>(std::to_chars(buf, buf + sizeof buf, value).ptr - buf)));
}

// Each field of a logged row in order, unescaped, and whether it is NULL ("\\N"); the field
// may be taken.
template <class OnField>
void ForEachField(const std::string& row, OnField&& onField) {
    std::string field;
    bool null = false;
    for (std::size_t i = 0; i < row.size(); ++i) {
        const char c = row[i];
        if (c == '\t') {
            onField(field, null);
            field.clear();
            null = false;
        } else if (c == '\\' && i + 1 < row.size()) {
            const char e = row[++i];
            if (e == 'N') null = true;
            else field += e == 't' ? '\t' : e == 'n' ? '\n' : e == 'r' ? '\r' : e;
        } else {
            field += c;
        }
    }
    onField(field, null);
}

const char* const kEntryColumns = "nsrsbh,jlxh,sbssq,xh,lb,sj,czy,pc,pcsm,qz,hz,hx";
const std::vector<std::string> kEntryColumnNames = {"nsrsbh", "jlxh", "sbssq", "xh", "lb", "sj",
                                                    "czy",    "pc",   "pcsm",  "qz", "hz", "hx"};

}  // namespace

std::string ChangeKindText(TChangeKind kind) {
    switch (kind) {
        case TChangeKind::Add: return "新增";
        case TChangeKind::Modify: return "修改";
        case TChangeKind::Delete: return "删除";
        case TChangeKind::Import: return "导入";
        case TChangeKind::Restore: return "恢复";
        case TChangeKind::Initial: return "初始";
    }
    return std::string();
}

const std::vector<std::string>& RegisterColumns() {
    static const std::vector<std::string> columns = [] {
        std::vector<std::string> names;
        for (const TColumn& c : kColumns) names.push_back(c.name);
        return names;
    }();
    return columns;
}

std::vector<std::string> DecodeRow(const std::string& row) {
    std::vector<std::string> fields;
    if (row.empty()) return fields;
    ForEachField(row, [&fields](std::string& field, bool) { fields.push_back(std::move(field)); });  // NULL reads as empty
    return fields;
}

namespace {

// The entry's hash into hex; the content is made in a buffer kept for the thread.
void HashEntry(const TChangeEntry& e, std::string_view previousHash, char (&hex)[64]) {
    thread_local std::string content;
    thread_local TSha256 sha;
    content.clear();
    AppendField(content, previousHash);
    AppendField(content, e.nsrsbh);
    AppendNumberField(content, e.seq);
    AppendField(content, e.sbssq);
    AppendNumberField(content, e.xh);
    AppendField(content, e.kind);
    AppendField(content, e.time);
    AppendField(content, e.seat);
    AppendNumberField(content, e.batch);
    AppendField(content, e.batchNote);
    AppendField(content, e.before);
    AppendField(content, e.after);
    sha.Add(content);
    sha.Hex(hex);
}

}  // namespace

std::string EntryHash(const TChangeEntry& e, const std::string& previousHash) {
    char hex[64];
    HashEntry(e, previousHash, hex);
    return std::string(hex, sizeof hex);
}

std::string SeatName(const std::string& connection) {
    // The operating system's side stays for the process: looked up once, not at every write.
    static const std::string local = [] {
        std::string user;
        for (const char* name : {"USER", "LOGNAME"})
            if (const char* value = std::getenv(name); value && *value) {
                user = value;
                break;
            }
        if (user.empty())
            if (const passwd* pw = getpwuid(geteuid())) user = pw->pw_name;
        char host[256] = {};
        if (gethostname(host, sizeof host - 1) != 0) host[0] = '\0';
        return user + "@" + host;
    }();
    std::string seat = local;
    if (const std::string server = DBSessionUser(connection); !server.empty()) seat += " (" + server + ")";
    return seat;
}

std::string UtcNow() {
    // The host's local clock (which a test may hold) read as UTC.
    const std::string local = GetHostNow();
    std::tm parts{};
    std::time_t when = 0;
    const char* end = ::strptime(local.c_str(), "%Y-%m-%d %H:%M:%S", &parts);
    if (end && !*end) {
        parts.tm_isdst = -1;
        when = std::mktime(&parts);
    }
    if (!end || *end || when == -1) when = std::time(nullptr);
    std::tm utc{};
    char text[32];
    if (!gmtime_r(&when, &utc) || std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc) == 0) return std::string();
    return text;
}

bool IsChangeLogStatement(const std::string& sql, const std::string& code) {
    return sql.find(LogTable(code) + " ") != std::string::npos || sql.find(HeadTable(code) + " ") != std::string::npos ||
           sql.find(LogTable(code) + "sb ") != std::string::npos ||
           sql.rfind(RowSelectHead(code), 0) == 0;
}

// ---- writing ---------------------------------------------------------------------------------

TChangeLogWriter::TChangeLogWriter(const TModuleContext& context, TChangeBatch batch)
    : context_(context), batch_(std::move(batch)) {}

bool TChangeLogWriter::Lock(std::string& error) {
    const std::string& connection = context_.connection;
    const std::string where = " WHERE nsrsbh=" + QuotedLiteral(context_.taxpayer);
    const std::string head = HeadTable(context_.subAppCode);
    const std::string lock = "UPDATE " + head + " SET jlxh=jlxh" + where;
    THostQuery query;
    // The head's row is taken for the transaction: another seat's write of the taxpayer
    // waits here until this one ends, so the chain stays one line.
    if (!ExecADOQueryMsg(connection, lock, &query, error, 0, 0)) return false;
    if (query.RowsAffected() == 0) {
        const std::string create = "INSERT INTO " + head + " (nsrsbh,jlxh,hx) VALUES (" + QuotedLiteral(context_.taxpayer) +
                                   ",0,'') ON CONFLICT DO NOTHING";
        if (!ExecADOQueryMsg(connection, create, &query, error, 0, 0) ||
            !ExecADOQueryMsg(connection, lock, &query, error, 0, 0))
            return false;
    }
    if (!ExecADOQueryMsg(connection, "SELECT jlxh,hx FROM " + head + where, &query, error, 1, 0)) return false;
    if (query.RecordCount() != 1) {
        error = "变更记录的链首不可读";
        return false;
    }
    lastSeq_ = query.FieldAsInt64("jlxh");
    lastHash_ = query.FieldAsString("hx");
    seat_ = SeatName(connection);
    time_ = UtcNow();
    if (lastSeq_ == 0) {
        // Rows stored before the log existed start the chain.
        const TChangeBatch own = batch_;
        batch_ = {TChangeKind::Initial, std::string()};
        batchId_ = 1;
        // Read whole before the first insert: no statement may run while a read streams.
        std::vector<std::pair<int32_t, std::string>> rows;
        if (!SelectRows(connection, RowSelectHead(context_.subAppCode) + where + " ORDER BY sbssq,xh",
                        [&rows](int32_t xh, std::string&& row) { rows.emplace_back(xh, std::move(row)); }, error))
            return false;
        for (auto& [xh, row] : rows) {
            TChangeEntry entry{context_.taxpayer, 0, DecodeRow(row)[1], xh, {}, {}, {}, 0, {}, {}, std::move(row), {}};
            if (!AppendEntry(entry, error)) return false;
        }
        batch_ = own;
    }
    batchId_ = lastSeq_ + 1;
    return true;
}

bool TChangeLogWriter::ReadWindows(const std::vector<int32_t>& sorted, const TWindowRead& onRead,
                                   std::string& error) const {
    for (auto from = sorted.begin(); from != sorted.end();) {
        // Numbers close together (a delete of ticked rows mostly is) are read as one range and
        // filtered: a range is one walk of the key, a list one lookup per number.
        const int64_t last = static_cast<int64_t>(*from) + kNumbersPerRead - 1;
        auto to = std::upper_bound(from, std::min(sorted.end(), from + kNumbersPerRead), last,
                                   [](int64_t v, int32_t xh) { return v < xh; });
        std::string numbers = "xh";
        const int64_t span = static_cast<int64_t>(*(to - 1)) - *from + 1;
        if (to - from > 1 && span <= 2 * (to - from)) {
            numbers += ">=";
            AppendNumber(numbers, *from);
            numbers += " AND xh<=";
            AppendNumber(numbers, *(to - 1));
        } else {
            to = std::min(sorted.end(), from + kNumbersPerRead);
            numbers += " IN (";
            for (auto i = from; i != to; ++i) {
                if (i != from) numbers += ',';
                AppendNumber(numbers, *i);
            }
            numbers += ')';
        }
        if (!onRead(numbers, from, to, error)) return false;
        from = to;
    }
    return true;
}

std::string TChangeLogWriter::RowsOfPeriod(const std::string& sbssq) const {
    return RowSelectHead(context_.subAppCode) + " WHERE nsrsbh=" + QuotedLiteral(context_.taxpayer) +
           " AND sbssq=" + QuotedLiteral(sbssq) + " AND ";
}

std::string TChangeLogWriter::RowsSelect(const std::string& sbssq, const std::string& numbers) const {
    return RowsOfPeriod(sbssq) + numbers + " ORDER BY xh";
}

namespace {

std::vector<int32_t> SortedNumbers(std::vector<int32_t> xhs) {
    std::sort(xhs.begin(), xhs.end());
    xhs.erase(std::unique(xhs.begin(), xhs.end()), xhs.end());
    return xhs;
}

}  // namespace

bool TChangeLogWriter::ReadRows(const std::string& sbssq, const std::vector<int32_t>& xhs,
                                std::map<int32_t, std::string>& rows, std::string& error) const {
    return ReadWindows(SortedNumbers(xhs),
                       [&](const std::string& numbers, TNumbers from, TNumbers to, std::string& e) {
                           return SelectRows(context_.connection, RowsSelect(sbssq, numbers),
                                             [&](int32_t xh, std::string&& row) {
                                                 if (std::binary_search(from, to, xh)) rows[xh] = std::move(row);
                                             },
                                             e);
                       },
                       error);
}

void TChangeLogWriter::Add(const std::string& sbssq, int32_t xh, std::string before, std::string after) {
    TChangeEntry entry{context_.taxpayer, 0, sbssq, xh, {}, {}, {}, 0, {}, std::move(before), std::move(after), {}};
    // Only a failed statement makes AppendEntry fail; Flush runs the rest and reports it.
    pendingFailed_ = pendingFailed_ || !AppendEntry(entry, pendingError_);
}

namespace {

// Entries handed to the hasher and not yet written, in chunks: enough to keep it busy while
// the write's statements run, few enough not to hold a long import's entries.
constexpr std::size_t kChunksAhead = 4;

// One entry hashed, chained from lastHash, into its column values (in the order of
// kEntryColumnNames) appended to values; its rows are taken.
void EncodeEntry(TChangeEntry& entry, std::string& lastHash, std::vector<std::string>& values) {
    const auto number = [](long long value) {
        std::string text;
        AppendNumber(text, value);
        return text;
    };
    char hex[64];
    HashEntry(entry, lastHash, hex);
    lastHash.assign(hex, sizeof hex);
    values.push_back(entry.nsrsbh);
    values.push_back(number(entry.seq));
    values.push_back(entry.sbssq);
    values.push_back(number(entry.xh));
    values.push_back(entry.kind);
    values.push_back(entry.time);
    values.push_back(entry.seat);
    values.push_back(number(entry.batch));
    values.push_back(entry.batchNote);
    values.push_back(std::move(entry.before));
    values.push_back(std::move(entry.after));
    values.push_back(lastHash);
}

}  // namespace

// Entries to hash, either made already or still to be made from rows read whole: each kept row
// of the read is an entry like first, numbered on from it, the row its before or its after.
struct TChangeLogWriter::TChunk {
    std::vector<TChangeEntry> entries;
    std::unique_ptr<THostQuery> rows;
    std::vector<bool> kept;
    TChangeEntry first;
    bool rowsBefore = false;

    std::size_t Size() const {
        return rows ? static_cast<std::size_t>(std::count(kept.begin(), kept.end(), true)) : entries.size();
    }
    // The entries hashed in order, chained from lastHash, as their column values.
    void Encode(std::string& lastHash, std::vector<std::string>& values) {
        values.reserve(values.size() + Size() * kEntryColumnNames.size());
        for (TChangeEntry& entry : entries) EncodeEntry(entry, lastHash, values);
        if (!rows) return;
        TRowReader reader(*rows);
        std::size_t i = 0;
        for (rows->First(); !rows->Eof(); rows->Next(), ++i) {
            if (!kept[i]) continue;
            std::string& row = rowsBefore ? first.before : first.after;
            reader.Read(*rows, row);
            first.xh = static_cast<int32_t>(reader.Int64(*rows, kXhColumn));
            EncodeEntry(first, lastHash, values);
            ++first.seq;
        }
    }
};

// Hashes chunks on a thread of its own, in the order they were handed, and gives each back as
// its column values.
class TChangeLogWriter::THasher {
public:
    explicit THasher(std::string lastHash) : lastHash_(std::move(lastHash)), thread_([this] { Run(); }) {}
    ~THasher() {
        {
            const std::lock_guard<std::mutex> hold(lock_);
            stop_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    void Hand(TChunk chunk) {
        {
            const std::lock_guard<std::mutex> hold(lock_);
            in_.push_back(std::move(chunk));
        }
        ++handed_;
        wake_.notify_all();
    }
    std::size_t Outstanding() const { return handed_ - taken_; }
    // The oldest chunk not yet taken, once hashed; false when hashing failed.
    bool Take(std::vector<std::string>& values) {
        std::unique_lock<std::mutex> hold(lock_);
        done_.wait(hold, [this] { return failed_ || !out_.empty(); });
        if (failed_) return false;
        values = std::move(out_.front());
        out_.pop_front();
        ++taken_;
        return true;
    }
    // The chain's end after the chunks taken; read once all are.
    const std::string& LastHash() const { return lastHash_; }

private:
    void Run() {
        std::unique_lock<std::mutex> hold(lock_);
        for (;;) {
            wake_.wait(hold, [this] { return stop_ || !in_.empty(); });
            if (stop_) return;
            TChunk chunk = std::move(in_.front());
            in_.pop_front();
            hold.unlock();
            std::vector<std::string> values;
            bool hashed = true;
            try {
                chunk.Encode(lastHash_, values);
            } catch (...) {
                hashed = false;
            }
            hold.lock();
            if (hashed) out_.push_back(std::move(values));
            else failed_ = true;
            done_.notify_all();
        }
    }

    std::string lastHash_;  // the worker's own until every chunk is taken
    std::mutex lock_;
    std::condition_variable wake_, done_;
    std::deque<TChunk> in_;
    std::deque<std::vector<std::string>> out_;
    bool stop_ = false, failed_ = false;
    std::size_t handed_ = 0, taken_ = 0;  // counted by the writer's thread only
    std::thread thread_;  // last: starts once the rest is made
};

bool TChangeLogWriter::AddStored(const std::string& sbssq, const std::vector<int32_t>& xhs, bool asBefore,
                                 std::string& error) {
    if (pendingFailed_) {
        error = pendingError_;
        return false;
    }
    if (aside_ && !JoinAside(error)) return false;
    return ReadWindows(SortedNumbers(xhs),
                       [&](const std::string& numbers, TNumbers from, TNumbers to, std::string& e) {
                           return AddRead(RowsSelect(sbssq, numbers), sbssq, from, to, asBefore, e);
                       },
                       error);
}

bool TChangeLogWriter::AddRead(const std::string& sql, const std::string& sbssq, TNumbers from, TNumbers to,
                               bool asBefore, std::string& error) {
    TChunk chunk;
    chunk.rows = std::make_unique<THostQuery>();
    THostQuery& rows = *chunk.rows;
    if (!ExecADOQueryMsg(context_.connection, sql, &rows, error, 1, 0)) return false;
    const int xhField = rows.FieldIndex(kColumns[kXhColumn].name);
    std::size_t count = 0;
    for (rows.First(); !rows.Eof(); rows.Next()) {
        const bool keep = xhField >= 0 && std::binary_search(from, to, rows.Int64At(xhField));
        chunk.kept.push_back(keep);
        count += keep;
    }
    if (count == 0) return true;
    // A few rows are not worth a thread: they join the entries queued here.
    if (!hasher_ && queued_.size() + count < kEntriesPerWrite) {
        TRowReader reader(rows);
        std::size_t i = 0;
        for (rows.First(); !rows.Eof(); rows.Next(), ++i) {
            if (!chunk.kept[i]) continue;
            std::string row;
            reader.Read(rows, row);
            const auto xh = static_cast<int32_t>(reader.Int64(rows, kXhColumn));
            if (asBefore) Add(sbssq, xh, std::move(row), std::string());
            else Add(sbssq, xh, std::string(), std::move(row));
        }
        if (pendingFailed_) error = pendingError_;
        return !pendingFailed_;
    }
    if (!queued_.empty() && !HandQueued(error)) return false;
    chunk.first = NextEntry(sbssq);
    chunk.rowsBefore = asBefore;
    lastSeq_ += static_cast<int64_t>(count);
    return Hand(std::move(chunk), error);
}

// The rows a write is about to remove, read on the connection's shared reader while the write
// removes them on its own connection: the reader sees the database as the last commit left it,
// and the chain head the write holds keeps other writers from changing it. Each row read is made
// the next entry and hashed, chained on from the hash the write started from.
class TChangeLogWriter::TAside {
public:
    TAside(std::string reader, std::string select, std::vector<int32_t> numbers, TChangeEntry first,
           std::string lastHash)
        : reader_(std::move(reader)),
          select_(std::move(select)),
          numbers_(std::move(numbers)),
          first_(std::move(first)),
          lastHash_(std::move(lastHash)) {
        started_ = startedPromise_.get_future();
        thread_ = std::thread([this] { Run(); });
    }
    ~TAside() {
        if (thread_.joinable()) thread_.join();
    }
    TAside(const TAside&) = delete;
    TAside& operator=(const TAside&) = delete;

    // Once the reader holds its view of the database (its first row read, or its read over):
    // from then on the write may change what it read. False when the read failed first.
    bool Started() { return started_.get(); }
    // The entries' column values, their number and the chain's end after them.
    bool Finish(std::vector<std::string>& values, int64_t& count, std::string& lastHash, std::string& error) {
        thread_.join();
        if (!read_) {
            error = error_;
            return false;
        }
        // The write removed every number; a row the reader did not see would go unlogged.
        if (count_ != static_cast<int64_t>(numbers_.size())) {
            error = "读取要删除的发票时数据已变化，请重试";
            return false;
        }
        values = std::move(values_);
        count = count_;
        lastHash = lastHash_;
        return true;
    }

private:
    void Run() {
        bool told = false;
        try {
            read_ = SelectRows(reader_, select_,
                               [this, &told](int32_t xh, std::string&& row) {
                                   if (!told) {
                                       startedPromise_.set_value(true);
                                       told = true;
                                   }
                                   if (!std::binary_search(numbers_.begin(), numbers_.end(), xh)) return;
                                   first_.before = std::move(row);
                                   first_.xh = xh;
                                   EncodeEntry(first_, lastHash_, values_);
                                   ++first_.seq;
                                   ++count_;
                               },
                               error_);
        } catch (...) {
            read_ = false;
            error_ = "变更记录的校验值无法计算";
        }
        if (!told) startedPromise_.set_value(read_);
    }

    std::string reader_, select_;
    std::vector<int32_t> numbers_;
    TChangeEntry first_;
    std::string lastHash_, error_;
    std::vector<std::string> values_;
    int64_t count_ = 0;
    bool read_ = false;
    std::promise<bool> startedPromise_;
    std::future<bool> started_;
    std::thread thread_;  // last: starts once the rest is made
};

bool TChangeLogWriter::AddRemoved(const std::string& sbssq, const std::vector<int32_t>& xhs, std::string& error) {
    std::vector<int32_t> sorted = SortedNumbers(xhs);
    std::string reader, ignored;
    // Few rows are read here at once; a write that has entries already keeps them in order here.
    if (sorted.size() < kEntriesPerWrite || sorted.size() > kNumbersAside || aside_ || hasher_ || !queued_.empty() ||
        pendingFailed_ || !DBSharedReader(context_.connection, reader, ignored))
        return AddStored(sbssq, xhs, true, error);
    // One select of every read, each read walking its own part of the key (an OR of them would
    // make the engine walk the whole period).
    const std::string head = RowsOfPeriod(sbssq);
    std::string select;
    std::size_t reads = 0;
    ReadWindows(sorted,
                [&](const std::string& numbers, TNumbers, TNumbers, std::string&) {
                    select += (select.empty() ? "" : " UNION ALL ") + head + numbers;
                    return ++reads <= kReadsAside;
                },
                ignored);
    if (reads > kReadsAside) return AddStored(sbssq, xhs, true, error);
    try {
        aside_ = std::make_unique<TAside>(reader, select + " ORDER BY xh", std::move(sorted), NextEntry(sbssq),
                                          lastHash_);
    } catch (const std::system_error&) {
        return AddStored(sbssq, xhs, true, error);  // no thread to spare
    }
    if (aside_->Started()) return true;
    return JoinAside(error);
}

bool TChangeLogWriter::JoinAside(std::string& error) {
    std::vector<std::string> values;
    int64_t count = 0;
    std::string lastHash;
    const bool read = aside_->Finish(values, count, lastHash, error);
    aside_.reset();
    if (!read) return false;
    lastSeq_ += count;
    lastHash_ = std::move(lastHash);
    return WriteValues(values, error);
}

TChangeLogWriter::~TChangeLogWriter() = default;

void TChangeLogWriter::Stamp(TChangeEntry& entry) const {
    entry.kind = ChangeKindText(batch_.kind);
    entry.time = time_;
    entry.seat = seat_;
    entry.batch = batchId_;
    entry.batchNote = batch_.note;
}

TChangeEntry TChangeLogWriter::NextEntry(const std::string& sbssq) const {
    TChangeEntry entry;
    entry.nsrsbh = context_.taxpayer;
    entry.seq = lastSeq_ + 1;
    entry.sbssq = sbssq;
    Stamp(entry);
    return entry;
}

bool TChangeLogWriter::AppendEntry(TChangeEntry& entry, std::string& error) {
    if (aside_ && !JoinAside(error)) return false;
    entry.seq = ++lastSeq_;
    Stamp(entry);
    queued_.push_back(std::move(entry));
    if (queued_.size() < kEntriesPerWrite) return true;
    return HandQueued(error);
}

bool TChangeLogWriter::HandQueued(std::string& error) {
    TChunk chunk;
    chunk.entries = std::move(queued_);
    queued_.clear();
    return Hand(std::move(chunk), error);
}

bool TChangeLogWriter::Hand(TChunk chunk, std::string& error) {
    if (!hasher_) {
        try {
            hasher_ = std::make_unique<THasher>(lastHash_);
        } catch (const std::system_error&) {
            return WriteHere(chunk, error);  // no thread to spare
        }
    }
    hasher_->Hand(std::move(chunk));
    return WriteHashed(kChunksAhead, error);
}

bool TChangeLogWriter::WriteHere(TChunk& chunk, std::string& error) {
    std::vector<std::string> values;
    chunk.Encode(lastHash_, values);
    return WriteValues(values, error);
}

bool TChangeLogWriter::WriteHashed(std::size_t keep, std::string& error) {
    std::vector<std::string> values;
    while (hasher_->Outstanding() > keep) {
        if (!hasher_->Take(values)) {
            error = "变更记录的校验值无法计算";
            return false;
        }
        if (!WriteValues(values, error)) return false;
    }
    return true;
}

bool TChangeLogWriter::WriteValues(const std::vector<std::string>& values, std::string& error) {
    return values.empty() ||
           ExecADOInsertRows(context_.connection, LogTable(context_.subAppCode), kEntryColumnNames, values, error);
}

bool TChangeLogWriter::Flush(std::string& error) {
    if (pendingFailed_) {
        error = pendingError_;
        return false;
    }
    if (aside_ && !JoinAside(error)) return false;
    if (hasher_) {
        if (!queued_.empty() && !HandQueued(error)) return false;
        if (!WriteHashed(0, error)) return false;
        lastHash_ = hasher_->LastHash();
        hasher_.reset();
    } else {
        TChunk rest;
        rest.entries = std::move(queued_);
        queued_.clear();
        if (!WriteHere(rest, error)) return false;
    }
    std::string sql = "UPDATE " + HeadTable(context_.subAppCode) + " SET jlxh=";
    AppendNumber(sql, lastSeq_);
    sql += ",hx=" + QuotedLiteral(lastHash_) + " WHERE nsrsbh=" + QuotedLiteral(context_.taxpayer);
    THostQuery query;
    return ExecADOQueryMsg(context_.connection, sql, &query, error, 0, 0);
}

bool StartChangeLogs(const TModuleContext& context, std::string& error) {
    const std::string& connection = context.connection;
    THostQuery query;
    // Runs at every start: the register's taxpayers are walked one index step each (a plain
    // DISTINCT reads every row of the register) and only those without a chain are kept.
    const std::string reg = QualifyTableName("sb_xxfpb", context.subAppCode);
    const std::string sql = "WITH RECURSIVE t(nsrsbh) AS (SELECT min(nsrsbh) FROM " + reg +
                            " UNION ALL SELECT (SELECT min(nsrsbh) FROM " + reg +
                            " WHERE nsrsbh > t.nsrsbh) FROM t WHERE t.nsrsbh IS NOT NULL)"
                            " SELECT nsrsbh FROM t WHERE nsrsbh IS NOT NULL AND nsrsbh NOT IN (SELECT nsrsbh FROM " +
                            HeadTable(context.subAppCode) + ")";
    if (!ExecADOQueryMsg(connection, sql, &query, error, 1, 0)) return false;
    std::vector<std::string> taxpayers;
    for (query.First(); !query.Eof(); query.Next()) taxpayers.push_back(query.FieldAsString("nsrsbh"));
    for (const std::string& nsrsbh : taxpayers) {
        THostTransaction transaction(connection, error);
        if (!transaction.Active()) return false;
        TModuleContext taxpayer = context;
        taxpayer.taxpayer = nsrsbh;
        TChangeLogWriter writer(taxpayer, {TChangeKind::Initial, std::string()});
        if (!writer.Lock(error) || !writer.Flush(error) || !transaction.Commit(error)) return false;
    }
    return true;
}

// ---- reading ---------------------------------------------------------------------------------

namespace {

bool SelectEntries(const TModuleContext& context, const std::string& where,
                   const std::function<void(TChangeEntry&)>& onEntry, std::string& error) {
    THostQuery query;
    TChangeEntry entry;
    int fields[12] = {};
    bool located = false;
    return ExecADOQueryRows(context.connection,
                            std::string("SELECT ") + kEntryColumns + " FROM " + LogTable(context.subAppCode) + where +
                                " ORDER BY jlxh",
                            &query, error, [&] {
                                if (!located) {
                                    const char* names[] = {"nsrsbh", "jlxh", "sbssq", "xh",   "lb", "sj",
                                                           "czy",    "pc",   "pcsm",  "qz",   "hz", "hx"};
                                    for (int i = 0; i < 12; ++i) fields[i] = query.FieldIndex(names[i]);
                                    located = true;
                                }
                                query.ReadStringAt(fields[0], entry.nsrsbh);
                                entry.seq = query.Int64At(fields[1]);
                                query.ReadStringAt(fields[2], entry.sbssq);
                                entry.xh = static_cast<int32_t>(query.Int64At(fields[3]));
                                query.ReadStringAt(fields[4], entry.kind);
                                query.ReadStringAt(fields[5], entry.time);
                                query.ReadStringAt(fields[6], entry.seat);
                                entry.batch = query.Int64At(fields[7]);
                                query.ReadStringAt(fields[8], entry.batchNote);
                                query.ReadStringAt(fields[9], entry.before);
                                query.ReadStringAt(fields[10], entry.after);
                                query.ReadStringAt(fields[11], entry.hash);
                                onEntry(entry);
                                return true;
                            });
}

// The period of an encoded row (its second column), as DecodeRow reads it.
void PeriodOf(const std::string& row, std::string& sbssq) {
    const std::size_t from = row.find('\t') + 1, to = row.find('\t', from);
    const std::string_view field = std::string_view(row).substr(from, to == std::string::npos ? to : to - from);
    if (field.find('\\') == std::string_view::npos) {
        sbssq.assign(field);
    } else {
        const std::vector<std::string> fields = DecodeRow(row);
        sbssq = fields.size() > 1 ? fields[1] : std::string();
    }
}

std::string RowName(const std::string& sbssq, int32_t xh) {
    return "所属期 " + sbssq + " 第 " + std::to_string(xh) + " 号发票";
}

// A keyed fingerprint of an encoded row. The key is drawn afresh for each verification, so that
// no row can be made to match another one's fingerprint.
class TRowPrint {
public:
    TRowPrint() : seed_(static_cast<std::size_t>(QRandomGenerator::system()->generate64())) {}
    std::size_t operator()(const std::string& row) const { return qHashBits(row.data(), row.size(), seed_); }

private:
    std::size_t seed_;
};

// The register replayed from the chain holds, per row, the row's fingerprint and the entry that
// wrote it, never the row: the entries stream through once.
struct TReplayedRow {
    std::size_t print;
    int64_t seq;
    bool seen;
};
using TReplayed = std::unordered_map<std::string, std::unordered_map<int32_t, TReplayedRow>>;

// The taxpayer's register rows as one statement saw them, in period and number order, with the
// chain's end at that moment.
// The chain's end: its last entry's number and hash; found false when the taxpayer has no chain.
struct TChainEnd {
    bool found = false;
    int64_t seq = 0;
    std::string hash;
};

struct TRegisterPrints {
    TChainEnd end;
    std::vector<std::string> periods;
    struct TRow {
        std::size_t period;
        int32_t xh;
        std::size_t print;
    };
    std::vector<TRow> rows;
};

void BreakVerdict(TLogVerdict& verdict, std::string text) {
    if (!verdict.whole) return;
    verdict.whole = false;
    verdict.broken = std::move(text);
}

std::string EntryRunsOut(int64_t seq) { return "（最后一条记录为第 " + std::to_string(seq) + " 条）"; }

// Walks the chain: each entry's number and hash, and its before against the replayed register.
bool WalkChain(const TModuleContext& context, const TRowPrint& print, std::optional<int64_t> upTo, TReplayed& replayed,
               std::string& lastHash, TLogVerdict& verdict, std::string& error) {
    // Entries come in runs of one period: its rows are looked up once per run.
    std::string runPeriod;
    std::unordered_map<int32_t, TReplayedRow>* runRows = nullptr;
    std::string where = " WHERE nsrsbh=" + QuotedLiteral(context.taxpayer);
    if (upTo) {
        where += " AND jlxh<=";
        AppendNumber(where, *upTo);
    }
    return SelectEntries(context, where, [&](TChangeEntry& e) {
        if (!verdict.whole) return;
        const int64_t expected = verdict.entries + 1;
        if (e.seq != expected) {
            BreakVerdict(verdict, "第 " + std::to_string(expected) + " 条记录缺失（其后为第 " + std::to_string(e.seq) + " 条）");
            return;
        }
        char hash[64];
        HashEntry(e, lastHash, hash);
        if (e.hash.size() != sizeof hash || e.hash.compare(0, sizeof hash, hash, sizeof hash) != 0) {
            BreakVerdict(verdict, "第 " + std::to_string(e.seq) + " 条记录（" + RowName(e.sbssq, e.xh) +
                                      "）的内容与其校验值不符，已被改动");
            return;
        }
        if (!runRows || runPeriod != e.sbssq) {
            runPeriod = e.sbssq;
            runRows = &replayed[e.sbssq];
        }
        auto& period = *runRows;
        const auto found = period.find(e.xh);
        if (found == period.end() ? !e.before.empty() : e.before.empty() || found->second.print != print(e.before)) {
            BreakVerdict(verdict, "第 " + std::to_string(e.seq) + " 条记录（" + RowName(e.sbssq, e.xh) +
                                      "）的改前内容与此前的记录不符");
            return;
        }
        if (e.after.empty()) {
            if (found != period.end()) period.erase(found);
        } else if (found != period.end()) {
            found->second = TReplayedRow{print(e.after), e.seq, false};
        } else {
            period.emplace(e.xh, TReplayedRow{print(e.after), e.seq, false});
        }
        lastHash = std::move(e.hash);
        ++verdict.entries;
    }, error);
}

// onEnd hears the chain's end as soon as the first row brings it (a taxpayer without a chain:
// when the rows are all read).
bool ReadRegisterPrints(const std::string& connection, const TModuleContext& context, const TRowPrint& print,
                        TRegisterPrints& out, const std::function<void(const TChainEnd&)>& onEnd,
                        std::string& error) {
    const std::string reg = QualifyTableName("sb_xxfpb", context.subAppCode);
    const std::string nsrsbh = QuotedLiteral(context.taxpayer);
    // The chain's end is read in the same statement as the rows, so that both are of one moment.
    std::string sql = "SELECT h.jlxh,h.hx";
    for (int i = 0; i < kColumnCount; ++i) sql += std::string(",r.") + kColumns[i].name;
    sql += " FROM " + HeadTable(context.subAppCode) + " h LEFT JOIN " + reg +
           " r ON r.nsrsbh=h.nsrsbh WHERE h.nsrsbh=" + nsrsbh + " ORDER BY r.sbssq,r.xh";
    THostQuery query;
    std::optional<TRowReader> reader;
    int seqField = 0, hashField = 0, xhField = 0;
    std::string row, period;
    bool headRead = false;
    const auto keep = [&](int32_t xh) {
        PeriodOf(row, period);
        if (out.periods.empty() || out.periods.back() != period) out.periods.push_back(period);
        out.rows.push_back({out.periods.size() - 1, xh, print(row)});
    };
    if (!ExecADOQueryRows(connection, sql, &query, error, [&] {
            if (!reader) {
                reader.emplace(query);
                seqField = query.FieldIndex("jlxh");
                hashField = query.FieldIndex("hx");
                xhField = query.FieldIndex("xh");
            }
            if (!headRead) {
                out.end.found = true;
                out.end.seq = query.Int64At(seqField);
                query.ReadStringAt(hashField, out.end.hash);
                headRead = true;
                if (onEnd) onEnd(out.end);
            }
            if (query.IsNullAt(xhField)) return true;  // a chain whose register is empty
            reader->Read(query, row);
            keep(static_cast<int32_t>(query.Int64At(xhField)));
            return true;
        }))
        return false;
    if (headRead) return true;
    // No chain yet: every row of the register stands outside the log.
    if (!SelectRows(connection, RowSelectHead(context.subAppCode) + " WHERE nsrsbh=" + nsrsbh + " ORDER BY sbssq,xh",
                    [&](int32_t xh, std::string&& encoded) {
                        row = std::move(encoded);
                        keep(xh);
                    },
                    error))
        return false;
    if (onEnd) onEnd(out.end);
    return true;
}

// Replayed, the chain must give the register exactly.
void CompareRegister(const TRegisterPrints& reg, TReplayed& replayed, TLogVerdict& verdict) {
    std::size_t matched = 0, live = 0;
    for (const auto& [sbssq, rows] : replayed) live += rows.size();
    std::size_t runIndex = SIZE_MAX;
    std::unordered_map<int32_t, TReplayedRow>* runRows = nullptr;
    for (const TRegisterPrints::TRow& r : reg.rows) {
        const std::string& sbssq = reg.periods[r.period];
        if (r.period != runIndex) {
            runIndex = r.period;
            const auto period = replayed.find(sbssq);
            runRows = period == replayed.end() ? nullptr : &period->second;
        }
        const auto found = runRows ? runRows->find(r.xh) : decltype(runRows->find(r.xh)){};
        if (!runRows || found == runRows->end()) {
            BreakVerdict(verdict, "登记簿中的" + RowName(sbssq, r.xh) + "不在变更记录中，它在记录之外被写入");
            return;
        }
        if (found->second.print != r.print) {
            BreakVerdict(verdict, "登记簿中的" + RowName(sbssq, r.xh) + "与变更记录不符，它在记录之外被改动" +
                                      EntryRunsOut(found->second.seq));
            return;
        }
        found->second.seen = true;
        ++matched;
    }
    if (matched == live) return;
    // The first missing row in register order is named.
    std::optional<std::pair<std::string, int32_t>> first;
    int64_t seq = 0;
    for (const auto& [period, rows] : replayed)
        for (const auto& [xh, held] : rows)
            if (!held.seen && (!first || std::make_pair(period, xh) < *first)) {
                first.emplace(period, xh);
                seq = held.seq;
            }
    BreakVerdict(verdict, "登记簿中没有" + RowName(first->first, first->second) + "，它在记录之外被删除" + EntryRunsOut(seq));
}

// The register read on a reader connection of its own while the chain is walked on the
// context's: the two reads are the bulk of a verification and wait on different pages.
class TRegisterAside {
public:
    TRegisterAside(const TModuleContext& context, const TRowPrint& print) {
        std::string ignored;
        if (!DBOpenReader(context.connection, reader_, ignored)) return;
        try {
            end_ = endPromise_.get_future();
            worker_ = std::thread([this, &context, &print] {
                bool told = false;
                try {
                    read_ = ReadRegisterPrints(reader_, context, print, prints_, [&](const TChainEnd& end) {
                        endPromise_.set_value(end);
                        told = true;
                    }, error_);
                } catch (...) {
                    read_ = false;
                }
                if (!told) endPromise_.set_value(std::nullopt);
            });
        } catch (...) {
            end_ = {};
        }
    }
    ~TRegisterAside() { Join(); }
    TRegisterAside(const TRegisterAside&) = delete;
    TRegisterAside& operator=(const TRegisterAside&) = delete;

    // The chain's end of the moment the reader reads the register at, as soon as it knows it;
    // none when the reader could not read it.
    std::optional<TChainEnd> End() { return end_.valid() ? end_.get() : std::nullopt; }

    // The rows read, or null when the reader could not read them.
    TRegisterPrints* Take() {
        Join();
        return read_ ? &prints_ : nullptr;
    }

private:
    void Join() {
        if (worker_.joinable()) worker_.join();
        if (!reader_.empty()) DBCloseReader(reader_);
        reader_.clear();
    }

    std::string reader_, error_;
    std::promise<std::optional<TChainEnd>> endPromise_;
    std::future<std::optional<TChainEnd>> end_;
    std::thread worker_;
    bool read_ = false;
    TRegisterPrints prints_;
};

}  // namespace

namespace {

// With aside, the register is read on a reader connection while the chain is walked here.
bool Verify(const TModuleContext& context, bool aside, TLogVerdict& verdict, std::string& error) {
    verdict = TLogVerdict();
    const TRowPrint print;
    // The register and the chain's end are read in one statement, and the chain is walked up to
    // that end: a write of another seat meanwhile is of a later moment and stays out of both.
    std::optional<TRegisterAside> reader;
    if (aside) reader.emplace(context, print);
    std::optional<TChainEnd> end = reader ? reader->End() : std::nullopt;
    TRegisterPrints here;
    const TRegisterPrints* reg = nullptr;
    if (!end) {
        if (!ReadRegisterPrints(context.connection, context, print, here, {}, error)) return false;
        end = here.end;
        reg = &here;
    }
    const TChainEnd& head = *end;
    TReplayed replayed;
    std::string lastHash;
    if (!WalkChain(context, print, head.found ? std::optional<int64_t>(head.seq) : std::nullopt, replayed, lastHash,
                   verdict, error))
        return false;
    if (!verdict.whole) return true;
    if (head.seq != verdict.entries || head.hash != lastHash) {
        BreakVerdict(verdict, head.seq > verdict.entries
                                  ? "第 " + std::to_string(verdict.entries + 1) + " 条记录缺失（记录应有 " +
                                        std::to_string(head.seq) + " 条）"
                                  : "变更记录的链尾与最后一条记录（第 " + std::to_string(verdict.entries) + " 条）不符");
        return true;
    }
    if (!reg) {
        reg = reader->Take();
        // The reader knew the end but did not read every row: all of it again, on this connection.
        if (!reg) return Verify(context, false, verdict, error);
    }
    CompareRegister(*reg, replayed, verdict);
    return true;
}

}  // namespace

bool VerifyChangeLog(const TModuleContext& context, TLogVerdict& verdict, std::string& error) {
    return Verify(context, true, verdict, error);
}

bool ReadChangeEntries(const TModuleContext& context, std::optional<int32_t> xh,
                       const std::function<void(const TChangeEntry&)>& onEntry, std::string& error) {
    std::string where = " WHERE nsrsbh=" + QuotedLiteral(context.taxpayer) + " AND sbssq=" + QuotedLiteral(context.period);
    if (xh) where += " AND xh=" + std::to_string(*xh);
    return SelectEntries(context, where, [&onEntry](TChangeEntry& e) { onEntry(e); }, error);
}

std::string LocalTimeText(const std::string& utc) {
    return QDateTime::fromString(QString::fromLatin1(utc), Qt::ISODate)
        .toLocalTime()
        .toString(u"yyyy-MM-dd hh:mm:ss")
        .toStdString();
}

std::string ChangedColumnsText(const TChangeEntry& entry) {
    const std::vector<std::string> before = DecodeRow(entry.before), after = DecodeRow(entry.after);
    std::string changes;
    for (int i = 0; i < kColumnCount; ++i) {
        const std::string& was = i < static_cast<int>(before.size()) ? before[i] : std::string();
        const std::string& now = i < static_cast<int>(after.size()) ? after[i] : std::string();
        if (was == now) continue;
        changes += (changes.empty() ? "" : "; ") + std::string(kColumns[i].name) + ": " + was + " -> " + now;
    }
    return changes;
}

// ---- putting logged rows back ------------------------------------------------------------------

namespace {

// The logged row's columns as literals of a statement; empty when the row is not one the log
// writes (a number column holding anything but a number).
std::vector<std::string> RowLiterals(const std::string& row) {
    std::vector<std::string> literals;
    ForEachField(row, [&literals](std::string& field, bool null) {
        const TColumnType type = literals.size() < static_cast<std::size_t>(kColumnCount)
                                     ? kColumns[literals.size()].type
                                     : TColumnType::Text;
        if (null) {
            literals.push_back("NULL");
        } else if (type == TColumnType::Text) {
            literals.push_back(QuotedLiteral(field));
        } else {
            std::size_t i = field[0] == '-' ? 1 : 0, digits = 0, dots = 0;
            for (; i < field.size(); ++i) {
                if (field[i] == '.' && type == TColumnType::Money) ++dots;
                else if (field[i] >= '0' && field[i] <= '9') ++digits;
                else dots = 2;
            }
            literals.push_back(digits && dots < 2 ? std::move(field) : std::string());
        }
    });
    if (literals.size() != static_cast<std::size_t>(kColumnCount) ||
        std::find(literals.begin(), literals.end(), std::string()) != literals.end())
        literals.clear();
    return literals;
}

std::string RowKeyWhere(const TModuleContext& context, const std::string& sbssq, int32_t xh) {
    return " WHERE nsrsbh=" + QuotedLiteral(context.taxpayer) + " AND sbssq=" + QuotedLiteral(sbssq) + " AND xh=" +
           std::to_string(xh);
}

thread_local std::vector<TBatchWatch*> liveWatches;

}  // namespace

std::vector<std::string> LoggedRowLiterals(const std::string& row) { return RowLiterals(row); }

bool ReadChangeEntriesSince(const TModuleContext& context, int64_t seq,
                            const std::function<void(const TChangeEntry&)>& onEntry, std::string& error) {
    return SelectEntries(context,
                         " WHERE nsrsbh=" + QuotedLiteral(context.taxpayer) + " AND jlxh>" + std::to_string(seq) +
                             " AND sbssq=" + QuotedLiteral(context.period),
                         [&onEntry](TChangeEntry& e) { onEntry(e); }, error);
}

bool RecordDeclaredDocument(const TModuleContext& context, const TDeclaredDocument& document, std::string& error) {
    std::string cells;
    for (const auto& [name, value] : document.cells) {
        AppendEscaped(cells, name);
        cells += '\t';
        AppendEscaped(cells, value);
        cells += '\n';
    }
    THostQuery query;
    return ExecADOQueryMsg(context.connection,
                           "INSERT INTO " + LogTable(context.subAppCode) + "sb (nsrsbh,sbssq,jlxh,sj,hx,dz) VALUES (" +
                               QuotedLiteral(context.taxpayer) + "," + QuotedLiteral(context.period) + ",COALESCE((SELECT jlxh FROM " +
                               HeadTable(context.subAppCode) + " WHERE nsrsbh=" + QuotedLiteral(context.taxpayer) + "),0)," +
                               QuotedLiteral(document.time) + "," + QuotedLiteral(document.sha256) + "," + QuotedLiteral(cells) + ")",
                           &query, error, 0, 0);
}

bool ReadLastDeclaredDocument(const TModuleContext& context, TDeclaredDocument& document, bool& found,
                              std::string& error) {
    THostQuery query;
    found = false;
    if (!ExecADOQueryMsg(context.connection,
                         "SELECT jlxh,sj,hx,dz FROM " + LogTable(context.subAppCode) + "sb WHERE nsrsbh=" +
                             QuotedLiteral(context.taxpayer) + " AND sbssq=" + QuotedLiteral(context.period) +
                             " ORDER BY sj DESC,jlxh DESC LIMIT 1",
                         &query, error, 1, 0))
        return false;
    if (query.RecordCount() == 0) return true;
    found = true;
    document.seq = query.FieldAsInt64("jlxh");
    document.time = query.FieldAsString("sj");
    document.sha256 = query.FieldAsString("hx");
    document.cells.clear();
    const std::string cells = query.FieldAsString("dz");
    for (std::size_t at = 0; at < cells.size();) {
        std::size_t end = cells.find('\n', at);
        if (end == std::string::npos) end = cells.size();
        const std::vector<std::string> fields = DecodeRow(cells.substr(at, end - at));
        if (fields.size() == 2) document.cells.emplace_back(fields[0], fields[1]);
        at = end + 1;
    }
    return true;
}

std::string LoggedRowInsertSql(const TModuleContext& context, const std::string& row, int32_t xh) {
    std::vector<std::string> literals = RowLiterals(row);
    if (literals.empty()) return std::string();
    literals[0] = QuotedLiteral(context.taxpayer);
    literals[2] = std::to_string(xh);
    std::string sql = "INSERT INTO " + QualifyTableName("sb_xxfpb", context.subAppCode) + " (";
    for (int i = 0; i < kColumnCount; ++i) sql += std::string(i ? "," : "") + kColumns[i].name;
    sql += ") VALUES (";
    for (int i = 0; i < kColumnCount; ++i) sql += (i ? "," : "") + literals[i];
    return sql + ")";
}

std::string LoggedRowUpdateSql(const TModuleContext& context, const std::string& row) {
    const std::vector<std::string> literals = RowLiterals(row);
    if (literals.empty()) return std::string();
    std::string sql = "UPDATE " + QualifyTableName("sb_xxfpb", context.subAppCode) + " SET ";
    for (int i = 3; i < kColumnCount; ++i) sql += std::string(i > 3 ? "," : "") + kColumns[i].name + "=" + literals[i];
    const std::vector<std::string> fields = DecodeRow(row);
    return sql + RowKeyWhere(context, fields[1], static_cast<int32_t>(std::strtol(fields[2].c_str(), nullptr, 10)));
}

std::string LoggedRowDeleteSql(const TModuleContext& context, const std::string& sbssq, int32_t xh) {
    return "DELETE FROM " + QualifyTableName("sb_xxfpb", context.subAppCode) + RowKeyWhere(context, sbssq, xh);
}

bool ReadPeriodBatches(const TModuleContext& context, std::vector<TBatchInfo>& batches, std::string& error) {
    batches.clear();
    THostQuery query;
    return ExecADOQueryRows(context.connection,
                            "SELECT pc,lb,sj,czy,pcsm,COUNT(*) AS n FROM " + LogTable(context.subAppCode) +
                                " WHERE nsrsbh=" + QuotedLiteral(context.taxpayer) + " AND sbssq=" + QuotedLiteral(context.period) +
                                " GROUP BY pc,lb,sj,czy,pcsm ORDER BY pc DESC",
                            &query, error, [&] {
                                TBatchInfo b;
                                b.batch = query.FieldAsInt64("pc");
                                b.kind = query.FieldAsString("lb");
                                b.time = query.FieldAsString("sj");
                                b.seat = query.FieldAsString("czy");
                                b.note = query.FieldAsString("pcsm");
                                b.rows = query.FieldAsInt64("n");
                                batches.push_back(std::move(b));
                                return true;
                            });
}

bool ReadBatchEntries(const TModuleContext& context, int64_t batch, std::vector<TChangeEntry>& entries,
                      std::string& error) {
    entries.clear();
    // A batch's entries follow one another from its first.
    return SelectEntries(context,
                         " WHERE nsrsbh=" + QuotedLiteral(context.taxpayer) + " AND jlxh>=" + std::to_string(batch) +
                             " AND pc=" + std::to_string(batch),
                         [&entries](TChangeEntry& e) { entries.push_back(e); }, error);
}

std::string RestoreNote(int64_t batch) { return "恢复第 " + std::to_string(batch) + " 批"; }
std::string UndoNote(int64_t batch) { return "撤销第 " + std::to_string(batch) + " 批"; }

bool FindRestoringBatch(const TModuleContext& context, int64_t batch, int64_t& restoring, std::string& error) {
    THostQuery query;
    restoring = 0;
    if (!ExecADOQueryMsg(context.connection,
                         "SELECT MAX(pc) AS pc FROM " + LogTable(context.subAppCode) + " WHERE nsrsbh=" +
                             QuotedLiteral(context.taxpayer) + " AND jlxh>" + std::to_string(batch) + " AND pcsm IN (" +
                             QuotedLiteral(RestoreNote(batch)) + "," + QuotedLiteral(UndoNote(batch)) + ")",
                         &query, error, 1, 0))
        return false;
    if (query.RecordCount() > 0 && !query.FieldIsNull("pc")) restoring = query.FieldAsInt64("pc");
    return true;
}

TBatchWatch::TBatchWatch(std::string taxpayer) : taxpayer_(std::move(taxpayer)) { liveWatches.push_back(this); }
TBatchWatch::~TBatchWatch() { std::erase(liveWatches, this); }

void TBatchWatch::NoteCommitted(const std::string& taxpayer, int64_t batch) {
    for (TBatchWatch* watch : liveWatches)
        if (watch->taxpayer_ == taxpayer) watch->batches_.push_back(batch);
}

}  // namespace vantrel
