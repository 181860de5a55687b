#include "summary/f_SummaryCells.h"

namespace vantrel {

namespace {

constexpr TSummaryMeasure Je = TSummaryMeasure::Je;
constexpr TSummaryMeasure Se = TSummaryMeasure::Se;
constexpr TSummaryMeasure Fs = TSummaryMeasure::Fs;

constexpr std::string_view kHigh = "(sl=17 or sl=13)";
constexpr std::string_view kLow = "(sl=6 or sl=4)";

std::vector<TSummaryGroup> MakeCatalogue() {
    return {
        {{{"SB_XXQTFPMX_ZBJE_6_12", Je}}, {"ms=0", "jzjt=0", "lwfp=0", "zfbz=0", "fplx<>3", kHigh}},
        {{{"SB_XXQTFPMX_ZBJE_6_13", Je}}, {"ms=0", "jzjt=0", "lwfp=1", "zfbz=0", "fplx<>3", kHigh}},
        {{{"SB_XXQTFPMX_ZBJE_6_14", Je}}, {"ms=0", "jzjt=0", "zfbz=0", "fplx=3", kHigh}},
        {{{"SB_XXQTFPMX_ZBJE_6_15", Je}}, {"ms=0", "jzjt=0", "lwfp=0", "zfbz=0", kLow}},
        {{{"SB_XXQTFPMX_ZBJE_6_16", Je}}, {"ms=0", "jzjt=0", "lwfp=0", "zfbz=0", "fplx=3", kLow}},
        {{{"SB_XXQTFPMX_ZBJE_6_19", Je}}, {"ms=1", "jzjt=0", "lwfp=0", "zfbz=0"}},
        {{{"SB_XXQTFPMX_ZBJE_6_20", Je}}, {"ms=1", "jzjt=0", "lwfp=1", "zfbz=0"}},
        {{{"SB_XXQTFPMX_ZBJE_6_21", Se}}, {"ms=0", "jzjt=0", "zfbz=0", kHigh}},
        {{{"SB_XXQTFPMX_ZBJE_9_12", Je}}, {"ms=0", "jzjt=1", "lwfp=0", "zfbz=0", "fplx<>3", kHigh}},
        {{{"SB_XXQTFPMX_ZBJE_9_13", Je}}, {"ms=0", "jzjt=1", "lwfp=1", "zfbz=0", "fplx<>3", kHigh}},
        {{{"SB_XXQTFPMX_ZBJE_9_14", Je}}, {"ms=0", "jzjt=1", "zfbz=0", "fplx=3", kHigh}},
        {{{"SB_XXQTFPMX_ZBJE_9_15", Je}}, {"ms=0", "jzjt=1", "lwfp=0", "zfbz=0", kLow}},
        {{{"SB_XXQTFPMX_ZBJE_9_16", Je}}, {"ms=0", "jzjt=1", "lwfp=0", "zfbz=0", "fplx=3", kLow}},
        {{{"SB_XXQTFPMX_ZBSE_9_21", Se}}, {"ms=0", "jzjt=1", "zfbz=0", kHigh}},
        {{{"SB_XXQTFPMX_ZBJE_6_31", Se}}, {"ms=0", "jzjt=0", "zfbz=0", "fplx<>3", kLow}},
        {{{"SB_XXQTFPMX_ZBJE_6_32", Se}}, {"fplx=3", "ms=0", "jzjt=0", "zfbz=0", kLow}},
        {{{"SB_XXQTFPMX_ZBJE_9_21", Se}}, {"ms=0", "jzjt=1", "zfbz=0", kHigh}},
        {{{"SB_XXQTFPMX_ZBJE_9_31", Se}}, {"ms=0", "jzjt=1", "zfbz=0", "fplx<>3", kLow}},
        // The declaration form carries this cell twice, and the host expects both lines.
        {{{"SB_XXQTFPMX_ZBJE_9_32", Se}}, {"ms=0", "jzjt=1", "zfbz=0", "fplx=3", kLow}},
        {{{"SB_XXQTFPMX_ZBJE_9_32", Se}}, {"ms=0", "jzjt=1", "zfbz=0", "fplx=3", kLow}},
        {{{"SB_XXQTFPMX_FB1FS_3_10", Fs}}, {"fplx=1", "lwfp=0", "ms=0", "sl=17"}},
        {{{"SB_XXQTFPMX_FB1JE_4_10", Je}, {"SB_XXQTFPMX_FB1SE_5_10", Se}}, {"fplx=1", "zfbz=0", "lwfp=0", "ms=0", "sl=17"}},
        {{{"SB_XXQTFPMX_FB1JE_4_11", Je}, {"SB_XXQTFPMX_FB1SE_5_11", Se}}, {"fplx=2", "zfbz=0", "lwfp=0", "ms=0", "sl=17"}},
        {{{"SB_XXQTFPMX_FB1JE_4_13", Je}, {"SB_XXQTFPMX_FB1SE_5_13", Se}}, {"fplx=3", "zfbz=0", "lwfp=0", "ms=0", "sl=17"}},
        {{{"SB_XXQTFPMX_FB1FS_6_10", Fs}}, {"fplx=1", "lwfp=0", "ms=0", "sl=13"}},
        {{{"SB_XXQTFPMX_FB1JE_7_10", Je}, {"SB_XXQTFPMX_FB1SE_9_10", Se}}, {"fplx=1", "zfbz=0", "lwfp=0", "ms=0", "sl=13"}},
        {{{"SB_XXQTFPMX_FB1JE_7_11", Je}, {"SB_XXQTFPMX_FB1SE_9_11", Se}}, {"fplx=2", "zfbz=0", "lwfp=0", "ms=0", "sl=13"}},
        {{{"SB_XXQTFPMX_FB1JE_7_13", Je}, {"SB_XXQTFPMX_FB1SE_9_13", Se}}, {"fplx=3", "zfbz=0", "lwfp=0", "ms=0", "sl=13"}},
        {{{"SB_XXQTFPMX_FB1FS_10_10", Fs}}, {"fplx=1", "lwfp=1", "ms=0", kHigh}},
        {{{"SB_XXQTFPMX_FB1JE_11_10", Je}, {"SB_XXQTFPMX_FB1SE_12_10", Se}}, {"fplx=1", "zfbz=0", "lwfp=1", "ms=0", kHigh}},
        {{{"SB_XXQTFPMX_FB1JE_11_11", Je}, {"SB_XXQTFPMX_FB1SE_12_11", Se}}, {"fplx=2", "zfbz=0", "lwfp=1", "ms=0", kHigh}},
        {{{"SB_XXQTFPMX_FB1JE_11_13", Je}, {"SB_XXQTFPMX_FB1SE_12_13", Se}}, {"fplx=3", "zfbz=0", "lwfp=1", "ms=0", kHigh}},
        {{{"SB_XXQTFPMX_FB1FS_3_20", Fs}}, {"fplx=1", "ms=0", "sl=6"}},
        {{{"SB_XXQTFPMX_FB1JE_4_20", Je}, {"SB_XXQTFPMX_FB1SE_5_20", Se}}, {"fplx=1", "zfbz=0", "ms=0", "sl=6"}},
        {{{"SB_XXQTFPMX_FB1JE_4_21", Je}, {"SB_XXQTFPMX_FB1SE_5_21", Se}}, {"fplx=2", "zfbz=0", "ms=0", "sl=6"}},
        {{{"SB_XXQTFPMX_FB1JE_4_23", Je}, {"SB_XXQTFPMX_FB1SE_5_23", Se}}, {"fplx=3", "zfbz=0", "ms=0", "sl=6"}},
        {{{"SB_XXQTFPMX_FB1FS_7_20", Fs}}, {"fplx=1", "ms=0", "sl=4"}},
        {{{"SB_XXQTFPMX_FB1JE_8_20", Je}, {"SB_XXQTFPMX_FB1SE_10_20", Se}}, {"fplx=1", "zfbz=0", "ms=0", "sl=4"}},
        {{{"SB_XXQTFPMX_FB1JE_8_21", Je}, {"SB_XXQTFPMX_FB1SE_10_21", Se}}, {"fplx=2", "zfbz=0", "ms=0", "sl=4"}},
        {{{"SB_XXQTFPMX_FB1JE_8_23", Je}, {"SB_XXQTFPMX_FB1SE_10_23", Se}}, {"fplx=3", "zfbz=0", "ms=0", "sl=4"}},
        {{{"SB_XXQTFPMX_FB1FS_3_29", Fs}}, {"fplx=1", "lwfp=0", "ms=1"}},
        {{{"SB_XXQTFPMX_FB1JE_4_29", Je}}, {"fplx=1", "zfbz=0", "lwfp=0", "ms=1"}},
        {{{"SB_XXQTFPMX_FB1JE_4_30", Je}}, {"fplx=2", "zfbz=0", "lwfp=0", "ms=1"}},
        {{{"SB_XXQTFPMX_FB1FS_7_29", Fs}}, {"fplx=1", "lwfp=1", "ms=1"}},
        {{{"SB_XXQTFPMX_FB1JE_8_29", Je}}, {"fplx=1", "zfbz=0", "lwfp=1", "ms=1"}},
        {{{"SB_XXQTFPMX_FB1JE_8_30", Je}}, {"fplx=2", "zfbz=0", "lwfp=1", "ms=1"}},
    };
}

}  // namespace

const std::vector<TSummaryGroup>& SummaryCatalogue() {
    static const std::vector<TSummaryGroup> catalogue = MakeCatalogue();
    return catalogue;
}

bool FindSummaryCell(std::string_view name, TSummaryCellRef& ref) {
    const auto sameText = [](std::string_view a, std::string_view b) {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i) {
            const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
            const auto upper = [](unsigned char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; };
            if (upper(x) != upper(y)) return false;
        }
        return true;
    };
    for (const TSummaryGroup& group : SummaryCatalogue()) {
        for (const TSummaryCell& cell : group.cells) {
            const std::string_view shortName = cell.name.substr(kSummaryCellPrefix.size());
            if (sameText(name, cell.name) || sameText(name, shortName)) {
                ref.group = &group;
                ref.cell = &cell;
                return true;
            }
        }
    }
    return false;
}

std::string_view MeasureAlias(TSummaryMeasure measure) {
    switch (measure) {
    case TSummaryMeasure::Je: return "zje";
    case TSummaryMeasure::Se: return "zse";
    case TSummaryMeasure::Fs: return "zfs";
    }
    return "zje";
}

// The alias is the column behind a "z".
std::string_view MeasureColumn(TSummaryMeasure measure) { return MeasureAlias(measure).substr(1); }

}  // namespace vantrel
