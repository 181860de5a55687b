#include "exchange/f_EInvoiceFile.h"

#include "exchange/f_CsvFile.h"
#include "exchange/f_ZipPackage.h"
#include "host/corlith_api.h"
#include "invoice/f_GlobalUnit.h"
#include "invoice/f_Sha256.h"

#include <QFile>
#include <QFileInfo>

#include <pugixml.hpp>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <exception>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>

namespace vantrel {

namespace {

// As deep as the workbook reader allows; the platform's XML is five deep.
constexpr int kMaxDepth = 64;
// Entries of an OFD package looked at, and text objects that custom tags may point at.
constexpr std::size_t kMaxOfdEntries = 10000;
constexpr std::size_t kMaxTagRefs = 10000;
const char* const kOfdKind = "电子发票文件";
const char* const kTooLarge = "文件超过 16 MB，不是电子发票";

std::string TooManyFiles() { return "电子发票文件超过 " + std::to_string(kEInvoiceMaxFiles) + " 个"; }

const char* LocalName(const char* name) {
    const char* colon = std::strrchr(name, ':');
    return colon ? colon + 1 : name;
}

bool Is(const pugi::xml_node& node, const char* local) { return std::strcmp(LocalName(node.name()), local) == 0; }

// Most texts of an invoice are plain ASCII, which both encodings write alike.
std::string Gbk(const char* utf8) {
    const char* end = utf8;
    while (*end && static_cast<unsigned char>(*end) < 0x80) ++end;
    return *end ? QStringToGbk(QString::fromUtf8(utf8)) : std::string(utf8, end);
}

// The text of an element: its text children joined, trimmed, GBK.
std::string TextOf(const pugi::xml_node& node) {
    const pugi::xml_node only = node.first_child();
    if (only && !only.next_sibling() && only.type() == pugi::node_pcdata) {
        // Nearly every field: one plain ASCII text, taken trimmed without a copy between.
        const std::string_view text = TrimmedBlanks(only.value());
        if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
            return std::string(text);
    }
    std::string text;
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) text += c.value();
    return TrimBlanks(Gbk(text.c_str()));
}

pugi::xml_node Child(const pugi::xml_node& node, const char* local) {
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element && Is(c, local)) return c;
    return {};
}

// Calls onElement for every element below root, in document order; false (having stopped)
// when they nest more than kMaxDepth deep.
template <class OnElement>
bool ForEachElement(const pugi::xml_node& root, OnElement&& onElement) {
    int depth = 1;
    pugi::xml_node node = root.first_child();
    while (node) {
        if (node.type() == pugi::node_element) {
            onElement(node);
            if (node.first_child()) {
                if (++depth > kMaxDepth) return false;
                node = node.first_child();
                continue;
            }
        }
        while (!node.next_sibling()) {
            node = node.parent();
            if (--depth == 0) return true;
        }
        node = node.next_sibling();
    }
    return true;
}

// What pugixml found wrong, in the words of the other readers' messages.
const char* ParseFault(pugi::xml_parse_status status) {
    switch (status) {
    case pugi::status_unrecognized_tag: return "无法识别的标记";
    case pugi::status_bad_pi: return "处理指令有误";
    case pugi::status_bad_comment: return "注释有误";
    case pugi::status_bad_cdata: return "CDATA 段有误";
    case pugi::status_bad_doctype: return "文档类型声明有误";
    case pugi::status_bad_pcdata: return "文本有误";
    case pugi::status_bad_start_element: return "开始标记有误";
    case pugi::status_bad_attribute: return "属性有误";
    case pugi::status_bad_end_element: return "结束标记有误";
    case pugi::status_end_element_mismatch: return "结束标记与开始标记不匹配";
    case pugi::status_no_document_element: return "没有根元素";
    default: return "无法读取";
    }
}

bool LoadXml(const char* data, std::size_t size, pugi::xml_document& doc, std::string& error) {
    if (size > kEInvoiceMaxBytes) {
        error = kTooLarge;
        return false;
    }
    const unsigned options = pugi::parse_default | pugi::parse_doctype | pugi::parse_declaration;
    pugi::xml_parse_result parsed = doc.load_buffer(data, size, options, pugi::encoding_auto);
    std::string converted;
    if (parsed) {
        // The platform writes UTF-8; a document declared in a Chinese code page is read as one.
        const std::string declared = doc.child("xml").attribute("encoding").value();
        QString name = QString::fromUtf8(declared.c_str()).toLower();
        if (name == u"gbk" || name == u"gb2312" || name == u"gb18030") {
            const QByteArray utf8 = GbkToQString(std::string(data, size)).toUtf8();
            converted.assign(utf8.constData(), static_cast<std::size_t>(utf8.size()));
            parsed = doc.load_buffer(converted.data(), converted.size(), options, pugi::encoding_utf8);
        }
    }
    if (!parsed) {
        error = std::string("XML 格式错误：") + ParseFault(parsed.status) + "（第 " + std::to_string(parsed.offset + 1) +
                " 字节）";
        return false;
    }
    for (pugi::xml_node c = doc.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_doctype) {
            error = "不接受带文档类型定义（DTD）的 XML";
            return false;
        }
    if (!doc.document_element()) {
        error = "XML 中没有元素";
        return false;
    }
    return true;
}

// Money in fen: an optional sign, digits, at most two decimals (further zeros allowed).
bool ParseFen(const std::string& text, int64_t& fen) {
    std::size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) i = 1;
    int64_t whole = 0;
    std::size_t digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
        if (digits == 12) return false;  // as many places as the register's amounts
        whole = whole * 10 + (text[i] - '0');
    }
    int64_t cents = 0;
    std::size_t decimals = 0;
    if (i < text.size() && text[i] == '.') {
        for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++decimals) {
            if (decimals < 2) cents = cents * 10 + (text[i] - '0');
            else if (text[i] != '0') return false;
        }
    }
    if (i != text.size() || (digits == 0 && decimals == 0)) return false;
    if (decimals == 1) cents *= 10;
    fen = (whole * 100 + cents) * (negative ? -1 : 1);
    return true;
}

// "13%", "0.13", "13" as "13%"; 免税 and 不征税 as an exempt 0 %. Anything else stays as it is
// for the register's own rate check to name.
TEInvoiceRate RateOf(const std::string& text) {
    TEInvoiceRate rate;
    if (text == "免税" || text == "不征税") {
        rate.rate = "0%";
        rate.exempt = true;
        return rate;
    }
    rate.rate = text;
    std::string number = text;
    const bool percent = !number.empty() && number.back() == '%';
    if (percent) number.pop_back();
    int64_t hundredths = 0;
    if (!ParseFen(TrimBlanks(number), hundredths) || hundredths < 0) return rate;
    // "0.13" is a fraction, "13" or "13%" a percentage.
    const int64_t percentTimes100 = !percent && hundredths < 100 ? hundredths * 100 : hundredths;
    if (percentTimes100 % 100 == 0 && percentTimes100 <= 10000) rate.rate = std::to_string(percentTimes100 / 100) + "%";
    return rate;
}

// The fields of one invoice as found, before they are checked.
struct TFound {
    std::map<std::string, std::string, std::less<>> fields;   // by element name, the first occurrence
    struct Item {
        std::string amount, rate, tax;
    };
    std::vector<Item> items;
    bool tooManyItems = false;
    std::string kindName, kindCode, issueName;
};

// The invoice's own fields: its kind (a special invoice is refused), the required ones, the
// number's form and the issue date without its time.
bool TakeInvoiceFields(const TFound& found, TEInvoice& invoice, std::string& amountText, std::string& taxText,
                       std::string& error) {
    const auto field = [&found](const char* name) {
        const auto it = found.fields.find(name);
        return it == found.fields.end() ? std::string() : it->second;
    };
    invoice.kind = found.kindName;
    invoice.special = found.kindCode == "01" || found.kindName.find("专用发票") != std::string::npos;
    if (invoice.special) {
        error = "增值税专用发票不在其它销项发票中登记" +
                (found.kindName.empty() ? std::string() : "（发票种类：" + found.kindName + "）");
        return false;
    }
    struct Required {
        const char* element;
        const char* caption;
        std::string* into;
    };
    for (const Required& r : {Required{"InvoiceNumber", "发票号码", &invoice.number},
                              Required{"IssueTime", "开票日期", &invoice.date},
                              Required{"SellerIdNum", "销售方纳税人识别号", &invoice.sellerId},
                              Required{"TotalAmWithoutTax", "合计金额", &amountText},
                              Required{"TotalTaxAm", "合计税额", &taxText}}) {
        *r.into = field(r.element);
        if (r.into->empty()) {
            error = std::string("缺少") + r.caption + "（" + r.element + "）";
            return false;
        }
    }
    if (invoice.number.size() > 40 || !std::all_of(invoice.number.begin(), invoice.number.end(), [](char c) {
            return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        })) {
        error = "发票号码应为至多 40 位字母或数字：" + GbkAbbreviate(invoice.number, 60);
        return false;
    }
    invoice.buyerId = field("BuyerIdNum");
    const std::string issued = invoice.date;
    invoice.date = issued.substr(0, issued.find_first_of(" T"));
    if (invoice.date.empty()) {  // a time without its date
        error = "开票日期不是日期：" + GbkAbbreviate(issued, 60);
        return false;
    }
    return true;
}

// The items' amounts and taxes summed per rate into the invoice, and over all rates.
bool SumItemsByRate(const TFound& found, TEInvoice& invoice, int64_t& sumAmount, int64_t& sumTax, std::string& error) {
    for (std::size_t i = 0; i < found.items.size(); ++i) {
        const TFound::Item& item = found.items[i];
        int64_t amount = 0, tax = 0;
        const std::string row = "第 " + std::to_string(i + 1) + " 行商品明细";
        if (!ParseFen(item.amount, amount)) {
            error = row + "的金额无效：" + item.amount;
            return false;
        }
        if (!ParseFen(item.tax.empty() ? std::string("0") : item.tax, tax)) {
            error = row + "的税额无效：" + item.tax;
            return false;
        }
        if (item.rate.empty()) {
            error = row + "缺少税率（TaxRate）";
            return false;
        }
        const TEInvoiceRate rate = RateOf(item.rate);
        auto same = std::find_if(invoice.rates.begin(), invoice.rates.end(), [&rate](const TEInvoiceRate& r) {
            return r.rate == rate.rate && r.exempt == rate.exempt;
        });
        if (same == invoice.rates.end()) same = invoice.rates.insert(invoice.rates.end(), rate);
        same->amount += amount;
        same->tax += tax;
        sumAmount += amount;
        sumTax += tax;
    }
    return true;
}

// A red-letter invoice, named so or with negative totals; written with positive figures, it is
// stored negative.
void MarkRedLetter(const TFound& found, int64_t totalAmount, int64_t totalTax, TEInvoice& invoice) {
    invoice.red = found.issueName.find("红字") != std::string::npos ||
                  found.issueName.find("负数") != std::string::npos || totalAmount < 0 ||
                  (totalAmount == 0 && totalTax < 0);
    if (invoice.red && (totalAmount > 0 || (totalAmount == 0 && totalTax > 0)))
        for (TEInvoiceRate& r : invoice.rates) {
            r.amount = -r.amount;
            r.tax = -r.tax;
        }
}

// Checks the found fields and sums the items per rate.
bool FinishInvoice(const TFound& found, TEInvoice& invoice, std::string& error) {
    std::string amountText, taxText;
    if (!TakeInvoiceFields(found, invoice, amountText, taxText, error)) return false;
    if (found.tooManyItems) {
        error = "商品明细超过 " + std::to_string(kEInvoiceMaxItems) + " 行";
        return false;
    }
    if (found.items.empty()) {
        error = "没有商品明细（IssuItemInformation），无法按税率登记";
        return false;
    }
    int64_t totalAmount = 0, totalTax = 0;
    if (!ParseFen(amountText, totalAmount)) {
        error = "合计金额不是有效的金额：" + amountText;
        return false;
    }
    if (!ParseFen(taxText, totalTax)) {
        error = "合计税额不是有效的金额：" + taxText;
        return false;
    }
    int64_t sumAmount = 0, sumTax = 0;
    if (!SumItemsByRate(found, invoice, sumAmount, sumTax, error)) return false;
    if (sumAmount != totalAmount || sumTax != totalTax) {
        error = "商品明细合计（金额 " + FenText(sumAmount) + "，税额 " + FenText(sumTax) + "）与发票合计（金额 " +
                FenText(totalAmount) + "，税额 " + FenText(totalTax) + "）不符";
        return false;
    }
    MarkRedLetter(found, totalAmount, totalTax, invoice);
    return true;
}

void FindInvoiceFields(const pugi::xml_node& root, TFound& found, bool& tooDeep) {
    enum TWhat { kItem, kKind, kIssue, kField };
    struct TName {
        std::string_view name;
        TWhat what;
    };
    // Every element of the document is looked up here: names are told apart by their length
    // before any byte is compared.
    static constexpr TName kNames[] = {
        {"IssuItemInformation", kItem}, {"EInvoiceType", kKind},      {"GeneralOrSpecialVAT", kKind},
        {"InIssuType", kIssue},         {"InvoiceNumber", kField},    {"IssueTime", kField},
        {"SellerIdNum", kField},        {"BuyerIdNum", kField},       {"TotalAmWithoutTax", kField},
        {"TotalTaxAm", kField},
    };
    tooDeep = !ForEachElement(root, [&found](const pugi::xml_node& node) {
        const std::string_view name = LocalName(node.name());
        const TName* match = nullptr;
        for (const TName& n : kNames)
            if (n.name.size() == name.size() && n.name == name) {
                match = &n;
                break;
            }
        if (!match) return;
        switch (match->what) {
        case kItem:
            if (found.items.size() == kEInvoiceMaxItems) {
                found.tooManyItems = true;
                return;
            }
            found.items.push_back({TextOf(Child(node, "Amount")), TextOf(Child(node, "TaxRate")),
                                   TextOf(Child(node, "ComTaxAm"))});
            break;
        case kKind:
            if (found.kindName.empty() && found.kindCode.empty()) {
                found.kindName = TextOf(Child(node, "LabelName"));
                found.kindCode = TextOf(Child(node, "LabelCode"));
            }
            break;
        case kIssue: found.issueName = TextOf(Child(node, "LabelName")); break;
        case kField:
            if (found.fields.find(name) == found.fields.end()) found.fields.emplace(name, TextOf(node));
            break;
        }
    });
}

bool InvoiceOfDocument(const pugi::xml_document& doc, TEInvoice& invoice, std::string& error) {
    const pugi::xml_node root = doc.document_element();
    if (!Is(root, "EInvoice")) {
        error = "不是电子发票 XML（根元素为 " + Gbk(root.name()) + "，应为 EInvoice）";
        return false;
    }
    TFound found;
    bool tooDeep = false;
    FindInvoiceFields(root, found, tooDeep);
    if (tooDeep) {
        error = "XML 元素嵌套过深";
        return false;
    }
    return FinishInvoice(found, invoice, error);
}

// ---- OFD ---------------------------------------------------------------------------------

std::string FolderOf(const std::string& entry) {
    const std::size_t slash = entry.rfind('/');
    return slash == std::string::npos ? std::string() : entry.substr(0, slash + 1);
}

bool HasSuffixIgnoringCase(const std::string& name, const char* suffix) {
    const std::size_t n = std::strlen(suffix);
    if (name.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(name[name.size() - n + i])) != suffix[i]) return false;
    return true;
}

class TOfdReader {
public:
    explicit TOfdReader(const TZipPackage& package) : package_(package) {}

    bool Load(const std::string& entry, pugi::xml_document& doc, std::string& error) {
        std::string bytes;
        const std::string part = "OFD 文件的 " + entry + " ";
        const TZipRead read = package_.ReadEntryWhole(entry, part, kOfdKind, kEInvoiceMaxBytes, bytes, error);
        if (read == TZipRead::Missing) error = "OFD 文件中缺少 " + entry;
        if (read != TZipRead::Read) return false;
        if (!LoadXml(bytes.data(), bytes.size(), doc, error)) {
            error = part + error;
            return false;
        }
        return true;
    }

    bool Read(TEInvoice& invoice, std::string& error) {
        pugi::xml_document ofd;
        if (!Load("OFD.xml", ofd, error)) return false;
        std::string docRoot;
        ForEachElement(ofd.document_element(), [&docRoot](const pugi::xml_node& node) {
            if (docRoot.empty() && Is(node, "DocRoot")) docRoot = TextOf(node);
        });
        // The invoice's own XML, where the document carries it.
        const std::vector<std::string> names = package_.EntryNames();
        if (names.size() > kMaxOfdEntries) {
            error = "OFD 文件的条目超过 " + std::to_string(kMaxOfdEntries) + " 个";
            return false;
        }
        for (const std::string& name : names) {
            if (!HasSuffixIgnoringCase(name, ".xml") || name == "OFD.xml") continue;
            pugi::xml_document doc;
            if (!Load(name, doc, error)) return false;
            if (Is(doc.document_element(), "EInvoice")) return InvoiceOfDocument(doc, invoice, error);
        }
        return ReadCustomTags(ResolvePackagePath("", docRoot), invoice, error);
    }

private:
    // Without the XML: the fields that the document's custom tags point at on its pages.
    bool ReadCustomTags(const std::string& documentEntry, TEInvoice& invoice, std::string& error) {
        if (documentEntry.empty()) {
            error = "OFD 文件中没有文档（DocRoot）";
            return false;
        }
        pugi::xml_document document;
        if (!Load(documentEntry, document, error)) return false;
        const std::string docFolder = FolderOf(documentEntry);
        std::string tagsLoc;
        std::map<std::string, std::string> pageLoc;   // page id -> content entry
        ForEachElement(document.document_element(), [&](const pugi::xml_node& node) {
            if (Is(node, "CustomTags") && tagsLoc.empty()) tagsLoc = TextOf(node);
            else if (Is(node, "Page") && pageLoc.size() < kMaxOfdEntries)
                pageLoc[node.attribute("ID").value()] = ResolvePackagePath(docFolder, node.attribute("BaseLoc").value());
        });
        const std::string tagsEntry = tagsLoc.empty() ? std::string() : ResolvePackagePath(docFolder, tagsLoc);
        if (tagsEntry.empty()) {
            error = "OFD 文件中既没有电子发票 XML，也没有自定义标引（CustomTags）";
            return false;
        }
        pugi::xml_document tags;
        if (!Load(tagsEntry, tags, error)) return false;
        std::vector<std::string> tagFiles;
        ForEachElement(tags.document_element(), [&](const pugi::xml_node& node) {
            if (Is(node, "FileLoc") && tagFiles.size() < kMaxOfdEntries)
                tagFiles.push_back(ResolvePackagePath(FolderOf(tagsEntry), TextOf(node)));
        });
        // Each tagged field: its name and the text objects (page, id) it points at.
        struct TRef {
            std::string field, page, id;
            std::size_t order;
        };
        std::vector<TRef> refs;
        for (const std::string& file : tagFiles) {
            pugi::xml_document tagDoc;
            if (file.empty() || !Load(file, tagDoc, error)) {
                if (file.empty()) error = "OFD 文件的自定义标引指向文件之外";
                return false;
            }
            ForEachElement(tagDoc.document_element(), [&](const pugi::xml_node& node) {
                if (!Is(node, "ObjectRef") || refs.size() >= kMaxTagRefs) return;
                refs.push_back({LocalName(node.parent().name()), node.attribute("PageRef").value(), TextOf(node),
                                refs.size()});
            });
        }
        // The texts of the objects pointed at, page by page.
        std::map<std::pair<std::string, std::string>, std::string> texts;
        std::map<std::string, bool> pagesRead;
        for (const TRef& ref : refs) {
            if (pagesRead[ref.page]) continue;
            pagesRead[ref.page] = true;
            const auto loc = pageLoc.find(ref.page);
            if (loc == pageLoc.end() || loc->second.empty()) continue;
            pugi::xml_document page;
            if (!Load(loc->second, page, error)) return false;
            ForEachElement(page.document_element(), [&](const pugi::xml_node& node) {
                if (!Is(node, "TextObject")) return;
                std::string text;
                for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling())
                    if (c.type() == pugi::node_element && Is(c, "TextCode")) text += TextOf(c);
                texts[{ref.page, node.attribute("ID").value()}] = text;
            });
        }
        TFound found;
        std::map<std::string, std::vector<std::string>> values;   // field -> each tag's text
        for (const TRef& ref : refs) {
            const auto text = texts.find({ref.page, ref.id});
            values[ref.field].push_back(text == texts.end() ? std::string() : text->second);
        }
        const auto first = [&values](std::initializer_list<const char*> names) {
            for (const char* name : names)
                if (const auto it = values.find(name); it != values.end() && !it->second.empty()) return it->second.front();
            return std::string();
        };
        found.fields["InvoiceNumber"] = first({"InvoiceNo", "InvoiceNumber"});
        found.fields["IssueTime"] = first({"IssueDate", "IssueTime"});
        found.fields["SellerIdNum"] = first({"SellerTaxID", "SellerIdNum"});
        found.fields["BuyerIdNum"] = first({"BuyerTaxID", "BuyerIdNum"});
        found.fields["TotalAmWithoutTax"] = first({"TaxExclusiveTotalAmount", "TotalAmWithoutTax"});
        found.fields["TotalTaxAm"] = first({"TaxTotalAmount", "TotalTaxAm"});
        found.kindName = first({"InvoiceKind"});
        found.issueName = first({"InIssuType"});
        // Items: the rates with each item's amount and tax, or one rate for the totals.
        const std::vector<std::string>& rates = values["TaxRate"];
        const std::vector<std::string>& amounts = values["Amount"];
        const std::vector<std::string>& taxes = values["TaxAmount"];
        if (!rates.empty() && amounts.size() == rates.size() && taxes.size() == rates.size()) {
            for (std::size_t i = 0; i < rates.size() && i < kEInvoiceMaxItems; ++i)
                found.items.push_back({amounts[i], rates[i], taxes[i]});
        } else if (!rates.empty() && std::all_of(rates.begin(), rates.end(), [&](const std::string& r) {
                       return RateOf(r).rate == RateOf(rates.front()).rate;
                   })) {
            found.items.push_back({found.fields["TotalAmWithoutTax"], rates.front(), found.fields["TotalTaxAm"]});
        }
        return FinishInvoice(found, invoice, error);
    }

    const TZipPackage& package_;
};

// ---- files -------------------------------------------------------------------------------

enum class TKind { Xml, Ofd, Zip, Other };

TKind KindOf(const std::string& name) {
    if (HasSuffixIgnoringCase(name, ".xml")) return TKind::Xml;
    if (HasSuffixIgnoringCase(name, ".ofd")) return TKind::Ofd;
    if (HasSuffixIgnoringCase(name, ".zip")) return TKind::Zip;
    return TKind::Other;
}

void ParseBytes(TKind kind, const char* data, std::size_t size, TEInvoiceFile& file) {
    file.sha256 = Sha256Hex(std::string_view(data, size));
    if (kind == TKind::Xml) ParseEInvoiceXml(data, size, file.invoice, file.error);
    else ParseEInvoiceOfd(data, size, file.invoice, file.error);
}

// A file of at most kEInvoiceMaxBytes, whole.
bool ReadSmallFile(const QString& path, std::string& bytes, std::string& error) {
    int64_t size = 0;
    const int fd = OpenRegularInput(path, error, &size);
    if (fd < 0) return false;
    // Read straight into the bytes, one call for the whole file as it was opened; a call that
    // gives less than asked has met the end. A file that grew meanwhile is read on to its end,
    // or to one byte past the limit.
    bytes.resize(static_cast<std::size_t>(std::clamp<int64_t>(size, 0, kEInvoiceMaxBytes)) + 1);
    std::size_t have = 0;
    for (;;) {
        if (have == bytes.size()) {
            if (have > kEInvoiceMaxBytes) break;
            bytes.resize(std::min<std::size_t>(have * 2, kEInvoiceMaxBytes + 1));
        }
        const std::size_t asked = bytes.size() - have;
        const ssize_t got = ::read(fd, bytes.data() + have, asked);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            ::close(fd);
            error = "无法读取文件";
            return false;
        }
        have += static_cast<std::size_t>(got);
        if (got == 0 || static_cast<std::size_t>(got) < asked) break;
    }
    ::close(fd);
    if (have > kEInvoiceMaxBytes) {
        error = kTooLarge;
        return false;
    }
    bytes.resize(have);
    return true;
}

// Files read before any is handed over: enough to keep every processor busy, few enough that
// their invoices take little memory.
constexpr std::size_t kFilesPerRun = 1024;

void ReadFile(const QString& path, TKind kind, TEInvoiceFile& file) {
    file.name = QStringToGbk(path.mid(path.lastIndexOf(u'/') + 1));  // the file name, as QFileInfo gives it
    std::string bytes;
    if (ReadSmallFile(path, bytes, file.error)) ParseBytes(kind, bytes.data(), bytes.size(), file);
}

// work(0) .. work(count - 1), spread over the processors; what one of them throws is thrown
// here once all have stopped.
void OnEveryProcessor(std::size_t count, const std::function<void(std::size_t)>& work) {
    std::atomic<std::size_t> next{0};
    std::exception_ptr failure;
    std::mutex failureLock;
    const auto drain = [&] {
        try {
            for (std::size_t k; (k = next.fetch_add(1)) < count;) work(k);
        } catch (...) {
            const std::lock_guard<std::mutex> hold(failureLock);
            if (!failure) failure = std::current_exception();
            next = count;
        }
    };
    const std::size_t helpers = std::min<std::size_t>({std::max(1u, std::thread::hardware_concurrency()), 8, count}) - 1;
    std::vector<std::thread> threads;
    try {
        for (std::size_t t = 0; t < helpers; ++t) threads.emplace_back(drain);
    } catch (...) {
        // Fewer threads than processors still read every file.
    }
    drain();
    for (std::thread& thread : threads) thread.join();
    if (failure) std::rethrow_exception(failure);
}

// The folder's .xml, .ofd and .zip files, its subfolders' too, in path order: regular files
// and links to them, hidden entries and links to folders left out, as a file manager lists
// them. Read with readdir, which names each entry's type without a call per file.
bool ListInvoiceFolder(const QString& folder, std::vector<std::pair<QString, TKind>>& files, std::string& error) {
    std::string top = QFile::encodeName(folder).toStdString();
    while (top.size() > 1 && top.back() == '/') top.pop_back();
    std::vector<std::pair<QString, TKind>> found;
    std::vector<std::string> pending{top};
    while (!pending.empty()) {
        const std::string dir = std::move(pending.back());
        pending.pop_back();
        DIR* listing = ::opendir(dir.c_str());
        if (!listing) continue;
        while (const dirent* entry = ::readdir(listing)) {
            if (entry->d_name[0] == '.') continue;  // ".", ".." and hidden entries
            std::string path = dir == "/" ? "/" + std::string(entry->d_name) : dir + "/" + entry->d_name;
            struct stat st {};
            unsigned char type = entry->d_type;
            if (type == DT_UNKNOWN) {
                if (::lstat(path.c_str(), &st) != 0) continue;
                type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : S_ISLNK(st.st_mode) ? DT_LNK : DT_UNKNOWN;
            }
            if (type == DT_DIR) {
                pending.push_back(std::move(path));
                continue;
            }
            const TKind kind = KindOf(entry->d_name);
            if (kind == TKind::Other) continue;
            if (type == DT_LNK ? ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) : type != DT_REG) continue;
            found.emplace_back(QFile::decodeName(QByteArray::fromStdString(path)), kind);
            if (found.size() > kEInvoiceMaxFiles) {
                ::closedir(listing);
                error = TooManyFiles();
                return false;
            }
        }
        ::closedir(listing);
    }
    std::sort(found.begin(), found.end());
    files.insert(files.end(), std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
    return true;
}

class TFileWalker {
public:
    explicit TFileWalker(const std::function<void(TEInvoiceFile&)>& onFile) : onFile_(onFile) {}

    bool Counted(std::string& error) {
        if (++count_ <= kEInvoiceMaxFiles) return true;
        error = TooManyFiles();
        return false;
    }

    // The files in order: a package's members one after another, the other files read and
    // parsed on every processor a run at a time, the next run while this one is handed over.
    bool Files(const std::vector<std::pair<QString, TKind>>& files, std::string& error) {
        const auto runEnd = [&files](std::size_t from) {
            std::size_t end = from;
            while (end < files.size() && end - from < kFilesPerRun && files[end].second != TKind::Zip) ++end;
            return end;
        };
        const auto readRun = [&files](std::size_t from, std::size_t end) {
            std::vector<TEInvoiceFile> read(end - from);
            OnEveryProcessor(read.size(), [&](std::size_t k) { ReadFile(files[from + k].first, files[from + k].second, read[k]); });
            return read;
        };
        std::future<std::vector<TEInvoiceFile>> ahead;
        std::size_t i = 0;
        while (i < files.size()) {
            if (files[i].second == TKind::Zip) {
                if (!Counted(error)) return false;
                TEInvoiceFile package;
                package.name = QStringToGbk(QFileInfo(files[i].first).fileName());
                if (!Zip(files[i].first, package, error)) return false;
                ++i;
                continue;
            }
            const std::size_t end = runEnd(i);
            for (std::size_t k = i; k < end; ++k)
                if (!Counted(error)) return false;
            std::vector<TEInvoiceFile> read = ahead.valid() ? ahead.get() : readRun(i, end);
            if (end < files.size() && files[end].second != TKind::Zip) {
                try {
                    ahead = std::async(std::launch::async, readRun, end, runEnd(end));
                } catch (const std::system_error&) {
                    // No thread to spare: the next run is read when its turn comes.
                }
            }
            for (TEInvoiceFile& file : read) onFile_(file);
            i = end;
        }
        return true;
    }

private:
    // The package's .xml and .ofd members, each an invoice file of its own.
    bool Zip(const QString& path, TEInvoiceFile& package, std::string& error) {
        TZipPackage zip;
        if (!zip.OpenFile(path, package.error)) {
            if (package.error.empty()) package.error = "文件不是有效的 ZIP 压缩包";
            onFile_(package);
            return true;
        }
        std::vector<std::string> names = zip.EntryNames();
        std::sort(names.begin(), names.end());
        std::size_t found = 0;
        for (const std::string& name : names) {
            const TKind kind = KindOf(name);
            if (kind != TKind::Xml && kind != TKind::Ofd) continue;
            if (!Counted(error)) return false;
            ++found;
            TEInvoiceFile file;
            file.name = package.name + "/" + name;
            std::string bytes;
            const std::string part = "压缩包中的 " + name + " ";
            const TZipRead read = zip.ReadEntryWhole(name, part, kOfdKind, kEInvoiceMaxBytes, bytes, file.error);
            if (read == TZipRead::Read) ParseBytes(kind, bytes.data(), bytes.size(), file);
            else if (file.error.empty()) file.error = part + "无法读取";
            onFile_(file);
        }
        if (found == 0) {
            package.error = "压缩包中没有 .xml 或 .ofd 文件";
            onFile_(package);
        }
        return true;
    }

    const std::function<void(TEInvoiceFile&)>& onFile_;
    std::size_t count_ = 0;
};

}  // namespace

std::string FenText(int64_t fen) {
    const uint64_t magnitude = fen < 0 ? 0 - static_cast<uint64_t>(fen) : static_cast<uint64_t>(fen);
    char frac[4];
    std::snprintf(frac, sizeof frac, "%02u", static_cast<unsigned>(magnitude % 100));
    return (fen < 0 ? "-" : "") + std::to_string(magnitude / 100) + "." + frac;
}

bool ParseEInvoiceXml(const char* data, std::size_t size, TEInvoice& invoice, std::string& error) {
    invoice = TEInvoice();
    pugi::xml_document doc;
    return LoadXml(data, size, doc, error) && InvoiceOfDocument(doc, invoice, error);
}

bool ParseEInvoiceOfd(const char* data, std::size_t size, TEInvoice& invoice, std::string& error) {
    invoice = TEInvoice();
    TZipPackage package;
    if (!package.OpenBytes(data, size)) {
        error = "文件不是有效的 OFD 文件";
        return false;
    }
    return TOfdReader(package).Read(invoice, error);
}

bool ReadEInvoiceFiles(const std::vector<QString>& paths, const std::function<void(TEInvoiceFile&)>& onFile,
                       std::string& error) {
    std::vector<std::pair<QString, TKind>> files;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isDir()) {
            if (!ListInvoiceFolder(path, files, error)) return false;
            continue;
        }
        if (!info.exists()) {
            error = "找不到文件：" + QStringToGbk(path);
            return false;
        }
        const TKind kind = KindOf(QStringToGbk(path));
        if (kind == TKind::Other) {
            error = "只能导入 .xml、.ofd 或 .zip 电子发票文件：" + QStringToGbk(path);
            return false;
        }
        files.emplace_back(path, kind);
    }
    return TFileWalker(onFile).Files(files, error);
}

}  // namespace vantrel
