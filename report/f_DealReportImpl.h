// Which declaration kind and form the module fills, the declaration state guard and the
// form-filled mark.
#pragma once

#include "host/corlith_api.h"
#include "host/f_ModuleContext.h"
#include "invoice/f_InvoiceStore.h"

#include <memory>
#include <string>

namespace pugi { class xml_node; }

// The catalogue reference the module holds (the context's, taken by FindDeclareForm, released
// at unload).
namespace vantrel {

std::shared_ptr<TAryDeclareTypeInfo> HeldDeclareCatalogue();
void ReleaseDeclareCatalogue();

}  // namespace vantrel

// The form of funcCode in the context's catalogue, approved for its taxpayer and period.
bool FindDeclareForm(const vantrel::TModuleContext& context, const std::string& funcCode, std::string& kindCode,
                     std::string& formCode, bool& declaredEditable);
// Whether the context's approved kinds (hdxx) list the kind.
bool IsKindApproved(const vantrel::TModuleContext& context, const std::string& kindCode);
bool GetApprovedForms(const vantrel::TModuleContext& context, const std::string& kindCode, std::string& list);
pugi::xml_node FindApprovedNode(const pugi::xml_node& root, std::string path, const std::string& kindCode);
// True means a change of the context's invoices is refused; message says why.
bool CheckDeclareState(const vantrel::TModuleContext& context, const std::string& funcCode, std::string& message);
// Marks the form filled for the context's taxpayer and period; true on success.
bool MarkFormFilled(const vantrel::TModuleContext& context, const std::string& funcCode, std::string& message);
