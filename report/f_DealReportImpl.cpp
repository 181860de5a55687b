#include "report/f_DealReportImpl.h"

#include "invoice/f_FpDealGlobal.h"
#include "invoice/f_GlobalUnit.h"
#include "report/f_XmlUtil.h"
#include "invoice/f_MessageIds.h"

#include <pugixml.hpp>

#include <exception>
#include <filesystem>

namespace {

// A plain pointer: the unload's release must never meet an object that static destruction
// has already taken down, whatever the order of the module's translation units.
std::shared_ptr<TAryDeclareTypeInfo>* g_catalogue = nullptr;

void HoldCatalogue(std::shared_ptr<TAryDeclareTypeInfo> catalogue) {
    if (!g_catalogue) g_catalogue = new std::shared_ptr<TAryDeclareTypeInfo>();
    *g_catalogue = std::move(catalogue);
}

std::string HostMessage(int number) {
    std::string text;
    GetMsg(number, std::string(), 1, text);
    return text;
}

std::string ApprovedFilePath(const vantrel::TModuleContext& context) {
    return context.subAppPath + "Temp/" + context.taxpayer + "/" + context.period + "/Hdxx.xml";
}

// The select shared by S1 and S2, up to and including the form code.
std::string DeclareStateHead(const std::string& kindCode, const std::string& formCode, const std::string& nsrsbh,
                             const std::string& kjny, const std::string& subAppCode) {
    return "select A.*, B.SBBZ from " + QualifyTableName("SB_SBB", subAppCode) + " A, " +
           QualifyTableName("SB_SBZLB", subAppCode) +
           " B where A.NSRSBH = B.NSRSBH AND A.KJNY = B.KJNY AND A.SBPC = B.SBPC AND " +
           " A.SBZLBH = B.SBZLBH AND A.SBZLBH = '" + vantrel::QuoteInner(kindCode) + "' and A.nsrsbh = '" + vantrel::QuoteInner(nsrsbh) +
           "' and A.kjny = '" + vantrel::QuoteInner(kjny) + "' and A.sbbbh = '" + vantrel::QuoteInner(formCode);
}

}  // namespace

namespace vantrel {

std::shared_ptr<TAryDeclareTypeInfo> HeldDeclareCatalogue() { return g_catalogue ? *g_catalogue : nullptr; }

void ReleaseDeclareCatalogue() {
    delete g_catalogue;
    g_catalogue = nullptr;
}

}  // namespace vantrel

bool FindDeclareForm(const vantrel::TModuleContext& context, const std::string& funcCode, std::string& kindCode,
                     std::string& formCode, bool& declaredEditable) {
    HoldCatalogue(context.catalogue);
    const std::shared_ptr<TAryDeclareTypeInfo> catalogue = vantrel::HeldDeclareCatalogue();
    if (!catalogue) return false;
    for (const TDeclareTypeInfo& kind : catalogue->Items) {
        for (const TReportInfo& form : kind.Reports) {
            kindCode = kind.Code;
            formCode = form.Code;
            declaredEditable = kind.DeclaredEditable;
            if (form.FuncCode != funcCode) continue;
            if (!kind.ApprovalRestricted) return true;
            if (!IsKindApproved(context, kind.Code)) continue;
            if (!form.ApprovalRestricted) return true;
            std::string approved;
            // A list that could not be read holds an error text, which must never match a form.
            if (GetApprovedForms(context, kind.Code, approved) && approved.find(form.Code) != std::string::npos)
                return true;
        }
    }
    return false;
}

bool IsKindApproved(const vantrel::TModuleContext& context, const std::string& kindCode) {
    const std::string& hdxx = context.approvedKinds;
    if (hdxx.empty()) return false;
    for (const TXmlNode& kind : FindAllElements(hdxx, "SBZL")) {
        TXmlNode code;
        FindElement(kind.Outer, "SBZLCODE", code);
        if (code.Inner == kindCode) return true;
    }
    return false;
}

bool GetApprovedForms(const vantrel::TModuleContext& context, const std::string& kindCode, std::string& list) {
    list.clear();
    try {
        std::shared_ptr<TAryDeclareTypeInfo> catalogue = vantrel::HeldDeclareCatalogue();
        if (!catalogue) catalogue = context.catalogue;
        const TDeclareTypeInfo* kind = nullptr;
        if (catalogue) {
            for (const TDeclareTypeInfo& k : catalogue->Items) {
                if (k.Code == kindCode) {
                    kind = &k;
                    break;
                }
            }
        }
        if (!kind || !kind->ApprovalRestricted) return true;

        const std::string path = ApprovedFilePath(context);
        std::error_code ec;
        if (!std::filesystem::exists(path, ec)) {
            list = HostMessage(vantrel::kMsgFormNotFound);
            return false;
        }
        std::string content;
        ReadFileText(path, content);
        if (content.empty()) {
            list = "错误信息为：核定信息文件 Hdxx.xml 为空或无法读取";
            return false;
        }
        pugi::xml_document doc;
        // The file is GBK: its bytes are taken as they are, never converted.
        const pugi::xml_parse_result parsed =
            doc.load_buffer(content.data(), content.size(), pugi::parse_default, pugi::encoding_utf8);
        if (!parsed) {
            list = std::string("错误信息为：核定信息文件 Hdxx.xml 格式错误（") + parsed.description() + "，位置 " +
                   std::to_string(parsed.offset) + "）";
            return false;
        }
        if (!doc.document_element()) {
            list = "错误信息为：核定信息文件 Hdxx.xml 没有根元素";
            return false;
        }
        const pugi::xml_node forms = FindApprovedNode(doc.document_element(), "SBBS.", kindCode);
        if (forms) {
            for (const pugi::xml_node child : forms.children()) {
                std::string text;
                GetNodeText(child, std::string(), text);
                list += "|" + text;
            }
        }
        return true;
    } catch (const std::exception& e) {
        list = std::string("错误信息为：") + e.what();
        return false;
    }
}

pugi::xml_node FindApprovedNode(const pugi::xml_node& root, std::string path, const std::string& kindCode) {
    if (!root.child("SBZL")) return pugi::xml_node();

    pugi::xml_node current;
    for (const pugi::xml_node child : root.children()) {
        if (std::string(child.name()) != "SBZL") continue;
        std::string code;
        GetNodeText(child.child("SBZLCODE"), std::string(), code);
        if (code != kindCode) continue;
        current = child;
        break;
    }
    if (!current) return current;

    for (std::size_t dot; (dot = path.find('.')) != std::string::npos;) {
        current = current.child(path.substr(0, dot).c_str());
        path.erase(0, dot + 1);
    }

    const std::size_t open = path.find('[');
    if (open == std::string::npos) return current;
    std::string key, value;
    const std::size_t eq = path.find('=');
    const std::size_t close = path.find(']');
    if (eq != std::string::npos) {
        key = path.substr(1, eq > 1 ? eq - 1 : 0);
        value = path.substr(eq + 1, close == std::string::npos || close < eq ? std::string::npos : close - eq - 1);
    } else {
        key = "CODE";
        value = path.substr(open + 1, close == std::string::npos || close < open ? std::string::npos : close - open - 1);
    }
    for (const pugi::xml_node child : current.children()) {
        std::string text;
        GetNodeText(child.child(key.c_str()), std::string(), text);
        if (text == value) return child;
    }
    return current;
}

namespace {

// The module's form in the catalogue and the taxpayer and period it is filled for.
struct CurrentForm {
    std::string kindCode, formCode;
    bool declaredEditable = false;
    std::string kjny, nsrsbh;
};

bool FindCurrentForm(const vantrel::TModuleContext& context, const std::string& funcCode, CurrentForm& form,
                     std::string& message) {
    if (!FindDeclareForm(context, funcCode, form.kindCode, form.formCode, form.declaredEditable)) {
        message = HostMessage(vantrel::kMsgFormNotFound);
        return false;
    }
    form.kjny = context.period;
    form.nsrsbh = context.taxpayer;
    return true;
}

}  // namespace

bool CheckDeclareState(const vantrel::TModuleContext& context, const std::string& funcCode, std::string& message) {
    bool refused = false;
    message.clear();

    CurrentForm form;
    if (!FindCurrentForm(context, funcCode, form, message)) return false;
    const auto& [kindCode, formCode, declaredEditable, kjny, nsrsbh] = form;
    const std::string head = DeclareStateHead(kindCode, formCode, nsrsbh, kjny, context.subAppCode);

    if (context.auditedReturns) {
        THostQuery audited;
        std::string error;
        if (!ExecADOQueryMsg(context.connection, head + "' and SBSHJG = '1' and B.sbbz in(0,7,8)", &audited, error, 1,
                             0)) {
            message = vantrel::ErrorOrUnknown(error);
            return false;
        }
        if (audited.RecordCount() > 0) {
            refused = true;
            message = HostMessage(vantrel::kMsgAuditedReturn);
        }
    }

    THostQuery declared;
    std::string error;
    if (!ExecADOQueryMsg(context.connection, head + "' and B.sbbz in(2,3,4, 5,6)", &declared, error, 1, 0)) {
        message = vantrel::ErrorOrUnknown(error);
        return refused;
    }
    if (declared.RecordCount() > 0 && !declaredEditable) {
        declared.First();
        refused = true;
        message = DeclareStatusName(static_cast<uint32_t>(declared.FieldAsInteger("SBBZ"))) + "， 不能操作！";
    }
    return refused;
}

bool MarkFormFilled(const vantrel::TModuleContext& context, const std::string& funcCode, std::string& message) {
    CurrentForm form;
    if (!FindCurrentForm(context, funcCode, form, message)) return false;
    const auto& [kindCode, formCode, declaredEditable, kjny, nsrsbh] = form;

    const std::string sql = "SELECT NSRSBH,KJNY, SBZLBH, SBBBH FROM " +
                            QualifyTableName("SB_FPTXQKB", context.subAppCode) + " where " + " SBZLBH = '" +
                            vantrel::QuoteInner(kindCode) + "' and nsrsbh = '" + vantrel::QuoteInner(nsrsbh) + "' and kjny = '" +
                            vantrel::QuoteInner(kjny) + "' and sbbbh = '" + vantrel::QuoteInner(formCode) + "'";
    THostQuery query;
    std::string error;
    if (!ExecADOQueryMsg(context.connection, sql, &query, error, 1, 0)) {
        message = vantrel::ErrorOrUnknown(error);
        return false;
    }
    if (query.RecordCount() == 0) {
        query.Append();
        query.SetFieldValue("NSRSBH", nsrsbh);
        query.SetFieldValue("KJNY", kjny);
        query.SetFieldValue("SBZLBH", kindCode);
        query.SetFieldValue("SBBBH", formCode);
        // A mark that was not stored must not let the caller commit as if it were, unless another
        // seat stored it between the read and the insert. The failed insert undid only itself.
        if (!query.Post(error)) {
            THostQuery again;
            std::string ignored;
            if (ExecADOQueryMsg(context.connection, sql, &again, ignored, 1, 0) && again.RecordCount() > 0)
                return true;
            message = vantrel::ErrorOrUnknown(error);
            return false;
        }
    }
    return true;
}
