#include "host/KivoEnglish.h"

#include <windows.h>

#include <iterator>

namespace KivoHost {

namespace {

struct Translation {
    const wchar_t* chinese;
    const wchar_t* english;
};

// The module's scan item names, threat categories, actions and advice texts.
constexpr Translation kTranslations[] = {
    {L"镜像挟持", L"Image hijack"},
    {L"组策略启动项", L"Group-policy startup items"},
    {L"浏览器默认搜索挟持", L"Browser default-search hijack"},
    {L"浏览器工具条", L"Browser toolbars"},
    {L"浏览器工具栏按钮", L"Browser toolbar buttons"},
    {L"浏览器侧边栏", L"Browser side bars"},
    {L"浏览器默认下载工具", L"Browser default download tool"},
    {L"浏览器插件", L"Browser plug-ins"},
    {L"浏览器右键菜单", L"Browser context menu"},
    {L"浏览器动态组件", L"Browser dynamic components"},
    {L"进程预加载项", L"Process preload items"},
    {L"旧版操作系统启动项", L"Legacy system startup items"},
    {L"系统右键菜单", L"System context menu"},
    {L"运行框程序关联", L"Run-box program associations"},
    {L"文件关联", L"File associations"},
    {L"开机启动项", L"Boot startup items"},
    {L"系统敏感启动项", L"Sensitive system startup items"},
    {L"系统内存", L"System memory"},
    {L"驱动", L"Drivers"},
    {L"服务", L"Services"},
    {L"快捷方式", L"Shortcuts"},
    {L"常用软件", L"Common software"},
    {L"常用位置", L"Common locations"},
    {L"系统关键位置", L"Key system locations"},
    {L"计划任务", L"Scheduled tasks"},
    {L"全部磁盘文件", L"All disk files"},
    {L"自定义扫描项", L"Custom scan items"},
    {L"文件系统监控", L"File-system monitoring"},
    {L"下载监控", L"Download monitoring"},
    {L"聊天监控", L"Chat monitoring"},
    {L"移动设备监控", L"Removable-device monitoring"},
    {L"RPC网络远程调用协议", L"RPC remote procedure calls"},
    {L"LSA本地安全策略", L"LSA local security policy"},
    {L"Winsock网络连接服务(LSP)", L"Winsock service providers (LSP)"},
    {L"DOS虚拟机程序", L"DOS virtual machine programs"},
    {L"系统动态组件", L"System dynamic components"},
    {L"浏览器通信协议", L"Browser protocols"},
    {L"默认加载库", L"Default-loaded libraries"},
    {L"禁用的启动项", L"Disabled startup items"},
    {L"命令行工具", L"Command-line tool"},
    {L"终端服务", L"Terminal services"},
    {L"系统登录界面", L"System logon screen"},
    {L"系统登录管理", L"System logon management"},
    {L"登录对话框设置", L"Logon dialog settings"},
    {L"默认任务管理器", L"Default task manager"},
    {L"默认屏幕保护程序", L"Default screen saver"},

    {L"木马", L"Trojan"},
    {L"病毒", L"Virus"},
    {L"风险", L"Risk"},
    {L"插件", L"Plug-in"},
    {L"捆绑", L"Bundled software"},
    {L"外挂", L"Game cheat"},
    {L"隔离文件", L"quarantine the file"},
    {L"清除病毒", L"remove the virus"},

    {L"木马文件通常利用系统漏洞，达到破坏系统，盗取账号，篡改文件的目的，请您立即处理",
     L"Trojans usually exploit system flaws to damage the system, steal accounts or alter files; "
     L"deal with it at once."},
    {L"病毒文件具有极大的破坏性，可能会造成系统崩溃，死机，数据丢失，请您立即处理",
     L"Viruses are highly destructive and may crash or freeze the system or lose data; deal with it at once."},
    {L"风险文件可能会造成数据丢失，账号被盗，给系统带来风险，请您谨慎运行",
     L"Risky files may lose data, get accounts stolen and put the system at risk; run it with care."},
    {L"插件文件可能会恶意获取您的隐私信息，造成数据丢失，请您谨慎运行",
     L"Plug-ins may collect your private information and lose data; run it with care."},
    {L"捆绑文件可能会向您推广恶意软件，给系统带来风险，请您谨慎运行",
     L"Bundled software may push malicious programs on you and put the system at risk; run it with care."},
    {L"外挂文件可能会造成数据丢失，账号被盗，请您谨慎运行",
     L"Game cheats may lose data and get accounts stolen; run it with care."},
};

std::wstring Variable(const wchar_t* name)
{
    wchar_t value[64];
    const DWORD length = GetEnvironmentVariableW(name, value, static_cast<DWORD>(std::size(value)));
    return length > 0 && length < std::size(value) ? std::wstring(value, length) : std::wstring();
}

} // namespace

bool KivoWantsChinese()
{
    for (const wchar_t* name : {L"LC_ALL", L"LC_MESSAGES", L"LANG"}) {
        const std::wstring value = Variable(name);
        if (!value.empty())
            return value.compare(0, 2, L"zh") == 0;
    }
    return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_CHINESE;
}

std::wstring KivoEnglish(const std::wstring& text)
{
    for (const Translation& entry : kTranslations)
        if (text == entry.chinese)
            return entry.english;
    return text;
}

} // namespace KivoHost
