#include "sim/site_data.h"

#include <set>

#include "core/gbk.h"
#include "sim/category_trades.h"
#include "tasks/search_url.h"

namespace qv {

const std::array<std::string_view, kSimProfileFacts> kSimProfileFactLabels{
    "主营行业", "主营产品或服务", "企业类型", "经营模式", "注册资本",
    "公司注册地", "员工人数", "公司成立时间", "法定代表人", "主要客户",
    "年营业额", "主要经营地点", "经营品牌", "开户银行", "银行帐号"};

namespace sim {

uint64_t StableHash(uint64_t seed, std::string_view text, uint64_t n) {
    // FNV-1a over the text, then mixed with the seed and the number.
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : text) h = (h ^ c) * 1099511628211ull;
    h ^= seed * 0x9E3779B97F4A7C15ull;
    h ^= (n + 1) * 0xC2B2AE3D27D4EB4Full;
    h ^= h >> 31;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 29;
    return h;
}

std::string KeywordKey(std::string_view keyword_utf8) { return "k:" + std::string(keyword_utf8); }
std::string CategoryKey(int category_id) { return "c:" + std::to_string(category_id); }

std::string KeyToHex(std::string_view key) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : key) out += {kHex[c >> 4], kHex[c & 15]};
    return out;
}

std::string KeyFromHex(std::string_view hex) {
    auto nibble = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    if (hex.size() % 2 != 0) return {};
    std::string out;
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int hi = nibble(hex[i]), lo = nibble(hex[i + 1]);
        if (hi < 0 || lo < 0) return {};
        out.push_back(static_cast<char>(hi * 16 + lo));
    }
    return out;
}

}  // namespace sim

namespace {

// SplitMix64: small, fast and the same everywhere, unlike the standard distributions.
class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<uint64_t>(n)); }
    bool Chance(int percent) { return Below(100) < percent; }
    template <typename T, size_t N>
    const T& Pick(const std::array<T, N>& items) {
        return items[static_cast<size_t>(Below(static_cast<int>(N)))];
    }
    std::string Digits(int count) {
        std::string s;
        for (int i = 0; i < count; ++i) s.push_back(static_cast<char>('0' + Below(10)));
        return s;
    }

private:
    uint64_t state_;
};

using Sv = std::string_view;

struct City {
    Sv name, province, area_code, post_prefix, abbr;
    std::array<Sv, 3> districts;
};

constexpr std::array<City, 16> kCities{{
    {"杭州", "浙江省", "0571", "310", "hz", {"西湖区", "滨江区", "萧山区"}},
    {"宁波", "浙江省", "0574", "315", "nb", {"鄞州区", "北仑区", "江北区"}},
    {"温州", "浙江省", "0577", "325", "wz", {"鹿城区", "瓯海区", "龙湾区"}},
    {"深圳", "广东省", "0755", "518", "sz", {"南山区", "宝安区", "龙岗区"}},
    {"广州", "广东省", "020", "510", "gz", {"天河区", "白云区", "番禺区"}},
    {"东莞", "广东省", "0769", "523", "dg", {"长安镇", "虎门镇", "厚街镇"}},
    {"佛山", "广东省", "0757", "528", "fs", {"顺德区", "南海区", "禅城区"}},
    {"上海", "上海市", "021", "200", "sh", {"浦东新区", "闵行区", "嘉定区"}},
    {"北京", "北京市", "010", "100", "bj", {"朝阳区", "海淀区", "大兴区"}},
    {"苏州", "江苏省", "0512", "215", "su", {"工业园区", "吴中区", "相城区"}},
    {"无锡", "江苏省", "0510", "214", "wx", {"滨湖区", "新吴区", "惠山区"}},
    {"青岛", "山东省", "0532", "266", "qd", {"黄岛区", "城阳区", "李沧区"}},
    {"厦门", "福建省", "0592", "361", "xm", {"思明区", "湖里区", "集美区"}},
    {"天津", "天津市", "022", "300", "tj", {"滨海新区", "西青区", "武清区"}},
    {"武汉", "湖北省", "027", "430", "wh", {"江汉区", "洪山区", "东西湖区"}},
    {"成都", "四川省", "028", "610", "cd", {"武侯区", "高新区", "双流区"}},
}};

struct Core {
    Sv name, pinyin;
};

constexpr std::array<Core, 24> kCores{{
    {"华信", "huaxin"},   {"宏达", "hongda"},     {"金源", "jinyuan"},   {"恒泰", "hengtai"},
    {"瑞丰", "ruifeng"},  {"天成", "tiancheng"},  {"鑫隆", "xinlong"},   {"永盛", "yongsheng"},
    {"中宏", "zhonghong"}, {"博远", "boyuan"},    {"汇通", "huitong"},   {"德力", "deli"},
    {"新星", "xinxing"},  {"远东", "yuandong"},   {"正泰", "zhengtai"},  {"凯达", "kaida"},
    {"安邦", "anbang"},   {"海诚", "haicheng"},   {"明辉", "minghui"},   {"思创", "sichuang"},
    {"富源", "fuyuan"},   {"佳美", "jiamei"},     {"东方", "dongfang"},  {"长城", "changcheng"},
}};

struct Trade {
    Sv name, industry;
    std::array<Sv, 4> products;
};

constexpr std::array<Trade, 12> kTrades{{
    {"电子科技", "电子元器件 | 电子产品制造", {"贴片电容", "LED驱动电源", "印刷线路板", "连接器"}},
    {"照明电器", "照明工业 | 灯具", {"LED吸顶灯", "节能灯", "路灯", "水晶吊灯"}},
    {"五金制品", "五金、工具 | 紧固件", {"不锈钢螺丝", "合页", "门锁", "手动工具"}},
    {"服饰", "服装 | 女装", {"针织衫", "羽绒服", "连衣裙", "休闲裤"}},
    {"塑料制品", "橡塑 | 塑料制品", {"塑料周转箱", "PE薄膜", "注塑件", "塑料瓶"}},
    {"机械设备", "机械及行业设备 | 包装机械", {"灌装机", "封口机", "数控车床", "输送线"}},
    {"化工", "化工 | 涂料", {"水性涂料", "环氧树脂", "胶粘剂", "固化剂"}},
    {"包装材料", "包装 | 纸箱", {"瓦楞纸箱", "彩盒", "气泡袋", "胶带"}},
    {"纺织", "纺织、皮革 | 面料", {"涤纶面料", "全棉布", "牛仔布", "PU革"}},
    {"家具", "家居用品 | 家具", {"办公椅", "实木餐桌", "沙发", "文件柜"}},
    {"工艺品", "礼品、工艺品、饰品 | 工艺礼品", {"树脂工艺品", "水晶奖杯", "竹木礼盒", "挂饰"}},
    {"实业", "商务服务 | 贸易代理", {"进出口代理", "仓储服务", "物流配送", "展会服务"}},
}};

constexpr std::array<Sv, 5> kCompanySuffixes{"有限公司", "有限公司", "有限责任公司",
                                             "股份有限公司", "厂"};
constexpr std::array<Sv, 30> kSurnames{"王", "李", "张", "刘", "陈", "杨", "黄", "赵", "周", "吴",
                                       "徐", "孙", "马", "朱", "胡", "郭", "何", "林", "高", "罗",
                                       "郑", "梁", "谢", "宋", "唐", "许", "韩", "冯", "邓", "曹"};
constexpr std::array<Sv, 16> kMaleNames{"建国", "伟", "强", "军", "志明", "海涛", "国庆", "晓东",
                                        "文斌", "永刚", "俊杰", "振华", "立新", "明", "磊", "浩"};
constexpr std::array<Sv, 16> kFemaleNames{"娜", "静", "丽", "敏", "秀英", "艳", "晓燕", "丽华",
                                          "婷", "雪梅", "玉兰", "欣", "慧", "红霞", "琳", "倩"};
constexpr std::array<Sv, 8> kDuties{"销售经理", "总经理", "业务员", "外贸部经理",
                                    "采购主管", "市场部主任", "董事长", "销售代表"};
constexpr std::array<Sv, 6> kRoads{"文三路", "解放路", "人民路", "建设大道", "工业大道", "中山北路"};
constexpr std::array<Sv, 6> kCompanyTypes{"私营有限责任公司", "私营独资企业", "股份有限公司",
                                          "个体经营", "外商独资企业", "中外合资企业"};
constexpr std::array<Sv, 5> kModes{"生产加工", "经销批发", "生产加工、经销批发", "招商代理",
                                   "商业服务"};
constexpr std::array<Sv, 6> kCapitals{"50万元人民币", "100万元人民币", "200万元人民币",
                                      "500万元人民币", "1000万元人民币", "100万美元"};
constexpr std::array<Sv, 5> kEmployees{"5 人以下", "11 - 50 人", "51 - 100 人", "101 - 200 人",
                                       "501 - 1000 人"};
constexpr std::array<Sv, 6> kClients{"国内各大超市、经销商", "欧美进口商", "Macy's 等欧美零售商",
                                     "东南亚贸易公司", "国内家电企业", ""};
constexpr std::array<Sv, 5> kTurnovers{"人民币 100 万元/年 - 500 万元/年",
                                       "人民币 500 万元/年 - 1000 万元/年",
                                       "人民币 1000 万元/年 - 2000 万元/年",
                                       "人民币 5000 万元/年 - 1 亿元/年", "暂不公开"};
constexpr std::array<Sv, 6> kBanks{"中国工商银行", "中国建设银行", "中国农业银行", "中国银行",
                                   "招商银行", "交通银行"};

std::string S(Sv v) { return std::string(v); }

std::string TwoDigits(int n) { return (n < 10 ? "0" : "") + std::to_string(n); }

// The part of a search word that may appear in page text: CJK characters, ASCII letters
// and digits. Anything else could be taken for markup or lost in GBK.
std::string PrintableWord(std::string_view utf8) {
    const std::u16string text = Utf8ToUtf16(utf8);
    std::u16string kept;
    for (char16_t c : text) {
        const bool ascii = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') ||
                           (c >= u'A' && c <= u'Z');
        if (ascii || (c >= 0x4E00 && c <= 0x9FA5)) kept.push_back(c);
        if (kept.size() >= 12) break;
    }
    std::string out = Utf16ToUtf8(kept);
    // Characters outside GBK would come back as '?'.
    if (GbkToUtf8(Utf8ToGbk(out)) != out) return "";
    return out;
}

}  // namespace

std::string sim::SearchWordOf(const std::string& key) {
    if (key.starts_with("c:")) {
        const int id = std::atoi(key.c_str() + 2);
        for (const CategoryItem& c : CategoryList())
            if (c.id == id) return PrintableWord(c.caption);
        return "";
    }
    return PrintableWord(std::string_view(key).substr(key.starts_with("k:") ? 2 : 0));
}

namespace {

bool Municipal(const City& c) { return c.province.ends_with("市"); }

// "浙江省杭州市", or just "上海市" for a city that is a province of its own.
std::string CityFullName(const City& c) {
    return Municipal(c) ? S(c.province) : S(c.province) + S(c.name) + "市";
}

// The trade most companies of a search are in: one the search word names, or else one
// the key picks.
size_t MainTrade(uint32_t seed, const std::string& key, const std::string& word) {
    if (!word.empty())
        for (size_t t = 0; t < kTrades.size(); ++t) {
            const Trade& trade = kTrades[t];
            if (trade.name.find(word) != Sv::npos || trade.industry.find(word) != Sv::npos) return t;
            for (Sv product : trade.products)
                if (product.find(word) != Sv::npos) return t;
        }
    return static_cast<size_t>(sim::StableHash(seed, key) % kTrades.size());
}

struct Person {
    std::string name, sex, duty, html;
};

Person MakePerson(Rng& rng) {
    Person p;
    const bool male = rng.Chance(60);
    p.name = S(rng.Pick(kSurnames)) + S(male ? rng.Pick(kMaleNames) : rng.Pick(kFemaleNames));
    const Sv salutation = male ? "先生" : "女士";
    const Sv gap = rng.Chance(30) ? "&nbsp;" : " ";
    const std::string duty = S(rng.Pick(kDuties));
    switch (rng.Below(10)) {
        case 0: case 1: case 2: case 3: case 4:
            p.sex = S(salutation);
            p.duty = duty;
            p.html = p.name + S(gap) + p.sex + "（" + duty + "）";
            break;
        case 5: case 6:
            p.sex = S(salutation);
            p.html = p.name + S(gap) + p.sex;
            break;
        case 7:
            p.html = p.name;
            break;
        case 8:
            p.duty = duty;
            p.html = p.name + "（" + duty + "）";
            break;
        default:
            p.sex = S(salutation);
            p.duty = duty;
            p.html = p.name + S(gap) + p.sex + "(" + duty + ")";
            break;
    }
    return p;
}

std::string Intro(const std::string& name, const City& city, const Trade& trade,
                  const std::string& year, const std::string& word) {
    std::string text = name + "成立于" + year + "年，位于" + CityFullName(city) +
                       "，是一家专业从事" + S(trade.products[0]) + "、" + S(trade.products[1]) +
                       "研发、生产和销售的企业。";
    if (!word.empty()) text += "公司主要产品有" + word + "及相关配套产品，";
    return text + "拥有先进的生产设备和完善的质量管理体系，产品远销欧美、东南亚等地区。"
                  "我们本着“质量第一、客户至上”的宗旨，竭诚欢迎国内外客户前来洽谈合作。";
}

// The values a crawl reads from a typelist table: labels sit two to a row and only the
// one tested first (the lower fact number) of each row gives a value.
void TakeTypelistFacts(const SimCompany& c, MemberValues& v) {
    for (int fact = 1; fact <= kSimProfileFacts; fact += 2)
        v[mfCompanyContext + fact] = c.profile[fact];
}

// What BuildCompanies makes: `mixed` lets three in ten companies be of another trade.
struct Plan {
    const Trade* main;
    bool mixed;
    std::string word;
    int count;
};

std::vector<SimCompany> BuildCompanies(uint32_t seed, const std::string& key,
                                       const std::string& base_url, const Plan& plan);

}  // namespace

MemberValues SimCompany::ValuesWithoutDetail() const {
    MemberValues v = values;
    for (int i = mfCompanyContext; i <= mfBankAccount; ++i) v[i].clear();
    return v;
}

namespace {

// "浙江省" and "浙江", "上海市" and "上海" name the same place.
std::string_view PlaceWord(std::string_view name) {
    for (Sv suffix : {Sv("省"), Sv("市")})
        if (name.ends_with(suffix) && name.size() > suffix.size()) return name.substr(0, name.size() - suffix.size());
    return name;
}

// Which business models a code of the add-task dialog's list takes in.
bool ModeFits(int biztype, Sv mode) {
    if (biztype == 0) return true;
    const bool making = mode.find("生产加工") != Sv::npos;
    const bool trading = mode.find("经销批发") != Sv::npos || mode.find("招商代理") != Sv::npos;
    const bool service = mode.find("商业服务") != Sv::npos;
    return ((biztype & 1) && making) || ((biztype & 2) && trading) || ((biztype & 4) && service);
}

}  // namespace

bool SimFilter::Any() const {
    return !province.empty() || !city.empty() || biztype != 0 || trust_pass_only || online_only;
}

bool SimFilter::Matches(const SimCompany& c) const {
    const City& place = kCities[static_cast<size_t>(c.city)];
    if (!province.empty() && PlaceWord(province) != PlaceWord(place.province)) return false;
    if (!city.empty() && PlaceWord(city) != PlaceWord(place.name)) return false;
    if (!ModeFits(biztype, c.profile[4])) return false;
    if (trust_pass_only && c.values[mfMemberType].empty()) return false;
    return !online_only || c.online;
}

std::string SimFilter::Signature() const {
    return province + "|" + city + "|" + std::to_string(biztype) + "|" + (trust_pass_only ? "pm" : "") +
           "|" + (online_only ? "on" : "");
}

namespace {

// How a search changes from one week to the next: of every hundred companies listed, about
// five are gone and twelve change; one in sixteen of the list's size comes new.
constexpr int kGonePercent = 5;
constexpr int kChangedPercent = 12;
int NewPerWeek(int companies) { return companies <= 0 ? 0 : std::max(1, companies / 16); }

// A profile fact as the page prints it and as the crawl reads it: a typelist table gives
// only the first fact of each row.
void SetFact(SimCompany& c, int fact, std::string text) {
    if (c.profile_layout == SimProfileLayout::bodyCont || fact % 2 == 1)
        c.values[mfCompanyContext + fact] = text;
    c.profile[static_cast<size_t>(fact)] = std::move(text);
}

std::string LocalNumber(Rng& rng, const City& city) {
    const std::string area = S(city.area_code);
    const int local_digits = area.size() == 3 ? 8 : 7;
    return area + "-" + std::to_string(2 + rng.Below(7)) + rng.Digits(local_digits - 1);
}

// One change of one of the company's contact or profile facts; each makes a new value.
void ChangeOneFact(SimCompany& c, Rng& rng) {
    const City& city = kCities[static_cast<size_t>(c.city)];
    MemberValues& v = c.values;
    switch (rng.Below(8)) {
    case 0: {
        Person p = MakePerson(rng);
        while (p.name == v[mfLinkMan]) p = MakePerson(rng);
        c.person_html = p.html;
        v[mfLinkMan] = p.name;
        v[mfSex] = p.sex;
        v[mfDuty] = p.duty;
        break;
    }
    case 1: v[mfMobile] = "13" + rng.Digits(9); break;
    case 2: v[mfPhone] = LocalNumber(rng, city); break;
    case 3: v[mfFax] = LocalNumber(rng, city); break;
    case 4: {
        std::string address = CityFullName(city) + S(rng.Pick(city.districts)) + S(rng.Pick(kRoads)) +
                              std::to_string(900 + rng.Below(99)) + "号";
        v[mfAddress] = address;
        SetFact(c, 12, std::move(address));
        break;
    }
    case 5: SetFact(c, 5, std::to_string(20 + rng.Below(80)) + "0万元人民币"); break;
    case 6: {
        std::string employees = S(rng.Pick(kEmployees));
        while (employees == c.profile[7]) employees = S(rng.Pick(kEmployees));
        SetFact(c, 7, std::move(employees));
        break;
    }
    default: {
        std::string turnover = S(rng.Pick(kTurnovers));
        while (turnover == c.profile[11]) turnover = S(rng.Pick(kTurnovers));
        SetFact(c, 11, std::move(turnover));
        break;
    }
    }
}

}  // namespace

SiteData::SiteData(uint32_t seed, int companies, std::string base_url, int week)
    : seed_(seed), companies_(companies), base_url_(std::move(base_url)), week_(std::max(0, week)) {}

void SiteData::SetWeek(int week) {
    std::lock_guard lock(mutex_);
    week_ = std::max(0, week);
}

int SiteData::week() const {
    std::lock_guard lock(mutex_);
    return week_;
}

const SiteData::Listing& SiteData::ListingOf(const std::string& key, int week) {
    auto it = sets_.find({week, key});
    if (it != sets_.end()) return it->second;
    Listing listing;
    if (week == 0) {
        listing.companies = Build(key, companies_);
    } else {
        // Last week's list, less the companies gone, with some changed and some new; the new
        // ones are the next of the search's own companies, so numbers never repeat.
        const std::vector<SimCompany>& before = ListingOf(key, week - 1).companies;
        const int fresh = NewPerWeek(companies_);
        const int first_new = companies_ + fresh * (week - 1);
        std::vector<SimCompany> pool = fresh > 0 ? Build(key, first_new + fresh) : std::vector<SimCompany>{};
        Rng rng(sim::StableHash(seed_, "week:" + key, static_cast<uint64_t>(week)));
        for (const SimCompany& c : before) {
            const int roll = rng.Below(100);
            if (roll < kGonePercent) continue;
            SimCompany& kept = listing.companies.emplace_back(c);
            if (roll < kGonePercent + kChangedPercent)
                for (int n = 1 + rng.Below(3); n > 0; --n) ChangeOneFact(kept, rng);
        }
        for (int i = first_new; i < first_new + fresh && i < static_cast<int>(pool.size()); ++i) {
            const size_t at = static_cast<size_t>(rng.Below(static_cast<int>(listing.companies.size()) + 1));
            listing.companies.insert(listing.companies.begin() + static_cast<long>(at), pool[static_cast<size_t>(i)]);
        }
    }
    for (size_t i = 0; i < listing.companies.size(); ++i) listing.at[listing.companies[i].index] = i;
    return sets_.emplace(std::pair{week, key}, std::move(listing)).first->second;
}

const std::vector<SimCompany>& SiteData::ForKey(const std::string& key, const SimFilter& filter) {
    std::lock_guard lock(mutex_);
    const Listing& listing = ListingOf(key, week_);
    if (!filter.Any()) return listing.companies;
    const std::string name = std::to_string(week_) + "|" + key + "|" + filter.Signature();
    auto it = filtered_.find(name);
    if (it == filtered_.end()) {
        std::vector<SimCompany> matching;
        for (const SimCompany& c : listing.companies)
            if (filter.Matches(c)) matching.push_back(c);
        it = filtered_.emplace(name, std::move(matching)).first;
    }
    return it->second;
}

const SimCompany* SiteData::CompanyAt(const std::string& key, int index) {
    std::lock_guard lock(mutex_);
    const Listing& listing = ListingOf(key, week_);
    auto it = listing.at.find(index);
    return it == listing.at.end() ? nullptr : &listing.companies[it->second];
}

std::vector<SimCompany> SiteData::Build(const std::string& key, int count) const {
    // The one search that finds nothing, for tests of empty results.
    if (key == sim::KeywordKey("空") || count <= 0) return {};
    const std::string word = sim::SearchWordOf(key);
    const Trade& main = kTrades[MainTrade(seed_, key, word)];
    return BuildCompanies(seed_, key, base_url_, {&main, true, word, count});
}

std::vector<SimCompany> SiteData::CategoryDirectory(std::string_view group, std::string_view category,
                                                    int count) const {
    // A category the table does not know still gets companies named after it.
    const sim::CategoryTrade known = sim::FindCategoryTrade(category).value_or(
        sim::CategoryTrade{category, category, {category, category, category, category}});
    const std::string industry = std::string(group) + " | " + std::string(category);
    const Trade trade{known.trade, industry, known.products};
    return BuildCompanies(seed_, "d:" + std::string(category), base_url_,
                          {&trade, false, PrintableWord(category), count});
}

namespace {

std::vector<SimCompany> BuildCompanies(uint32_t seed, const std::string& key,
                                       const std::string& base_url, const Plan& plan) {
    std::vector<SimCompany> out;
    const std::string& word = plan.word;
    const std::string hex = sim::KeyToHex(key);
    std::set<std::string> names, ids;
    out.reserve(static_cast<size_t>(plan.count));
    for (int i = 0; i < plan.count; ++i) {
        Rng rng(sim::StableHash(seed, key, static_cast<uint64_t>(i)));
        SimCompany c;
        c.index = i;
        c.search_key = key;
        const Trade& trade = !plan.mixed || rng.Chance(70) ? *plan.main : rng.Pick(kTrades);
        const City* city = nullptr;
        const Core* core = nullptr;
        std::string name;
        for (int attempt = 0;; ++attempt) {
            city = &rng.Pick(kCities);
            core = &rng.Pick(kCores);
            name = S(city->name) + S(core->name) + S(trade.name) + S(rng.Pick(kCompanySuffixes));
            if (attempt > 20) name = S(city->name) + S(rng.Pick(kCores).name) + name;
            if (names.insert(name).second) break;
        }
        c.city = static_cast<int>(city - kCities.data());
        c.core = static_cast<int>(core - kCores.data());
        // Drawn apart from the rest, so the other values stay as they were before it.
        c.online = sim::StableHash(seed, "online:" + key, static_cast<uint64_t>(i)) % 100 < 40;
        std::string member_id = S(city->abbr) + S(core->pinyin) + std::to_string(2000 + rng.Below(9));
        while (!ids.insert(member_id).second) member_id += static_cast<char>('a' + rng.Below(26));

        MemberValues& v = c.values;
        v[mfCompanyName] = name;
        v[mfMemberID] = member_id;
        const bool trust_pass = rng.Chance(70);
        c.verified_mark = trust_pass ? "[已核实]" : "[未核实]";
        v[mfMemberType] = trust_pass ? "诚信通会员" : "";
        v[mfGoodIndex] = trust_pass ? std::to_string(10 + rng.Below(190)) : "";

        const std::string query = "?sk=" + hex + "&n=" + std::to_string(i);
        c.contact_path = "/company/" + member_id + "/contactinfo.htm" + query;
        c.profile_path = "/company/" + member_id + "/creditdetail.htm" + query;
        c.message_path = "/message/feedback.htm?toMemberId=" + member_id + "&sk=" + hex +
                         "&n=" + std::to_string(i);
        v[mfSendMsgLink] = base_url + c.message_path;
        v[mfContactLink] = base_url + c.contact_path;
        v[mfCmpDetail] = base_url + c.profile_path;

        c.contact_layout = rng.Chance(60) ? SimContactLayout::lh20 : SimContactLayout::mp_r;
        // Each contact layout belongs to one generation of the site, and so does its
        // profile page.
        c.profile_layout = c.contact_layout == SimContactLayout::lh20 ? SimProfileLayout::typelist
                                                                      : SimProfileLayout::bodyCont;
        Person person = MakePerson(rng);
        c.person_html = person.html;
        v[mfLinkMan] = person.name;
        v[mfSex] = person.sex;
        v[mfDuty] = person.duty;

        const std::string area = S(city->area_code);
        const int local_digits = area.size() == 3 ? 8 : (rng.Chance(80) ? 8 : 7);
        v[mfMobile] = rng.Chance(85) ? "13" + rng.Digits(9) : "";
        v[mfPhone] = area + "-" + std::to_string(2 + rng.Below(7)) + rng.Digits(local_digits - 1);
        v[mfFax] = rng.Chance(70) ? area + "-" + std::to_string(2 + rng.Below(7)) +
                                        rng.Digits(local_digits - 1)
                                  : "";
        const std::string district = S(rng.Pick(city->districts));
        std::string address = CityFullName(*city) + district + S(rng.Pick(kRoads)) +
                              std::to_string(1 + rng.Below(899)) + "号";
        if (rng.Chance(30)) address += S(core->name) + "大厦" + std::to_string(2 + rng.Below(20)) + "楼";
        v[mfAddress] = address;
        v[mfPostCode] = S(city->post_prefix) + rng.Digits(3);
        v[mfSiteUrl] = rng.Chance(60) ? "http://www." + S(city->abbr) + S(core->pinyin) + ".com" : "";

        const std::string year = std::to_string(1990 + rng.Below(18));
        std::array<std::string, kSimProfileFacts + 1>& p = c.profile;
        p[0] = Intro(name, *city, trade, year, word);
        p[1] = S(trade.industry);
        p[2] = S(trade.products[0]) + "、" + S(trade.products[1]) + "、" + S(trade.products[2]) +
               "、" + S(trade.products[3]);
        p[3] = S(rng.Pick(kCompanyTypes));
        p[4] = S(rng.Pick(kModes));
        p[5] = S(rng.Pick(kCapitals));
        p[6] = CityFullName(*city);
        p[7] = S(rng.Pick(kEmployees));
        p[8] = year + "-" + TwoDigits(1 + rng.Below(12)) + "-" + TwoDigits(1 + rng.Below(28));
        p[9] = S(rng.Pick(kSurnames)) + S(rng.Pick(kMaleNames));
        p[10] = S(rng.Pick(kClients));
        p[11] = S(rng.Pick(kTurnovers));
        p[12] = address;
        p[13] = rng.Chance(15) ? "O'Neil" : (rng.Chance(60) ? S(core->name) : "");
        p[14] = S(rng.Pick(kBanks)) + S(city->name) + (rng.Chance(50) ? "分行" : S(district.substr(0, 6)) + "支行");
        p[15] = rng.Chance(50) ? "6222" + rng.Digits(15) : "3301" + rng.Digits(14);

        v[mfCompanyContext] = p[0];
        if (c.profile_layout == SimProfileLayout::bodyCont) {
            for (int f = 1; f <= kSimProfileFacts; ++f) v[mfCompanyContext + f] = p[f];
        } else {
            TakeTypelistFacts(c, v);
        }
        out.push_back(std::move(c));
    }
    return out;
}

}  // namespace
}  // namespace qv
