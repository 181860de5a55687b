// Invoice records for the tests that build them by hand, from the values a case cares about.
#pragma once

#include "invoice/f_XxqtfpGlobal.h"

#include <cstdint>
#include <string>

namespace testhost {

// What a bookkeeper enters for an invoice: issue date, count, amount, tax, rate and buyer id.
inline void SetEntered(Txxqtfpxx& r, std::string kprq, int64_t fs, double je, double se, int32_t sl,
                       std::string gfnsr) {
    r.kprq = std::move(kprq);
    r.fs = fs;
    r.je = je;
    r.se = se;
    r.sl = sl;
    r.gfnsr = std::move(gfnsr);
}

// The four yes/no flags as stored: entered invoice (lwfp), voided (zfbz), tax-free (ms),
// refund on levy (jzjt).
inline void SetFlags(Txxqtfpxx& r, std::string lwfp, std::string zfbz, std::string ms, std::string jzjt) {
    r.lwfp = std::move(lwfp);
    r.zfbz = std::move(zfbz);
    r.ms = std::move(ms);
    r.jzjt = std::move(jzjt);
}

}  // namespace testhost
