#include "ui/start_page.h"

#include "ui/about_dialog.h"

namespace qv::ui {

QString StartPageHtml() {
    return QStringLiteral(R"(<html><body style="margin:16px">
<h2 style="color:#1f4e8c">欢迎使用 Quorvane</h2>
<p>Quorvane 从企业对企业交易市场上收集公开的企业联系资料（公司名称、联系人、电话、传真、地址和经营信息），
保存在本地的数据文件中，供您浏览、查找和导出。</p>
<h3>如何开始</h3>
<ol>
<li>点击工具栏上的“添加任务”，输入关键词并选择省份城市、经营模式等条件，或者选择一个行业分类。</li>
<li>程序读取第一页搜索结果，显示找到的公司数量；为任务起一个名称，按“确定”保存任务。</li>
<li>在任务列表中选中任务，点击“开始抓取”。采集到的记录和任务消息会实时显示在下方的任务页面中。</li>
<li>采集过程中可以“暂停当前任务”、“暂停所有任务”或者“中止所有任务”；最多可以同时运行 10 个任务。</li>
<li>双击任务列表中的任务，或者选择“任务”菜单中的“查看任务数据”，即可查看以前采集的数据。</li>
</ol>
<p>在“选项”中可以设置采集数据时是否同时采集会员的详细信息（会影响采集速度）。</p>
<p>更多帮助请访问 <a href="%1">%1</a>。</p>
</body></html>)")
        .arg(QString::fromUtf8(kHomePage));
}

}  // namespace qv::ui
