// The host library's operations as the module uses them. Implemented by libcorlith.so.
// Every std::string here is GBK text.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class QWidget;
class QObject;
class QString;

#if defined(CORLITH_BUILD)
#define CORLITH_API __attribute__((visibility("default")))
#else
#define CORLITH_API __attribute__((visibility("default")))
#endif

using THostHandle = std::uintptr_t;  // a window handle (QWidget::winId()), 0 for none

// Base of every object the host hands out by counted reference.
class CORLITH_API THostObject {
public:
    virtual ~THostObject();
};

// ---- declaration-kind catalogue -------------------------------------------------------

struct CORLITH_API TReportInfo {
    std::string Code;              // form number (SBBBH)
    bool ApprovalRestricted = false;
    std::string FuncCode;          // function code of the module that fills the form
    std::string Name;
};

struct CORLITH_API TDeclareTypeInfo {
    std::string Code;              // declaration kind number (SBZLBH)
    int32_t PeriodKind = 1;        // 1 monthly, 2 quarterly, 3 yearly
    bool ApprovalRestricted = false;
    bool DeclaredEditable = false;
    std::vector<TReportInfo> Reports;
    std::string Name;
};

class CORLITH_API TAryDeclareTypeInfo : public THostObject {
public:
    std::vector<TDeclareTypeInfo> Items;
};

// ---- sub-application values -----------------------------------------------------------

// Named entries; a key matches the first entry whose name equals it ignoring ASCII case.
class CORLITH_API SubAppVo : public THostObject {
public:
    std::string GetText(const std::string& key) const;     // empty when absent or not text
    bool GetBool(const std::string& key) const;            // false when absent
    std::shared_ptr<THostObject> GetObject(const std::string& key) const;  // null when absent

    void SetText(const std::string& key, const std::string& value);
    void SetBool(const std::string& key, bool value);
    void SetObject(const std::string& key, std::shared_ptr<THostObject> value);
    void Remove(const std::string& key);
    void Clear();

private:
    struct Entry;
    Entry* find(const std::string& key);
    const Entry* find(const std::string& key) const;
    Entry& slot(const std::string& key);  // the key's entry, added at the end when missing
    std::vector<std::shared_ptr<Entry>> entries_;
};

// ---- context --------------------------------------------------------------------------

CORLITH_API THostHandle GetAppHandle();
CORLITH_API THostHandle GetMainFrameHandle();
CORLITH_API void GetAppPath(std::string& out);
CORLITH_API void GetCurSubAppPath(std::string& out);   // ends with "/"
CORLITH_API void GetCurSubAppCode(std::string& out);
CORLITH_API void GetCurFuncCode(std::string& out);
CORLITH_API SubAppVo* GetCurSubAppInfo();
CORLITH_API SubAppVo* GetCurSubAppVo();
CORLITH_API SubAppVo* GetUserInfoVO();
CORLITH_API SubAppVo* GetCompanyInfoVO();
CORLITH_API QWidget* GetCurParentForm();
CORLITH_API QWidget* GetgsMainFrameParentForm();
// The host's clock: local time as "yyyy-MM-dd hh:mm:ss". Every "today" of the module is its date.
CORLITH_API std::string GetHostNow();
CORLITH_API void GetUserConfigParam(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, std::string& out);

// ---- database -------------------------------------------------------------------------

// The query object: the rows of one select, read by field name (ASCII case ignored), and
// append/post of one row into the single table that the select read.
class CORLITH_API THostQuery {
public:
    THostQuery();
    ~THostQuery();
    THostQuery(const THostQuery&) = delete;
    THostQuery& operator=(const THostQuery&) = delete;

    int RecordCount() const;
    bool Eof() const;
    void First();
    void Next();

    int FieldIndex(const std::string& name) const;   // -1 when the result has no such field
    bool FieldIsNull(const std::string& name) const;
    std::string FieldAsString(const std::string& name) const;   // GBK; empty for NULL
    int32_t FieldAsInteger(const std::string& name) const;      // 0 for NULL or text that is no number
    int64_t FieldAsInt64(const std::string& name) const;
    double FieldAsFloat(const std::string& name) const;
    int64_t FieldAsCurrency(const std::string& name) const;     // ten-thousandths, halves to even

    // Same readers by index, for loops over many rows.
    bool IsNullAt(int field) const;
    std::string StringAt(int field) const;
    int64_t Int64At(int field) const;
    double FloatAt(int field) const;
    int64_t CurrencyAt(int field) const;
    // StringAt into out, reusing its storage: rows read one after another into the same
    // strings allocate nothing once the strings are long enough.
    void ReadStringAt(int field, std::string& out) const;

    // Rows the last insert, update or delete run through this query changed (mode 0).
    int64_t RowsAffected() const;

    void Append();
    void SetFieldValue(const std::string& name, const std::string& value);
    bool Post(std::string& error);

    struct Impl;
    Impl* impl() const { return d_; }

private:
    Impl* d_;
};

// mode 1: a select whose rows land in query; mode 0: insert, update or delete.
CORLITH_API bool ExecADOQueryMsg(const std::string& connection, const std::string& statement,
                                 THostQuery* query, std::string& error, int mode, int reserved);
// A select whose rows are handed over one at a time instead of being kept: while onRow runs,
// query holds just that row (read it as any result); afterwards it holds none. onRow returning
// false ends the read early. The result and error are those of ExecADOQueryMsg.
CORLITH_API bool ExecADOQueryRows(const std::string& connection, const std::string& statement,
                                  THostQuery* query, std::string& error, const std::function<bool()>& onRow);
// Inserts rows into one table by a statement prepared once, each row's values bound to it
// instead of written into its text, so that a long batch is not parsed row by row. values
// holds the rows one after another, columns.size() values each (GBK text, which a column of a
// number type reads as it reads the same literal). The statement log and the failures a test
// arms see one statement, "INSERT INTO table (columns) VALUES (?,...)". The result and error
// are those of ExecADOQueryMsg.
CORLITH_API bool ExecADOInsertRows(const std::string& connection, const std::string& table,
                                   const std::vector<std::string>& columns, const std::vector<std::string>& values,
                                   std::string& error);
// A second connection to the database of connection, named in reader, for reading from
// another thread while connection goes on in this one (each connection is used by one thread
// at a time). False with the error when the database cannot be opened twice (an in-memory
// SQLite database). DBCloseReader closes it; CloseConnections closes it too.
CORLITH_API bool DBOpenReader(const std::string& connection, std::string& reader, std::string& error);
CORLITH_API void DBCloseReader(const std::string& reader);
// The connection's own reader, as DBOpenReader opens one, but opened at the first call and kept
// until the connection is closed or bound anew: for reads beside every long write, which would
// otherwise open a connection each. Not to be closed by DBCloseReader.
CORLITH_API bool DBSharedReader(const std::string& connection, std::string& reader, std::string& error);
// Whether the connection's database refuses every write (read-only file or server); false for
// an unknown connection.
CORLITH_API bool DBIsReadOnly(const std::string& connection);
// The server's name for the connection's session user; empty for SQLite.
CORLITH_API std::string DBSessionUser(const std::string& connection);
CORLITH_API bool DBBeginTrans(const std::string& connection, std::string& error);
CORLITH_API bool DBCommitTrans(const std::string& connection, std::string& error);
CORLITH_API void DBRollbackTrans(const std::string& connection, std::string& error);
// Returns the date as a literal for the connection's statements: 'yyyy-MM-dd'.
CORLITH_API std::string GetSQLDataTime(std::string& out, const std::string& connection,
                                       const std::string& date);

// ---- messages -------------------------------------------------------------------------

CORLITH_API void GetMsg(int number, const std::string& param, int flag, std::string& out);
CORLITH_API void InforMsg(int number, const std::string& param, int flag);
CORLITH_API void InfoMsgBox(const std::string& text, int flags);
CORLITH_API bool ConfirmMsgBoxA(const std::string& text, int flags);

// ---- skin -----------------------------------------------------------------------------

// Colours are 24-bit values, red in the lowest byte.
CORLITH_API int32_t gclModuleBackColor();
CORLITH_API int32_t gclModuleToolBarColor();
CORLITH_API int32_t gclTopBarColor();
CORLITH_API int32_t gclFrameBackColor();
CORLITH_API int32_t gclSysFontColor();
CORLITH_API int32_t giSysFontSize();
CORLITH_API int32_t giSysFontCharSet();
CORLITH_API void SetSkinSchemeCtrls(QWidget* window);

// ---- text and help --------------------------------------------------------------------

CORLITH_API std::string ReplaceStr(const std::string& text, const std::string& find,
                                   const std::string& replacement);
// Takes the text before the first separator (trimmed) off the front of text and returns it;
// when there is no separator the whole text (trimmed) is returned and text becomes empty.
// With flag set, what stays in text is trimmed as well. Matches start only on whole GBK characters.
CORLITH_API std::string FetchHeadstrTrim(bool flag, const std::string& separator, std::string& text);
CORLITH_API void SetgsHelpHtml(const std::string& page);

// ---- the GBK/QString boundary ---------------------------------------------------------

CORLITH_API QString GbkToQString(const std::string& gbk);
CORLITH_API std::string QStringToGbk(const QString& text);
