#include "summary/f_SummaryCaptions.h"

namespace vantrel {

namespace {

enum { MainSection, RateSection, SimpleSection, ExemptSection };

std::vector<TSummarySection> MakeSections() {
    const std::vector<std::string_view> issuedTypes = {"开具普通发票", "开具非专用发票", "未开具发票"};
    return {
        {"主表", "销售额和税额（不含作废发票）",
         {"按适用税率（17%、13%）开具发票的货物销售额",
          "按适用税率（17%、13%）开具发票的劳务销售额",
          "按适用税率（17%、13%）未开具发票的销售额",
          "按简易办法（6%、4%）征税的货物销售额",
          "其中：按简易办法（6%、4%）未开具发票的货物销售额",
          "免税货物销售额",
          "免税劳务销售额",
          "按适用税率（17%、13%）计算的销项税额",
          "按适用税率（17%、13%）计算的销项税额（税额栏）",
          "按简易办法（6%、4%）开具发票的应纳税额",
          "按简易办法（6%、4%）未开具发票的应纳税额"},
         {{"", "一般项目"}, {"", "即征即退项目"}}},
        {"附表一", "按适用税率征税的销售额和销项税额",
         issuedTypes,
         {{"17%税率的货物", "份数（含作废）"}, {"17%税率的货物", "销售额"}, {"17%税率的货物", "销项税额"},
          {"13%税率的货物", "份数（含作废）"}, {"13%税率的货物", "销售额"}, {"13%税率的货物", "销项税额"},
          {"17%、13%税率的劳务", "份数（含作废）"}, {"17%、13%税率的劳务", "销售额"}, {"17%、13%税率的劳务", "销项税额"}}},
        {"附表一", "按简易办法征税的销售额和应纳税额",
         issuedTypes,
         {{"6%征收率", "份数（含作废）"}, {"6%征收率", "销售额"}, {"6%征收率", "应纳税额"},
          {"4%征收率", "份数（含作废）"}, {"4%征收率", "销售额"}, {"4%征收率", "应纳税额"}}},
        {"附表一", "免征增值税的销售额",
         {"开具普通发票", "开具非专用发票"},
         {{"免税货物", "份数（含作废）"}, {"免税货物", "销售额"}, {"免税劳务", "份数（含作废）"}, {"免税劳务", "销售额"}}},
    };
}

std::vector<TSummaryPlace> MakePlaces() {
    return {
        {"SB_XXQTFPMX_ZBJE_6_12", MainSection, 0, 0},
        {"SB_XXQTFPMX_ZBJE_9_12", MainSection, 0, 1},
        {"SB_XXQTFPMX_ZBJE_6_13", MainSection, 1, 0},
        {"SB_XXQTFPMX_ZBJE_9_13", MainSection, 1, 1},
        {"SB_XXQTFPMX_ZBJE_6_14", MainSection, 2, 0},
        {"SB_XXQTFPMX_ZBJE_9_14", MainSection, 2, 1},
        {"SB_XXQTFPMX_ZBJE_6_15", MainSection, 3, 0},
        {"SB_XXQTFPMX_ZBJE_9_15", MainSection, 3, 1},
        {"SB_XXQTFPMX_ZBJE_6_16", MainSection, 4, 0},
        {"SB_XXQTFPMX_ZBJE_9_16", MainSection, 4, 1},
        {"SB_XXQTFPMX_ZBJE_6_19", MainSection, 5, 0},
        {"SB_XXQTFPMX_ZBJE_6_20", MainSection, 6, 0},
        {"SB_XXQTFPMX_ZBJE_6_21", MainSection, 7, 0},
        {"SB_XXQTFPMX_ZBJE_9_21", MainSection, 7, 1},
        {"SB_XXQTFPMX_ZBSE_9_21", MainSection, 8, 1},
        {"SB_XXQTFPMX_ZBJE_6_31", MainSection, 9, 0},
        {"SB_XXQTFPMX_ZBJE_9_31", MainSection, 9, 1},
        {"SB_XXQTFPMX_ZBJE_6_32", MainSection, 10, 0},
        {"SB_XXQTFPMX_ZBJE_9_32", MainSection, 10, 1},

        {"SB_XXQTFPMX_FB1FS_3_10", RateSection, 0, 0},
        {"SB_XXQTFPMX_FB1JE_4_10", RateSection, 0, 1},
        {"SB_XXQTFPMX_FB1SE_5_10", RateSection, 0, 2},
        {"SB_XXQTFPMX_FB1JE_4_11", RateSection, 1, 1},
        {"SB_XXQTFPMX_FB1SE_5_11", RateSection, 1, 2},
        {"SB_XXQTFPMX_FB1JE_4_13", RateSection, 2, 1},
        {"SB_XXQTFPMX_FB1SE_5_13", RateSection, 2, 2},
        {"SB_XXQTFPMX_FB1FS_6_10", RateSection, 0, 3},
        {"SB_XXQTFPMX_FB1JE_7_10", RateSection, 0, 4},
        {"SB_XXQTFPMX_FB1SE_9_10", RateSection, 0, 5},
        {"SB_XXQTFPMX_FB1JE_7_11", RateSection, 1, 4},
        {"SB_XXQTFPMX_FB1SE_9_11", RateSection, 1, 5},
        {"SB_XXQTFPMX_FB1JE_7_13", RateSection, 2, 4},
        {"SB_XXQTFPMX_FB1SE_9_13", RateSection, 2, 5},
        {"SB_XXQTFPMX_FB1FS_10_10", RateSection, 0, 6},
        {"SB_XXQTFPMX_FB1JE_11_10", RateSection, 0, 7},
        {"SB_XXQTFPMX_FB1SE_12_10", RateSection, 0, 8},
        {"SB_XXQTFPMX_FB1JE_11_11", RateSection, 1, 7},
        {"SB_XXQTFPMX_FB1SE_12_11", RateSection, 1, 8},
        {"SB_XXQTFPMX_FB1JE_11_13", RateSection, 2, 7},
        {"SB_XXQTFPMX_FB1SE_12_13", RateSection, 2, 8},

        {"SB_XXQTFPMX_FB1FS_3_20", SimpleSection, 0, 0},
        {"SB_XXQTFPMX_FB1JE_4_20", SimpleSection, 0, 1},
        {"SB_XXQTFPMX_FB1SE_5_20", SimpleSection, 0, 2},
        {"SB_XXQTFPMX_FB1JE_4_21", SimpleSection, 1, 1},
        {"SB_XXQTFPMX_FB1SE_5_21", SimpleSection, 1, 2},
        {"SB_XXQTFPMX_FB1JE_4_23", SimpleSection, 2, 1},
        {"SB_XXQTFPMX_FB1SE_5_23", SimpleSection, 2, 2},
        {"SB_XXQTFPMX_FB1FS_7_20", SimpleSection, 0, 3},
        {"SB_XXQTFPMX_FB1JE_8_20", SimpleSection, 0, 4},
        {"SB_XXQTFPMX_FB1SE_10_20", SimpleSection, 0, 5},
        {"SB_XXQTFPMX_FB1JE_8_21", SimpleSection, 1, 4},
        {"SB_XXQTFPMX_FB1SE_10_21", SimpleSection, 1, 5},
        {"SB_XXQTFPMX_FB1JE_8_23", SimpleSection, 2, 4},
        {"SB_XXQTFPMX_FB1SE_10_23", SimpleSection, 2, 5},

        {"SB_XXQTFPMX_FB1FS_3_29", ExemptSection, 0, 0},
        {"SB_XXQTFPMX_FB1JE_4_29", ExemptSection, 0, 1},
        {"SB_XXQTFPMX_FB1JE_4_30", ExemptSection, 1, 1},
        {"SB_XXQTFPMX_FB1FS_7_29", ExemptSection, 0, 2},
        {"SB_XXQTFPMX_FB1JE_8_29", ExemptSection, 0, 3},
        {"SB_XXQTFPMX_FB1JE_8_30", ExemptSection, 1, 3},
    };
}

}  // namespace

const std::vector<TSummarySection>& SummarySections() {
    static const std::vector<TSummarySection> sections = MakeSections();
    return sections;
}

const std::vector<TSummaryPlace>& SummaryPlaces() {
    static const std::vector<TSummaryPlace> places = MakePlaces();
    return places;
}

const TSummaryPlace* FindSummaryPlace(std::string_view name) {
    for (const TSummaryPlace& place : SummaryPlaces())
        if (place.name == name) return &place;
    return nullptr;
}

std::string SummaryCellCaption(std::string_view name) {
    const TSummaryPlace* place = FindSummaryPlace(name);
    if (!place) return std::string();
    const TSummarySection& section = SummarySections()[static_cast<std::size_t>(place->section)];
    const TSummaryColumn& column = section.columns[static_cast<std::size_t>(place->column)];
    std::string caption(section.form);
    caption += "：";
    caption += section.rows[static_cast<std::size_t>(place->row)];
    caption += "，";
    caption += column.group;
    caption += column.caption;
    return caption;
}

}  // namespace vantrel
