-- The project database: the task list and the reference tables of locations and
-- industries. Run by the build with the sqlite3 shell.
PRAGMA user_version = 1;
BEGIN;

-- AUTOINCREMENT: like Jet's Counter, a deleted task's number is never handed out again,
-- so a number seen by the scheduler always means one task. Names are compared without
-- regard to ASCII case, as the original engine did; uniqueness is the dialog's check.
CREATE TABLE Tasks (
    ID                  INTEGER PRIMARY KEY AUTOINCREMENT,
    TaskName            TEXT COLLATE NOCASE,
    Province            TEXT,
    City                TEXT,
    BiztypeName         TEXT,
    EstablishedYearName TEXT,
    CategoryLargeName   TEXT,
    onlyAliMember       INTEGER,
    onlyOnlineMember    INTEGER,
    searchURL           TEXT,
    Remark              TEXT
);
CREATE INDEX TasksByName ON Tasks (TaskName);

-- Provinces have ParentID 0. A city's FID is its province's FID times 100 plus its place
-- in the list, so ORDER BY FID keeps the usual order. The four municipalities list their
-- districts; the two special administrative regions their main areas.
CREATE TABLE LocationList (
    FID          INTEGER PRIMARY KEY,
    ParentID     INTEGER NOT NULL,
    LocationName TEXT NOT NULL
);
CREATE INDEX LocationListByParent ON LocationList (ParentID, FID);


-- 北京
INSERT INTO LocationList VALUES (1, 0, '北京');
INSERT INTO LocationList VALUES
    (101, 1, '东城'),
    (102, 1, '西城'),
    (103, 1, '朝阳'),
    (104, 1, '丰台'),
    (105, 1, '石景山'),
    (106, 1, '海淀'),
    (107, 1, '门头沟'),
    (108, 1, '房山'),
    (109, 1, '通州'),
    (110, 1, '顺义'),
    (111, 1, '昌平'),
    (112, 1, '大兴'),
    (113, 1, '怀柔'),
    (114, 1, '平谷'),
    (115, 1, '密云'),
    (116, 1, '延庆');

-- 天津
INSERT INTO LocationList VALUES (2, 0, '天津');
INSERT INTO LocationList VALUES
    (201, 2, '和平'),
    (202, 2, '河东'),
    (203, 2, '河西'),
    (204, 2, '南开'),
    (205, 2, '河北'),
    (206, 2, '红桥'),
    (207, 2, '东丽'),
    (208, 2, '西青'),
    (209, 2, '津南'),
    (210, 2, '北辰'),
    (211, 2, '武清'),
    (212, 2, '宝坻'),
    (213, 2, '滨海新区'),
    (214, 2, '宁河'),
    (215, 2, '静海'),
    (216, 2, '蓟州');

-- 河北
INSERT INTO LocationList VALUES (3, 0, '河北');
INSERT INTO LocationList VALUES
    (301, 3, '石家庄'),
    (302, 3, '唐山'),
    (303, 3, '秦皇岛'),
    (304, 3, '邯郸'),
    (305, 3, '邢台'),
    (306, 3, '保定'),
    (307, 3, '张家口'),
    (308, 3, '承德'),
    (309, 3, '沧州'),
    (310, 3, '廊坊'),
    (311, 3, '衡水');

-- 山西
INSERT INTO LocationList VALUES (4, 0, '山西');
INSERT INTO LocationList VALUES
    (401, 4, '太原'),
    (402, 4, '大同'),
    (403, 4, '阳泉'),
    (404, 4, '长治'),
    (405, 4, '晋城'),
    (406, 4, '朔州'),
    (407, 4, '晋中'),
    (408, 4, '运城'),
    (409, 4, '忻州'),
    (410, 4, '临汾'),
    (411, 4, '吕梁');

-- 内蒙古
INSERT INTO LocationList VALUES (5, 0, '内蒙古');
INSERT INTO LocationList VALUES
    (501, 5, '呼和浩特'),
    (502, 5, '包头'),
    (503, 5, '乌海'),
    (504, 5, '赤峰'),
    (505, 5, '通辽'),
    (506, 5, '鄂尔多斯'),
    (507, 5, '呼伦贝尔'),
    (508, 5, '巴彦淖尔'),
    (509, 5, '乌兰察布'),
    (510, 5, '兴安盟'),
    (511, 5, '锡林郭勒盟'),
    (512, 5, '阿拉善盟');

-- 辽宁
INSERT INTO LocationList VALUES (6, 0, '辽宁');
INSERT INTO LocationList VALUES
    (601, 6, '沈阳'),
    (602, 6, '大连'),
    (603, 6, '鞍山'),
    (604, 6, '抚顺'),
    (605, 6, '本溪'),
    (606, 6, '丹东'),
    (607, 6, '锦州'),
    (608, 6, '营口'),
    (609, 6, '阜新'),
    (610, 6, '辽阳'),
    (611, 6, '盘锦'),
    (612, 6, '铁岭'),
    (613, 6, '朝阳'),
    (614, 6, '葫芦岛');

-- 吉林
INSERT INTO LocationList VALUES (7, 0, '吉林');
INSERT INTO LocationList VALUES
    (701, 7, '长春'),
    (702, 7, '吉林'),
    (703, 7, '四平'),
    (704, 7, '辽源'),
    (705, 7, '通化'),
    (706, 7, '白山'),
    (707, 7, '松原'),
    (708, 7, '白城'),
    (709, 7, '延边');

-- 黑龙江
INSERT INTO LocationList VALUES (8, 0, '黑龙江');
INSERT INTO LocationList VALUES
    (801, 8, '哈尔滨'),
    (802, 8, '齐齐哈尔'),
    (803, 8, '鸡西'),
    (804, 8, '鹤岗'),
    (805, 8, '双鸭山'),
    (806, 8, '大庆'),
    (807, 8, '伊春'),
    (808, 8, '佳木斯'),
    (809, 8, '七台河'),
    (810, 8, '牡丹江'),
    (811, 8, '黑河'),
    (812, 8, '绥化'),
    (813, 8, '大兴安岭');

-- 上海
INSERT INTO LocationList VALUES (9, 0, '上海');
INSERT INTO LocationList VALUES
    (901, 9, '黄浦'),
    (902, 9, '徐汇'),
    (903, 9, '长宁'),
    (904, 9, '静安'),
    (905, 9, '普陀'),
    (906, 9, '虹口'),
    (907, 9, '杨浦'),
    (908, 9, '闵行'),
    (909, 9, '宝山'),
    (910, 9, '嘉定'),
    (911, 9, '浦东新区'),
    (912, 9, '金山'),
    (913, 9, '松江'),
    (914, 9, '青浦'),
    (915, 9, '奉贤'),
    (916, 9, '崇明');

-- 江苏
INSERT INTO LocationList VALUES (10, 0, '江苏');
INSERT INTO LocationList VALUES
    (1001, 10, '南京'),
    (1002, 10, '无锡'),
    (1003, 10, '徐州'),
    (1004, 10, '常州'),
    (1005, 10, '苏州'),
    (1006, 10, '南通'),
    (1007, 10, '连云港'),
    (1008, 10, '淮安'),
    (1009, 10, '盐城'),
    (1010, 10, '扬州'),
    (1011, 10, '镇江'),
    (1012, 10, '泰州'),
    (1013, 10, '宿迁');

-- 浙江
INSERT INTO LocationList VALUES (11, 0, '浙江');
INSERT INTO LocationList VALUES
    (1101, 11, '杭州'),
    (1102, 11, '宁波'),
    (1103, 11, '温州'),
    (1104, 11, '嘉兴'),
    (1105, 11, '湖州'),
    (1106, 11, '绍兴'),
    (1107, 11, '金华'),
    (1108, 11, '衢州'),
    (1109, 11, '舟山'),
    (1110, 11, '台州'),
    (1111, 11, '丽水');

-- 安徽
INSERT INTO LocationList VALUES (12, 0, '安徽');
INSERT INTO LocationList VALUES
    (1201, 12, '合肥'),
    (1202, 12, '芜湖'),
    (1203, 12, '蚌埠'),
    (1204, 12, '淮南'),
    (1205, 12, '马鞍山'),
    (1206, 12, '淮北'),
    (1207, 12, '铜陵'),
    (1208, 12, '安庆'),
    (1209, 12, '黄山'),
    (1210, 12, '滁州'),
    (1211, 12, '阜阳'),
    (1212, 12, '宿州'),
    (1213, 12, '六安'),
    (1214, 12, '亳州'),
    (1215, 12, '池州'),
    (1216, 12, '宣城');

-- 福建
INSERT INTO LocationList VALUES (13, 0, '福建');
INSERT INTO LocationList VALUES
    (1301, 13, '福州'),
    (1302, 13, '厦门'),
    (1303, 13, '莆田'),
    (1304, 13, '三明'),
    (1305, 13, '泉州'),
    (1306, 13, '漳州'),
    (1307, 13, '南平'),
    (1308, 13, '龙岩'),
    (1309, 13, '宁德');

-- 江西
INSERT INTO LocationList VALUES (14, 0, '江西');
INSERT INTO LocationList VALUES
    (1401, 14, '南昌'),
    (1402, 14, '景德镇'),
    (1403, 14, '萍乡'),
    (1404, 14, '九江'),
    (1405, 14, '新余'),
    (1406, 14, '鹰潭'),
    (1407, 14, '赣州'),
    (1408, 14, '吉安'),
    (1409, 14, '宜春'),
    (1410, 14, '抚州'),
    (1411, 14, '上饶');

-- 山东
INSERT INTO LocationList VALUES (15, 0, '山东');
INSERT INTO LocationList VALUES
    (1501, 15, '济南'),
    (1502, 15, '青岛'),
    (1503, 15, '淄博'),
    (1504, 15, '枣庄'),
    (1505, 15, '东营'),
    (1506, 15, '烟台'),
    (1507, 15, '潍坊'),
    (1508, 15, '济宁'),
    (1509, 15, '泰安'),
    (1510, 15, '威海'),
    (1511, 15, '日照'),
    (1512, 15, '临沂'),
    (1513, 15, '德州'),
    (1514, 15, '聊城'),
    (1515, 15, '滨州'),
    (1516, 15, '菏泽');

-- 河南
INSERT INTO LocationList VALUES (16, 0, '河南');
INSERT INTO LocationList VALUES
    (1601, 16, '郑州'),
    (1602, 16, '开封'),
    (1603, 16, '洛阳'),
    (1604, 16, '平顶山'),
    (1605, 16, '安阳'),
    (1606, 16, '鹤壁'),
    (1607, 16, '新乡'),
    (1608, 16, '焦作'),
    (1609, 16, '濮阳'),
    (1610, 16, '许昌'),
    (1611, 16, '漯河'),
    (1612, 16, '三门峡'),
    (1613, 16, '南阳'),
    (1614, 16, '商丘'),
    (1615, 16, '信阳'),
    (1616, 16, '周口'),
    (1617, 16, '驻马店'),
    (1618, 16, '济源');

-- 湖北
INSERT INTO LocationList VALUES (17, 0, '湖北');
INSERT INTO LocationList VALUES
    (1701, 17, '武汉'),
    (1702, 17, '黄石'),
    (1703, 17, '十堰'),
    (1704, 17, '宜昌'),
    (1705, 17, '襄阳'),
    (1706, 17, '鄂州'),
    (1707, 17, '荆门'),
    (1708, 17, '孝感'),
    (1709, 17, '荆州'),
    (1710, 17, '黄冈'),
    (1711, 17, '咸宁'),
    (1712, 17, '随州'),
    (1713, 17, '恩施'),
    (1714, 17, '仙桃'),
    (1715, 17, '潜江'),
    (1716, 17, '天门'),
    (1717, 17, '神农架');

-- 湖南
INSERT INTO LocationList VALUES (18, 0, '湖南');
INSERT INTO LocationList VALUES
    (1801, 18, '长沙'),
    (1802, 18, '株洲'),
    (1803, 18, '湘潭'),
    (1804, 18, '衡阳'),
    (1805, 18, '邵阳'),
    (1806, 18, '岳阳'),
    (1807, 18, '常德'),
    (1808, 18, '张家界'),
    (1809, 18, '益阳'),
    (1810, 18, '郴州'),
    (1811, 18, '永州'),
    (1812, 18, '怀化'),
    (1813, 18, '娄底'),
    (1814, 18, '湘西');

-- 广东
INSERT INTO LocationList VALUES (19, 0, '广东');
INSERT INTO LocationList VALUES
    (1901, 19, '广州'),
    (1902, 19, '韶关'),
    (1903, 19, '深圳'),
    (1904, 19, '珠海'),
    (1905, 19, '汕头'),
    (1906, 19, '佛山'),
    (1907, 19, '江门'),
    (1908, 19, '湛江'),
    (1909, 19, '茂名'),
    (1910, 19, '肇庆'),
    (1911, 19, '惠州'),
    (1912, 19, '梅州'),
    (1913, 19, '汕尾'),
    (1914, 19, '河源'),
    (1915, 19, '阳江'),
    (1916, 19, '清远'),
    (1917, 19, '东莞'),
    (1918, 19, '中山'),
    (1919, 19, '潮州'),
    (1920, 19, '揭阳'),
    (1921, 19, '云浮');

-- 广西
INSERT INTO LocationList VALUES (20, 0, '广西');
INSERT INTO LocationList VALUES
    (2001, 20, '南宁'),
    (2002, 20, '柳州'),
    (2003, 20, '桂林'),
    (2004, 20, '梧州'),
    (2005, 20, '北海'),
    (2006, 20, '防城港'),
    (2007, 20, '钦州'),
    (2008, 20, '贵港'),
    (2009, 20, '玉林'),
    (2010, 20, '百色'),
    (2011, 20, '贺州'),
    (2012, 20, '河池'),
    (2013, 20, '来宾'),
    (2014, 20, '崇左');

-- 海南
INSERT INTO LocationList VALUES (21, 0, '海南');
INSERT INTO LocationList VALUES
    (2101, 21, '海口'),
    (2102, 21, '三亚'),
    (2103, 21, '三沙'),
    (2104, 21, '儋州'),
    (2105, 21, '五指山'),
    (2106, 21, '琼海'),
    (2107, 21, '文昌'),
    (2108, 21, '万宁'),
    (2109, 21, '东方');

-- 重庆
INSERT INTO LocationList VALUES (22, 0, '重庆');
INSERT INTO LocationList VALUES
    (2201, 22, '万州'),
    (2202, 22, '涪陵'),
    (2203, 22, '渝中'),
    (2204, 22, '大渡口'),
    (2205, 22, '江北'),
    (2206, 22, '沙坪坝'),
    (2207, 22, '九龙坡'),
    (2208, 22, '南岸'),
    (2209, 22, '北碚'),
    (2210, 22, '綦江'),
    (2211, 22, '大足'),
    (2212, 22, '渝北'),
    (2213, 22, '巴南'),
    (2214, 22, '黔江'),
    (2215, 22, '长寿'),
    (2216, 22, '江津'),
    (2217, 22, '合川'),
    (2218, 22, '永川'),
    (2219, 22, '南川'),
    (2220, 22, '璧山'),
    (2221, 22, '铜梁'),
    (2222, 22, '潼南'),
    (2223, 22, '荣昌'),
    (2224, 22, '开州'),
    (2225, 22, '梁平'),
    (2226, 22, '武隆');

-- 四川
INSERT INTO LocationList VALUES (23, 0, '四川');
INSERT INTO LocationList VALUES
    (2301, 23, '成都'),
    (2302, 23, '自贡'),
    (2303, 23, '攀枝花'),
    (2304, 23, '泸州'),
    (2305, 23, '德阳'),
    (2306, 23, '绵阳'),
    (2307, 23, '广元'),
    (2308, 23, '遂宁'),
    (2309, 23, '内江'),
    (2310, 23, '乐山'),
    (2311, 23, '南充'),
    (2312, 23, '眉山'),
    (2313, 23, '宜宾'),
    (2314, 23, '广安'),
    (2315, 23, '达州'),
    (2316, 23, '雅安'),
    (2317, 23, '巴中'),
    (2318, 23, '资阳'),
    (2319, 23, '阿坝'),
    (2320, 23, '甘孜'),
    (2321, 23, '凉山');

-- 贵州
INSERT INTO LocationList VALUES (24, 0, '贵州');
INSERT INTO LocationList VALUES
    (2401, 24, '贵阳'),
    (2402, 24, '六盘水'),
    (2403, 24, '遵义'),
    (2404, 24, '安顺'),
    (2405, 24, '毕节'),
    (2406, 24, '铜仁'),
    (2407, 24, '黔西南'),
    (2408, 24, '黔东南'),
    (2409, 24, '黔南');

-- 云南
INSERT INTO LocationList VALUES (25, 0, '云南');
INSERT INTO LocationList VALUES
    (2501, 25, '昆明'),
    (2502, 25, '曲靖'),
    (2503, 25, '玉溪'),
    (2504, 25, '保山'),
    (2505, 25, '昭通'),
    (2506, 25, '丽江'),
    (2507, 25, '普洱'),
    (2508, 25, '临沧'),
    (2509, 25, '楚雄'),
    (2510, 25, '红河'),
    (2511, 25, '文山'),
    (2512, 25, '西双版纳'),
    (2513, 25, '大理'),
    (2514, 25, '德宏'),
    (2515, 25, '怒江'),
    (2516, 25, '迪庆');

-- 西藏
INSERT INTO LocationList VALUES (26, 0, '西藏');
INSERT INTO LocationList VALUES
    (2601, 26, '拉萨'),
    (2602, 26, '日喀则'),
    (2603, 26, '昌都'),
    (2604, 26, '林芝'),
    (2605, 26, '山南'),
    (2606, 26, '那曲'),
    (2607, 26, '阿里');

-- 陕西
INSERT INTO LocationList VALUES (27, 0, '陕西');
INSERT INTO LocationList VALUES
    (2701, 27, '西安'),
    (2702, 27, '铜川'),
    (2703, 27, '宝鸡'),
    (2704, 27, '咸阳'),
    (2705, 27, '渭南'),
    (2706, 27, '延安'),
    (2707, 27, '汉中'),
    (2708, 27, '榆林'),
    (2709, 27, '安康'),
    (2710, 27, '商洛');

-- 甘肃
INSERT INTO LocationList VALUES (28, 0, '甘肃');
INSERT INTO LocationList VALUES
    (2801, 28, '兰州'),
    (2802, 28, '嘉峪关'),
    (2803, 28, '金昌'),
    (2804, 28, '白银'),
    (2805, 28, '天水'),
    (2806, 28, '武威'),
    (2807, 28, '张掖'),
    (2808, 28, '平凉'),
    (2809, 28, '酒泉'),
    (2810, 28, '庆阳'),
    (2811, 28, '定西'),
    (2812, 28, '陇南'),
    (2813, 28, '临夏'),
    (2814, 28, '甘南');

-- 青海
INSERT INTO LocationList VALUES (29, 0, '青海');
INSERT INTO LocationList VALUES
    (2901, 29, '西宁'),
    (2902, 29, '海东'),
    (2903, 29, '海北'),
    (2904, 29, '黄南'),
    (2905, 29, '海南'),
    (2906, 29, '果洛'),
    (2907, 29, '玉树'),
    (2908, 29, '海西');

-- 宁夏
INSERT INTO LocationList VALUES (30, 0, '宁夏');
INSERT INTO LocationList VALUES
    (3001, 30, '银川'),
    (3002, 30, '石嘴山'),
    (3003, 30, '吴忠'),
    (3004, 30, '固原'),
    (3005, 30, '中卫');

-- 新疆
INSERT INTO LocationList VALUES (31, 0, '新疆');
INSERT INTO LocationList VALUES
    (3101, 31, '乌鲁木齐'),
    (3102, 31, '克拉玛依'),
    (3103, 31, '吐鲁番'),
    (3104, 31, '哈密'),
    (3105, 31, '昌吉'),
    (3106, 31, '博尔塔拉'),
    (3107, 31, '巴音郭楞'),
    (3108, 31, '阿克苏'),
    (3109, 31, '克孜勒苏'),
    (3110, 31, '喀什'),
    (3111, 31, '和田'),
    (3112, 31, '伊犁'),
    (3113, 31, '塔城'),
    (3114, 31, '阿勒泰'),
    (3115, 31, '石河子');

-- 台湾
INSERT INTO LocationList VALUES (32, 0, '台湾');
INSERT INTO LocationList VALUES
    (3201, 32, '台北'),
    (3202, 32, '新北'),
    (3203, 32, '桃园'),
    (3204, 32, '台中'),
    (3205, 32, '台南'),
    (3206, 32, '高雄'),
    (3207, 32, '基隆'),
    (3208, 32, '新竹'),
    (3209, 32, '嘉义');

-- 香港
INSERT INTO LocationList VALUES (33, 0, '香港');
INSERT INTO LocationList VALUES
    (3301, 33, '香港岛'),
    (3302, 33, '九龙'),
    (3303, 33, '新界');

-- 澳门
INSERT INTO LocationList VALUES (34, 0, '澳门');
INSERT INTO LocationList VALUES
    (3401, 34, '澳门半岛'),
    (3402, 34, '氹仔'),
    (3403, 34, '路环');

-- Industry groups and their categories. A category's ID is its group's ID times 100 plus
-- its place in the group; it names the category data file 1.<ID>.<Name>.db.
CREATE TABLE Industry (
    ID   INTEGER PRIMARY KEY,
    Name TEXT NOT NULL
);
CREATE TABLE IndustryDetail (
    ID       INTEGER PRIMARY KEY,
    ParentID INTEGER NOT NULL,
    Name     TEXT NOT NULL,
    URL      TEXT
);
CREATE INDEX IndustryDetailByParent ON IndustryDetail (ParentID, ID);


INSERT INTO Industry VALUES (1, '农业');
INSERT INTO IndustryDetail VALUES
    (101, 1, '粮食', 'http://china.alibaba.com/category/101.html'),
    (102, 1, '蔬菜', 'http://china.alibaba.com/category/102.html'),
    (103, 1, '水果', 'http://china.alibaba.com/category/103.html'),
    (104, 1, '种子种苗', 'http://china.alibaba.com/category/104.html'),
    (105, 1, '花卉园艺', 'http://china.alibaba.com/category/105.html'),
    (106, 1, '畜牧养殖', 'http://china.alibaba.com/category/106.html'),
    (107, 1, '水产', 'http://china.alibaba.com/category/107.html'),
    (108, 1, '饲料', 'http://china.alibaba.com/category/108.html'),
    (109, 1, '农药', 'http://china.alibaba.com/category/109.html'),
    (110, 1, '肥料', 'http://china.alibaba.com/category/110.html'),
    (111, 1, '农业机械', 'http://china.alibaba.com/category/111.html');

INSERT INTO Industry VALUES (2, '食品饮料');
INSERT INTO IndustryDetail VALUES
    (201, 2, '休闲食品', 'http://china.alibaba.com/category/201.html'),
    (202, 2, '饮料', 'http://china.alibaba.com/category/202.html'),
    (203, 2, '酒类', 'http://china.alibaba.com/category/203.html'),
    (204, 2, '茶叶', 'http://china.alibaba.com/category/204.html'),
    (205, 2, '调味品', 'http://china.alibaba.com/category/205.html'),
    (206, 2, '乳制品', 'http://china.alibaba.com/category/206.html'),
    (207, 2, '粮油', 'http://china.alibaba.com/category/207.html'),
    (208, 2, '肉制品', 'http://china.alibaba.com/category/208.html'),
    (209, 2, '冷冻食品', 'http://china.alibaba.com/category/209.html'),
    (210, 2, '食品添加剂', 'http://china.alibaba.com/category/210.html');

INSERT INTO Industry VALUES (3, '纺织皮革');
INSERT INTO IndustryDetail VALUES
    (301, 3, '棉纺织', 'http://china.alibaba.com/category/301.html'),
    (302, 3, '化纤', 'http://china.alibaba.com/category/302.html'),
    (303, 3, '针织', 'http://china.alibaba.com/category/303.html'),
    (304, 3, '家纺', 'http://china.alibaba.com/category/304.html'),
    (305, 3, '丝绸', 'http://china.alibaba.com/category/305.html'),
    (306, 3, '皮革', 'http://china.alibaba.com/category/306.html'),
    (307, 3, '纺织辅料', 'http://china.alibaba.com/category/307.html'),
    (308, 3, '无纺布', 'http://china.alibaba.com/category/308.html');

INSERT INTO Industry VALUES (4, '服装服饰');
INSERT INTO IndustryDetail VALUES
    (401, 4, '女装', 'http://china.alibaba.com/category/401.html'),
    (402, 4, '男装', 'http://china.alibaba.com/category/402.html'),
    (403, 4, '童装', 'http://china.alibaba.com/category/403.html'),
    (404, 4, '内衣', 'http://china.alibaba.com/category/404.html'),
    (405, 4, '运动服', 'http://china.alibaba.com/category/405.html'),
    (406, 4, '工作服', 'http://china.alibaba.com/category/406.html'),
    (407, 4, '帽子', 'http://china.alibaba.com/category/407.html'),
    (408, 4, '围巾', 'http://china.alibaba.com/category/408.html'),
    (409, 4, '服装辅料', 'http://china.alibaba.com/category/409.html');

INSERT INTO Industry VALUES (5, '鞋包配饰');
INSERT INTO IndustryDetail VALUES
    (501, 5, '男鞋', 'http://china.alibaba.com/category/501.html'),
    (502, 5, '女鞋', 'http://china.alibaba.com/category/502.html'),
    (503, 5, '运动鞋', 'http://china.alibaba.com/category/503.html'),
    (504, 5, '箱包', 'http://china.alibaba.com/category/504.html'),
    (505, 5, '皮具', 'http://china.alibaba.com/category/505.html'),
    (506, 5, '眼镜', 'http://china.alibaba.com/category/506.html'),
    (507, 5, '手表', 'http://china.alibaba.com/category/507.html'),
    (508, 5, '首饰', 'http://china.alibaba.com/category/508.html');

INSERT INTO Industry VALUES (6, '家居用品');
INSERT INTO IndustryDetail VALUES
    (601, 6, '家具', 'http://china.alibaba.com/category/601.html'),
    (602, 6, '厨具', 'http://china.alibaba.com/category/602.html'),
    (603, 6, '餐具', 'http://china.alibaba.com/category/603.html'),
    (604, 6, '卫浴用品', 'http://china.alibaba.com/category/604.html'),
    (605, 6, '灯具', 'http://china.alibaba.com/category/605.html'),
    (606, 6, '家居饰品', 'http://china.alibaba.com/category/606.html'),
    (607, 6, '清洁用品', 'http://china.alibaba.com/category/607.html'),
    (608, 6, '床上用品', 'http://china.alibaba.com/category/608.html');

INSERT INTO Industry VALUES (7, '建筑建材');
INSERT INTO IndustryDetail VALUES
    (701, 7, '水泥', 'http://china.alibaba.com/category/701.html'),
    (702, 7, '陶瓷', 'http://china.alibaba.com/category/702.html'),
    (703, 7, '石材', 'http://china.alibaba.com/category/703.html'),
    (704, 7, '涂料', 'http://china.alibaba.com/category/704.html'),
    (705, 7, '门窗', 'http://china.alibaba.com/category/705.html'),
    (706, 7, '地板', 'http://china.alibaba.com/category/706.html'),
    (707, 7, '管材', 'http://china.alibaba.com/category/707.html'),
    (708, 7, '五金建材', 'http://china.alibaba.com/category/708.html'),
    (709, 7, '玻璃', 'http://china.alibaba.com/category/709.html'),
    (710, 7, '防水材料', 'http://china.alibaba.com/category/710.html');

INSERT INTO Industry VALUES (8, '冶金矿产');
INSERT INTO IndustryDetail VALUES
    (801, 8, '钢材', 'http://china.alibaba.com/category/801.html'),
    (802, 8, '有色金属', 'http://china.alibaba.com/category/802.html'),
    (803, 8, '矿产品', 'http://china.alibaba.com/category/803.html'),
    (804, 8, '铁合金', 'http://china.alibaba.com/category/804.html'),
    (805, 8, '金属丝网', 'http://china.alibaba.com/category/805.html'),
    (806, 8, '不锈钢', 'http://china.alibaba.com/category/806.html');

INSERT INTO Industry VALUES (9, '化工');
INSERT INTO IndustryDetail VALUES
    (901, 9, '有机化工', 'http://china.alibaba.com/category/901.html'),
    (902, 9, '无机化工', 'http://china.alibaba.com/category/902.html'),
    (903, 9, '塑料原料', 'http://china.alibaba.com/category/903.html'),
    (904, 9, '橡胶', 'http://china.alibaba.com/category/904.html'),
    (905, 9, '胶粘剂', 'http://china.alibaba.com/category/905.html'),
    (906, 9, '染料颜料', 'http://china.alibaba.com/category/906.html'),
    (907, 9, '精细化工', 'http://china.alibaba.com/category/907.html'),
    (908, 9, '化学试剂', 'http://china.alibaba.com/category/908.html');

INSERT INTO Industry VALUES (10, '能源');
INSERT INTO IndustryDetail VALUES
    (1001, 10, '煤炭', 'http://china.alibaba.com/category/1001.html'),
    (1002, 10, '石油制品', 'http://china.alibaba.com/category/1002.html'),
    (1003, 10, '天然气', 'http://china.alibaba.com/category/1003.html'),
    (1004, 10, '太阳能', 'http://china.alibaba.com/category/1004.html'),
    (1005, 10, '电池', 'http://china.alibaba.com/category/1005.html'),
    (1006, 10, '发电机组', 'http://china.alibaba.com/category/1006.html');

INSERT INTO Industry VALUES (11, '电工电气');
INSERT INTO IndustryDetail VALUES
    (1101, 11, '电线电缆', 'http://china.alibaba.com/category/1101.html'),
    (1102, 11, '开关', 'http://china.alibaba.com/category/1102.html'),
    (1103, 11, '变压器', 'http://china.alibaba.com/category/1103.html'),
    (1104, 11, '电机', 'http://china.alibaba.com/category/1104.html'),
    (1105, 11, '低压电器', 'http://china.alibaba.com/category/1105.html'),
    (1106, 11, '配电设备', 'http://china.alibaba.com/category/1106.html'),
    (1107, 11, '电工仪表', 'http://china.alibaba.com/category/1107.html'),
    (1108, 11, '插座', 'http://china.alibaba.com/category/1108.html');

INSERT INTO Industry VALUES (12, '电子元器件');
INSERT INTO IndustryDetail VALUES
    (1201, 12, '集成电路', 'http://china.alibaba.com/category/1201.html'),
    (1202, 12, '电容', 'http://china.alibaba.com/category/1202.html'),
    (1203, 12, '电阻', 'http://china.alibaba.com/category/1203.html'),
    (1204, 12, '连接器', 'http://china.alibaba.com/category/1204.html'),
    (1205, 12, '传感器', 'http://china.alibaba.com/category/1205.html'),
    (1206, 12, '半导体', 'http://china.alibaba.com/category/1206.html'),
    (1207, 12, '显示器件', 'http://china.alibaba.com/category/1207.html'),
    (1208, 12, '电路板', 'http://china.alibaba.com/category/1208.html');

INSERT INTO Industry VALUES (13, '数码家电');
INSERT INTO IndustryDetail VALUES
    (1301, 13, '手机', 'http://china.alibaba.com/category/1301.html'),
    (1302, 13, '电脑', 'http://china.alibaba.com/category/1302.html'),
    (1303, 13, '数码相机', 'http://china.alibaba.com/category/1303.html'),
    (1304, 13, '生活电器', 'http://china.alibaba.com/category/1304.html'),
    (1305, 13, '厨房电器', 'http://china.alibaba.com/category/1305.html'),
    (1306, 13, '空调', 'http://china.alibaba.com/category/1306.html'),
    (1307, 13, '音响', 'http://china.alibaba.com/category/1307.html'),
    (1308, 13, '电视机', 'http://china.alibaba.com/category/1308.html');

INSERT INTO Industry VALUES (14, '机械设备');
INSERT INTO IndustryDetail VALUES
    (1401, 14, '机床', 'http://china.alibaba.com/category/1401.html'),
    (1402, 14, '包装机械', 'http://china.alibaba.com/category/1402.html'),
    (1403, 14, '食品机械', 'http://china.alibaba.com/category/1403.html'),
    (1404, 14, '塑料机械', 'http://china.alibaba.com/category/1404.html'),
    (1405, 14, '工程机械', 'http://china.alibaba.com/category/1405.html'),
    (1406, 14, '泵阀', 'http://china.alibaba.com/category/1406.html'),
    (1407, 14, '轴承', 'http://china.alibaba.com/category/1407.html'),
    (1408, 14, '印刷机械', 'http://china.alibaba.com/category/1408.html'),
    (1409, 14, '纺织机械', 'http://china.alibaba.com/category/1409.html'),
    (1410, 14, '矿山机械', 'http://china.alibaba.com/category/1410.html'),
    (1411, 14, '制冷设备', 'http://china.alibaba.com/category/1411.html'),
    (1412, 14, '焊接设备', 'http://china.alibaba.com/category/1412.html');

INSERT INTO Industry VALUES (15, '五金工具');
INSERT INTO IndustryDetail VALUES
    (1501, 15, '手动工具', 'http://china.alibaba.com/category/1501.html'),
    (1502, 15, '电动工具', 'http://china.alibaba.com/category/1502.html'),
    (1503, 15, '紧固件', 'http://china.alibaba.com/category/1503.html'),
    (1504, 15, '锁具', 'http://china.alibaba.com/category/1504.html'),
    (1505, 15, '刀具', 'http://china.alibaba.com/category/1505.html'),
    (1506, 15, '模具', 'http://china.alibaba.com/category/1506.html'),
    (1507, 15, '磨具磨料', 'http://china.alibaba.com/category/1507.html');

INSERT INTO Industry VALUES (16, '交通运输');
INSERT INTO IndustryDetail VALUES
    (1601, 16, '汽车配件', 'http://china.alibaba.com/category/1601.html'),
    (1602, 16, '摩托车配件', 'http://china.alibaba.com/category/1602.html'),
    (1603, 16, '自行车', 'http://china.alibaba.com/category/1603.html'),
    (1604, 16, '电动车', 'http://china.alibaba.com/category/1604.html'),
    (1605, 16, '轮胎', 'http://china.alibaba.com/category/1605.html'),
    (1606, 16, '汽车用品', 'http://china.alibaba.com/category/1606.html'),
    (1607, 16, '船舶', 'http://china.alibaba.com/category/1607.html');

INSERT INTO Industry VALUES (17, '仪器仪表');
INSERT INTO IndustryDetail VALUES
    (1701, 17, '分析仪器', 'http://china.alibaba.com/category/1701.html'),
    (1702, 17, '测量仪器', 'http://china.alibaba.com/category/1702.html'),
    (1703, 17, '流量仪表', 'http://china.alibaba.com/category/1703.html'),
    (1704, 17, '温度仪表', 'http://china.alibaba.com/category/1704.html'),
    (1705, 17, '实验室设备', 'http://china.alibaba.com/category/1705.html'),
    (1706, 17, '光学仪器', 'http://china.alibaba.com/category/1706.html');

INSERT INTO Industry VALUES (18, '医药保健');
INSERT INTO IndustryDetail VALUES
    (1801, 18, '西药', 'http://china.alibaba.com/category/1801.html'),
    (1802, 18, '中药材', 'http://china.alibaba.com/category/1802.html'),
    (1803, 18, '保健品', 'http://china.alibaba.com/category/1803.html'),
    (1804, 18, '医疗器械', 'http://china.alibaba.com/category/1804.html'),
    (1805, 18, '医用耗材', 'http://china.alibaba.com/category/1805.html'),
    (1806, 18, '兽药', 'http://china.alibaba.com/category/1806.html');

INSERT INTO Industry VALUES (19, '印刷包装');
INSERT INTO IndustryDetail VALUES
    (1901, 19, '纸制品', 'http://china.alibaba.com/category/1901.html'),
    (1902, 19, '塑料包装', 'http://china.alibaba.com/category/1902.html'),
    (1903, 19, '包装材料', 'http://china.alibaba.com/category/1903.html'),
    (1904, 19, '印刷服务', 'http://china.alibaba.com/category/1904.html'),
    (1905, 19, '标签', 'http://china.alibaba.com/category/1905.html'),
    (1906, 19, '办公用纸', 'http://china.alibaba.com/category/1906.html');

INSERT INTO Industry VALUES (20, '办公文教');
INSERT INTO IndustryDetail VALUES
    (2001, 20, '文具', 'http://china.alibaba.com/category/2001.html'),
    (2002, 20, '办公设备', 'http://china.alibaba.com/category/2002.html'),
    (2003, 20, '教学用品', 'http://china.alibaba.com/category/2003.html'),
    (2004, 20, '体育用品', 'http://china.alibaba.com/category/2004.html'),
    (2005, 20, '乐器', 'http://china.alibaba.com/category/2005.html'),
    (2006, 20, '玩具', 'http://china.alibaba.com/category/2006.html'),
    (2007, 20, '工艺品', 'http://china.alibaba.com/category/2007.html'),
    (2008, 20, '礼品', 'http://china.alibaba.com/category/2008.html');

INSERT INTO Industry VALUES (21, '安全防护');
INSERT INTO IndustryDetail VALUES
    (2101, 21, '安防监控', 'http://china.alibaba.com/category/2101.html'),
    (2102, 21, '消防设备', 'http://china.alibaba.com/category/2102.html'),
    (2103, 21, '劳保用品', 'http://china.alibaba.com/category/2103.html'),
    (2104, 21, '防盗报警', 'http://china.alibaba.com/category/2104.html'),
    (2105, 21, '门禁系统', 'http://china.alibaba.com/category/2105.html');

INSERT INTO Industry VALUES (22, '商务服务');
INSERT INTO IndustryDetail VALUES
    (2201, 22, '物流服务', 'http://china.alibaba.com/category/2201.html'),
    (2202, 22, '广告服务', 'http://china.alibaba.com/category/2202.html'),
    (2203, 22, '展会服务', 'http://china.alibaba.com/category/2203.html'),
    (2204, 22, '咨询服务', 'http://china.alibaba.com/category/2204.html'),
    (2205, 22, '翻译服务', 'http://china.alibaba.com/category/2205.html'),
    (2206, 22, '检测认证', 'http://china.alibaba.com/category/2206.html');

COMMIT;
