// The context the core works on: the taxpayer, period, sub-application and connection. A plain
// value at the bottom, so that every layer may take it from its caller; context/ reads it from
// the host once, the client builds it from its options.
#pragma once

#include <string>

namespace vantrel {

struct TModuleContext {
    std::string taxpayer;    // nsrsbh
    std::string period;      // kjny, yyyymm
    std::string subAppCode;  // names the tables: sb<code>_xxfpb
    std::string connection;  // the host's connection name
};

}  // namespace vantrel
