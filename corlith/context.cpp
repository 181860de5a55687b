#include "context.h"

#include "corlith_host.h"
#include "corlith_test.h"
#include "database.h"
#include "message_box.h"
#include "test_control.h"

#include <QPointer>
#include <QWidget>

#include <map>

THostObject::~THostObject() = default;

// ---- SubAppVo -------------------------------------------------------------------------

struct SubAppVo::Entry {
    enum class Kind { Text, Bool, Object };
    std::string name;
    Kind kind = Kind::Text;
    std::string text;
    bool flag = false;
    std::shared_ptr<THostObject> object;
};

namespace {

bool EqualsIgnoringAsciiCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

std::string LowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return s;
}

}  // namespace

SubAppVo::Entry* SubAppVo::find(const std::string& key) {
    for (auto& e : entries_)
        if (EqualsIgnoringAsciiCase(e->name, key)) return e.get();
    return nullptr;
}

const SubAppVo::Entry* SubAppVo::find(const std::string& key) const {
    for (const auto& e : entries_)
        if (EqualsIgnoringAsciiCase(e->name, key)) return e.get();
    return nullptr;
}

SubAppVo::Entry& SubAppVo::slot(const std::string& key) {
    if (Entry* e = find(key)) return *e;
    entries_.push_back(std::make_shared<Entry>());
    entries_.back()->name = key;
    return *entries_.back();
}

std::string SubAppVo::GetText(const std::string& key) const {
    try {
        const Entry* e = find(key);
        return e && e->kind == Entry::Kind::Text ? e->text : std::string();
    } catch (...) {
        return std::string();
    }
}

bool SubAppVo::GetBool(const std::string& key) const {
    const Entry* e = find(key);
    return e && e->kind == Entry::Kind::Bool && e->flag;
}

std::shared_ptr<THostObject> SubAppVo::GetObject(const std::string& key) const {
    const Entry* e = find(key);
    return e && e->kind == Entry::Kind::Object ? e->object : nullptr;
}

void SubAppVo::SetText(const std::string& key, const std::string& value) {
    try {
        Entry& e = slot(key);
        e = Entry{e.name, Entry::Kind::Text, value, false, nullptr};
    } catch (...) {
    }
}

void SubAppVo::SetBool(const std::string& key, bool value) {
    try {
        Entry& e = slot(key);
        e = Entry{e.name, Entry::Kind::Bool, std::string(), value, nullptr};
    } catch (...) {
    }
}

void SubAppVo::SetObject(const std::string& key, std::shared_ptr<THostObject> value) {
    try {
        Entry& e = slot(key);
        e = Entry{e.name, Entry::Kind::Object, std::string(), false, std::move(value)};
    } catch (...) {
    }
}

void SubAppVo::Remove(const std::string& key) {
    std::erase_if(entries_, [&](const std::shared_ptr<Entry>& e) { return EqualsIgnoringAsciiCase(e->name, key); });
}

void SubAppVo::Clear() { entries_.clear(); }

// ---- context --------------------------------------------------------------------------

namespace {

struct Context {
    corlith::HostSetup setup;
    THostHandle mainFrame = 0;
    QPointer<QWidget> parentForm;
    QPointer<QWidget> mainFrameParentForm;
    SubAppVo subAppInfo, subAppVo, userInfo, companyInfo;
    std::map<std::pair<std::string, std::string>, std::string> userConfig;   // keys lower-cased
    std::string helpPage;
};

Context& ctx() {
    static Context c;
    return c;
}

void Assign(std::string& out, const std::string& value) {
    try {
        out = value;
    } catch (...) {
    }
}

}  // namespace

namespace corlith::context {

void Reset() {
    Context& c = ctx();
    c.setup = corlith::HostSetup();
    c.mainFrame = 0;
    c.parentForm = nullptr;
    c.mainFrameParentForm = nullptr;
    c.subAppInfo.Clear();
    c.subAppVo.Clear();
    c.userInfo.Clear();
    c.companyInfo.Clear();
    c.userConfig.clear();
    c.helpPage.clear();
}

}  // namespace corlith::context

THostHandle GetAppHandle() { return ctx().setup.appHandle; }
THostHandle GetMainFrameHandle() { return ctx().mainFrame; }
void GetAppPath(std::string& out) { Assign(out, ctx().setup.appPath); }
void GetCurSubAppPath(std::string& out) { Assign(out, ctx().setup.subAppPath); }
void GetCurSubAppCode(std::string& out) { Assign(out, ctx().setup.subAppCode); }
void GetCurFuncCode(std::string& out) { Assign(out, ctx().setup.funcCode); }
SubAppVo* GetCurSubAppInfo() { return &ctx().subAppInfo; }
SubAppVo* GetCurSubAppVo() { return &ctx().subAppVo; }
SubAppVo* GetUserInfoVO() { return &ctx().userInfo; }
SubAppVo* GetCompanyInfoVO() { return &ctx().companyInfo; }
QWidget* GetCurParentForm() { return ctx().parentForm.data(); }
QWidget* GetgsMainFrameParentForm() { return ctx().mainFrameParentForm.data(); }

void GetUserConfigParam(const std::string& section, const std::string& key, const std::string& defaultValue,
                        std::string& out) {
    try {
        const auto& config = ctx().userConfig;
        const auto it = config.find({LowerAscii(section), LowerAscii(key)});
        out = it != config.end() ? it->second : defaultValue;
    } catch (...) {
    }
}

void SetgsHelpHtml(const std::string& page) { Assign(ctx().helpPage, page); }

namespace corlith {

void Configure(const HostSetup& setup) {
    try {
        HostSetup copy = setup;
        auto slash = [](std::string& path) {
            if (!path.empty() && path.back() != '/') path += '/';
        };
        slash(copy.appPath);
        slash(copy.subAppPath);
        ctx().setup = std::move(copy);
    } catch (...) {
    }
}

void SetMainFrameHandle(THostHandle handle) { ctx().mainFrame = handle; }

void SetParentForms(QWidget* parentForm, QWidget* mainFrameParentForm) {
    ctx().parentForm = parentForm;
    ctx().mainFrameParentForm = mainFrameParentForm;
}

void SetUserConfigParam(const std::string& section, const std::string& key, const std::string& value) {
    try {
        ctx().userConfig[{LowerAscii(section), LowerAscii(key)}] = value;
    } catch (...) {
    }
}

void ClearUserConfig() { ctx().userConfig.clear(); }

void ResetHost() {
    try {
        context::Reset();
        db::CloseAll();
        msgbox::Reset();
        testctl::Reset();
    } catch (...) {
    }
}

}  // namespace corlith

namespace corlith::test {

std::string HelpHtml() {
    try {
        return ctx().helpPage;
    } catch (...) {
        return std::string();
    }
}

}  // namespace corlith::test
