// E-invoice files of the tax platform: its XML (root EInvoice), OFD documents (the embedded
// invoice XML, otherwise the fields its custom tags point at), and folders or ZIP packages of
// them. Every file is hostile until read: sizes, nesting and counts are bounded.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vantrel {

// The figures of one rate of an invoice, in fen.
struct TEInvoiceRate {
    std::string rate;     // as the register writes it ("13%"), or the file's text when unreadable
    bool exempt = false;  // 免税 / 不征税
    int64_t amount = 0;
    int64_t tax = 0;
};

struct TEInvoice {
    std::string number;   // 发票号码
    std::string date;     // the issue time's date part, as found
    std::string sellerId;
    std::string buyerId;
    std::string kind;     // the invoice kind's name, GBK; empty when the file names none
    bool special = false; // a special VAT invoice, which this register does not keep
    bool red = false;     // 红字 (负数) invoice: amounts and taxes are negative
    std::vector<TEInvoiceRate> rates;  // summed per rate, in the order first met
};

// One file read: its name as shown (a ZIP's member as "a.zip/b.xml", GBK), the SHA-256 of
// its bytes, and the invoice, or why it could not be read (GBK).
struct TEInvoiceFile {
    std::string name;
    std::string sha256;
    TEInvoice invoice;
    std::string error;
};

// Limits of one invoice's file.
inline constexpr std::size_t kEInvoiceMaxBytes = std::size_t{16} << 20;
inline constexpr std::size_t kEInvoiceMaxItems = 10000;
// Files of one import: those named, found in folders and in ZIP packages.
inline constexpr std::size_t kEInvoiceMaxFiles = 200000;

// Fen as yuan with two decimals: "-12.30".
std::string FenText(int64_t fen);

// An e-invoice XML document held in memory; false with the reason.
bool ParseEInvoiceXml(const char* data, std::size_t size, TEInvoice& invoice, std::string& error);
// An OFD document (a zip package) held in memory; false with the reason.
bool ParseEInvoiceOfd(const char* data, std::size_t size, TEInvoice& invoice, std::string& error);

// Every invoice file of the paths (files .xml/.ofd/.zip, folders searched with their
// subfolders for those), handed over one at a time in name order; a file that cannot be read
// comes with its error. False (error set) only when the import cannot go on: a path that does
// not exist or names another kind of file, or too many files.
bool ReadEInvoiceFiles(const std::vector<QString>& paths, const std::function<void(TEInvoiceFile&)>& onFile,
                       std::string& error);

}  // namespace vantrel
