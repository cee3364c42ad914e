#pragma once
// Realistic member records for the benchmarks: values of the lengths the
// marketplace's pages give, the same on every run.
#include <array>
#include <cstdint>
#include <string>

#include "core/data_files.h"
#include "core/database.h"

namespace qv::bench {

// Deterministic, so every run stores the same file.
class Lcg {
public:
    explicit Lcg(uint64_t seed) : state_(seed) {}
    uint32_t Next() {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<uint32_t>(state_ >> 33);
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<uint32_t>(n)); }
    template <size_t N>
    const char* Pick(const std::array<const char*, N>& pool) {
        return pool[static_cast<size_t>(Below(static_cast<int>(N)))];
    }
    std::string Digits(int n) {
        std::string s;
        for (int i = 0; i < n; ++i) s.push_back(static_cast<char>('0' + Below(10)));
        return s;
    }
    std::string Letters(int n) {
        std::string s;
        for (int i = 0; i < n; ++i) s.push_back(static_cast<char>('a' + Below(26)));
        return s;
    }

private:
    uint64_t state_;
};

constexpr std::array<const char*, 8> kCities{"深圳市", "广州市", "东莞市", "宁波市",
                                             "义乌市", "苏州市", "温州市", "佛山市"};
// The cities' area codes, so that phone numbers are the real numbers of their places.
constexpr std::array<const char*, 8> kAreaCodes{"755", "20", "769", "574", "579", "512", "577", "757"};
constexpr std::array<const char*, 8> kProvinces{"广东省", "广东省", "广东省", "浙江省",
                                                "浙江省", "江苏省", "浙江省", "广东省"};
constexpr std::array<const char*, 8> kDistricts{"福田区", "龙岗区", "宝安区", "南山区",
                                                "越秀区", "鄞州区", "工业园区", "顺德区"};
constexpr std::array<const char*, 10> kTrades{"电子科技", "五金制品", "塑胶模具", "服装服饰",
                                              "照明电器", "包装材料", "精密机械", "家居用品",
                                              "化工原料", "礼品工艺"};
constexpr std::array<const char*, 10> kBrands{"华强", "鑫源", "宏达", "永盛", "金利",
                                              "瑞丰", "恒通", "德力", "佳美", "新锐"};
constexpr std::array<const char*, 10> kSurnames{"王", "李", "张", "刘", "陈",
                                                "杨", "黄", "赵", "周", "吴"};
constexpr std::array<const char*, 10> kGivenNames{"建国", "小明", "丽娟", "伟", "海涛",
                                                  "秀英", "志强", "敏", "国华", "静"};
constexpr std::array<const char*, 6> kDuties{"销售经理", "总经理", "业务员", "采购部主管",
                                             "外贸经理", "董事长"};
constexpr std::array<const char*, 8> kProducts{
    "贴片电容、贴片电阻、二极管、三极管、集成电路",
    "不锈钢螺丝、螺母、垫片、铆钉",
    "注塑模具、塑胶外壳、硅胶按键",
    "女装连衣裙、T恤、休闲裤、针织衫",
    "LED灯珠、LED灯带、LED面板灯、筒灯",
    "纸箱、彩盒、吸塑包装、气泡袋",
    "数控车床零件、CNC加工件",
    "收纳盒、保温杯、不锈钢餐具"};
constexpr std::array<const char*, 4> kCompanyTypes{"有限责任公司", "私营独资企业",
                                                   "股份有限公司", "个体经营"};
constexpr std::array<const char*, 4> kModes{"生产加工", "经销批发", "生产加工 经销批发",
                                            "招商代理"};
constexpr std::array<const char*, 5> kEmployees{"5 人以下", "5 - 10 人", "11 - 50 人",
                                                "51 - 100 人", "101 - 200 人"};
constexpr std::array<const char*, 4> kTurnovers{
    "人民币 100 万元/年 - 200 万元/年", "人民币 500 万元/年 - 1000 万元/年",
    "人民币 1000 万元/年 - 2000 万元/年", "人民币 1 亿元/年以上"};
constexpr std::array<const char*, 5> kBanks{"中国工商银行", "中国建设银行", "中国农业银行",
                                            "招商银行", "中国银行"};
constexpr std::array<const char*, 8> kIntroSentences{
    "本公司是一家集研发、生产、销售和服务于一体的现代化企业，",
    "公司拥有先进的生产设备和完善的质量管理体系，已通过ISO9001质量体系认证，",
    "产品远销欧美、东南亚、中东等三十多个国家和地区，深受国内外客户的信赖与好评。",
    "我们始终坚持“质量第一、信誉至上、客户满意”的经营理念，",
    "竭诚为广大客户提供优质的产品、合理的价格和周到的售后服务。",
    "公司技术力量雄厚，现有员工两百余人，其中工程技术人员三十余人，",
    "厂房面积一万余平方米，月产能可达五十万件，可按客户要求来图来样定做。",
    "欢迎新老客户来电来函洽谈业务，携手共创美好未来！"};

// One record with values of the lengths the marketplace's pages give.
inline qv::MemberValues MakeRecord(Lcg& rng, int n) {
    using namespace qv;
    MemberValues v;
    int city = rng.Below(static_cast<int>(kCities.size()));
    std::string city_name = kCities[static_cast<size_t>(city)];
    std::string brand = rng.Pick(kBrands);
    std::string login = rng.Letters(6 + rng.Below(6)) + std::to_string(n);
    v[mfCompanyName] = city_name + brand + rng.Pick(kTrades) + "有限公司";
    v[mfMemberID] = login;
    v[mfMemberType] = "诚信通会员";
    v[mfGoodIndex] = std::to_string(rng.Below(300));
    v[mfSendMsgLink] = "http://china.example.com/msg/send.htm?memberId=" + login;
    v[mfContactLink] = "http://" + login + ".cn.example.com/athena/contact/" + login + ".html";
    v[mfCmpDetail] = "http://" + login + ".cn.example.com/athena/companyprofile/" + login + ".html";
    v[mfLinkMan] = std::string(rng.Pick(kSurnames)) + rng.Pick(kGivenNames);
    v[mfSex] = rng.Below(2) ? "先生" : "女士";
    v[mfDuty] = rng.Pick(kDuties);
    v[mfMobile] = "13" + rng.Digits(9);
    const std::string area = kAreaCodes[static_cast<size_t>(city)];
    v[mfPhone] = "86 0" + area + " " + std::to_string(2 + rng.Below(7)) + rng.Digits(7);
    v[mfFax] = "86 0" + area + " " + std::to_string(2 + rng.Below(7)) + rng.Digits(7);
    v[mfAddress] = std::string(kProvinces[static_cast<size_t>(city)]) + city_name +
                   rng.Pick(kDistricts) + "工业大道" + std::to_string(1 + rng.Below(999)) +
                   "号" + brand + "大厦" + std::to_string(1 + rng.Below(30)) + "楼";
    v[mfPostCode] = "5" + rng.Digits(5);
    v[mfSiteUrl] = "http://www." + login + ".com";
    std::string intro;
    while (intro.size() < 900)  // about 300 characters, three bytes each
        intro += rng.Pick(kIntroSentences);
    v[mfCompanyContext] = intro;
    v[mfIndustry] = std::string(rng.Pick(kTrades)) + " " + rng.Pick(kTrades);
    v[mfProduct] = rng.Pick(kProducts);
    v[mfCompanyType] = rng.Pick(kCompanyTypes);
    v[mfCompanyMode] = rng.Pick(kModes);
    v[mfRegCapital] = std::to_string(10 * (1 + rng.Below(100))) + " 万元";
    v[mfRegAddress] = city_name + rng.Pick(kDistricts);
    v[mfEmployee] = rng.Pick(kEmployees);
    v[mfRegDate] = std::to_string(1995 + rng.Below(28)) + "-0" + std::to_string(1 + rng.Below(9)) +
                   "-1" + std::to_string(rng.Below(10));
    v[mfCorporation] = std::string(rng.Pick(kSurnames)) + rng.Pick(kGivenNames);
    v[mfMostlyClient] = "国内各大电子厂、贸易公司及海外进口商";
    v[mfTurnover] = rng.Pick(kTurnovers);
    v[mfDealAddress] = std::string(kProvinces[static_cast<size_t>(city)]) + city_name;
    v[mfBrand] = brand;
    v[mfBank] = std::string(rng.Pick(kBanks)) + city_name + "支行";
    v[mfBankAccount] = rng.Digits(19);
    return v;
}

inline void FillDataFile(const std::string& path, int records) {
    qv::CreateDatabaseFile(path, true);
    qv::ExecuteOnDatabaseFile(path, qv::kCreateDataListSql);
    qv::Connection db(path, qv::DatabaseKind::DataFile);
    Lcg rng(20240611);
    db.Execute("BEGIN");
    for (int i = 0; i < records; ++i) db.Execute(qv::BuildInsertStatement(MakeRecord(rng, i)));
    db.Execute("COMMIT");
}

}  // namespace qv::bench
