<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="en">
<context>
    <name>AboutSettingsView</name>
    <message>
        <source>Tindralume</source>
        <translation>Tindralume</translation>
    </message>
    <message>
        <source>A powerful clipboard manager for macOS</source>
        <translation>一款强大的 Linux 桌面剪贴板管理器</translation>
    </message>
    <message>
        <source>Check for Updates…</source>
        <translation>检查更新…</translation>
    </message>
    <message>
        <source>Automatically check for updates</source>
        <translation>自动检查更新</translation>
    </message>
    <message>
        <source>about_footer</source>
        <translation>© 2026 Tindralume 作者。基于 MIT 许可证的自由软件。</translation>
    </message>
    <message>
        <source>Version %1 (%2)</source>
        <translation>版本 %1 (%2)</translation>
    </message>
</context>
<context>
    <name>AppDelegate</name>
    <message>
        <source>Could not save changes while quitting. Quit anyway?</source>
        <comment>Quit without saves error question message</comment>
        <translation>退出时无法保存更改。仍要退出吗？</translation>
    </message>
    <message>
        <source>Quitting now will lose any changes you have made since the last successful save</source>
        <comment>Quit without saves error question info</comment>
        <translation>现在退出将丢失自上次成功保存以来所做的全部更改</translation>
    </message>
    <message>
        <source>Quit anyway</source>
        <comment>Quit anyway button title</comment>
        <translation>仍要退出</translation>
    </message>
    <message>
        <source>Cancel</source>
        <comment>Cancel button title</comment>
        <translation>取消</translation>
    </message>
    <message>
        <source>The clipboard history cannot be saved: the disk is full.</source>
        <translation>无法保存剪贴板历史：磁盘已满。</translation>
    </message>
    <message>
        <source>New copies are kept and saved as soon as there is space again; quitting before then loses them.</source>
        <translation>新的复制内容会被保留，一有空间就会保存；在此之前退出会丢失它们。</translation>
    </message>
    <message>
        <source>Tindralume cannot open its clipboard history and will quit.</source>
        <translation>Tindralume 无法打开剪贴板历史，即将退出。</translation>
    </message>
    <message>
        <source>A copy of %1 was not saved in the clipboard history: the disk has no room for it.</source>
        <translation>一条 %1 的复制内容未存入剪贴板历史：磁盘空间不足。</translation>
    </message>
    <message>
        <source>Saving it needs about twice its size in free disk space. The copies made after it are saved.</source>
        <translation>保存它需要约两倍于其大小的可用磁盘空间。之后复制的内容已保存。</translation>
    </message>
</context>
<context>
    <name>AppcastFeed</name>
    <message>
        <source>The update feed is not valid XML (line %1: %2).</source>
        <translation>更新源不是有效的 XML（第 %1 行：%2）。</translation>
    </message>
    <message>
        <source>The update feed is not an RSS feed.</source>
        <translation>更新源不是 RSS 源。</translation>
    </message>
    <message>
        <source>No item of the update feed names a version and a web download page.</source>
        <translation>更新源中没有同时给出版本和网页下载地址的条目。</translation>
    </message>
    <message>
        <source>The update feed lists no versions.</source>
        <translation>更新源中没有列出任何版本。</translation>
    </message>
    <message>
        <source>The update feed names a version that is not a plain version number (digits, letters, dots, + and -, at most %1 characters).</source>
        <translation>更新源给出的版本不是普通的版本号（只能包含数字、字母、点、+ 和 -，最多 %1 个字符）。</translation>
    </message>
</context>
<context>
    <name>ClipboardItemCollectionViewCell</name>
    <message>
        <source>Add to Favorites</source>
        <translation>添加到收藏</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>删除</translation>
    </message>
    <message>
        <source>Remove from Favorites</source>
        <translation>从收藏中移除</translation>
    </message>
</context>
<context>
    <name>ClipboardItemContentView</name>
    <message>
        <source>Text</source>
        <translation>文本</translation>
    </message>
    <message>
        <source>Rich Text</source>
        <translation>富文本</translation>
    </message>
    <message>
        <source>Image</source>
        <translation>图片</translation>
    </message>
    <message>
        <source>File</source>
        <translation>文件</translation>
    </message>
    <message numerus="yes">
        <source>+ %n more</source>
        <translation>
            <numerusform>另有 %n 个文件</numerusform>
        </translation>
    </message>
    <message>
        <source>URL</source>
        <translation>链接</translation>
    </message>
    <message>
        <source>Favorite</source>
        <translation>收藏</translation>
    </message>
</context>
<context>
    <name>GeneralSettingsView</name>
    <message>
        <source>General</source>
        <translation>通用</translation>
    </message>
    <message>
        <source>Preferences</source>
        <translation>偏好设置</translation>
    </message>
    <message>
        <source>When enabled, selecting an item will automatically paste it to the active application.</source>
        <translation>启用后，选择一个项目会自动将其粘贴到当前应用程序中。</translation>
    </message>
    <message>
        <source>Launch at login</source>
        <translation>登录时启动</translation>
    </message>
    <message>
        <source>Paste directly</source>
        <translation>直接粘贴</translation>
    </message>
    <message>
        <source>Reverses mouse wheel and horizontal swipe direction in the panel.</source>
        <translation>反转面板中鼠标滚轮和水平轻扫的方向。</translation>
    </message>
    <message>
        <source>Reverse scroll direction</source>
        <translation>反转滚动方向</translation>
    </message>
    <message>
        <source>Keyboard Shortcuts</source>
        <translation>键盘快捷键</translation>
    </message>
    <message>
        <source>Hold the modifier key while selecting an item to paste as plain text.</source>
        <translation>选择项目时按住该修饰键，即以纯文本粘贴。</translation>
    </message>
    <message>
        <source>Paste as plain text</source>
        <translation>以纯文本粘贴</translation>
    </message>
    <message>
        <source>Data</source>
        <translation>数据</translation>
    </message>
    <message>
        <source>Keep history</source>
        <translation>保留历史</translation>
    </message>
    <message>
        <source>Clear History</source>
        <translation>清除历史</translation>
    </message>
    <message>
        <source>Are you sure you want to clear all clipboard history? This action cannot be undone.</source>
        <translation>确定要清除全部剪贴板历史吗？此操作无法撤销。</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>清除</translation>
    </message>
    <message>
        <source>Forever</source>
        <translation>永久</translation>
    </message>
    <message numerus="yes">
        <source>%n days</source>
        <translation>
            <numerusform>%n 天</numerusform>
        </translation>
    </message>
    <message>
        <source>History Cleared</source>
        <translation>历史已清除</translation>
    </message>
    <message>
        <source>All clipboard history has been cleared.</source>
        <translation>全部剪贴板历史已被清除。</translation>
    </message>
    <message>
        <source>History Not Cleared</source>
        <translation>历史未清除</translation>
    </message>
    <message>
        <source>The clipboard history could not be cleared.</source>
        <translation>无法清除剪贴板历史。</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>好</translation>
    </message>
</context>
<context>
    <name>ManagedObjectContext</name>
    <message>
        <source>Cannot read the store file %1: %2</source>
        <translation>无法读取存储文件 %1：%2</translation>
    </message>
    <message>
        <source>The file %1 is not a database</source>
        <translation>文件 %1 不是数据库</translation>
    </message>
    <message>
        <source>The store file %1 is read-only</source>
        <translation>存储文件 %1 是只读的</translation>
    </message>
    <message>
        <source>The store file %1 cannot be written</source>
        <translation>无法写入存储文件 %1</translation>
    </message>
    <message>
        <source>Cannot read the store %1: %2</source>
        <translation>无法读取存储 %1：%2</translation>
    </message>
    <message>
        <source>The store %1 has schema version %2; this version of Tindralume reads up to %3</source>
        <translation>存储 %1 的结构版本为 %2；此版本的 Tindralume 最高只能读取版本 %3</translation>
    </message>
    <message>
        <source>The database %1 is not a Tindralume store</source>
        <translation>数据库 %1 不是 Tindralume 的存储</translation>
    </message>
    <message>
        <source>The store %1 has tables this version of Tindralume cannot migrate</source>
        <translation>存储 %1 中有此版本的 Tindralume 无法迁移的表</translation>
    </message>
    <message>
        <source>The store %1 is damaged: %2</source>
        <translation>存储 %1 已损坏：%2</translation>
    </message>
    <message>
        <source>Cannot prepare the store %1: %2</source>
        <translation>无法准备存储 %1：%2</translation>
    </message>
    <message>
        <source>The store file %1 is a symbolic link, which is never written through</source>
        <translation>存储文件 %1 是符号链接，不会通过链接写入</translation>
    </message>
</context>
<context>
    <name>PanelContentView</name>
    <message>
        <source>Search</source>
        <translation>搜索</translation>
    </message>
    <message>
        <source>Search...</source>
        <translation>搜索...</translation>
    </message>
    <message>
        <source>Show Favorites</source>
        <translation>显示收藏</translation>
    </message>
    <message>
        <source>No favorite items yet</source>
        <translation>还没有收藏的项目</translation>
    </message>
    <message>
        <source>No clipboard history yet</source>
        <translation>还没有剪贴板历史</translation>
    </message>
    <message>
        <source>No results found</source>
        <translation>未找到结果</translation>
    </message>
    <message>
        <source>All</source>
        <translation>全部</translation>
    </message>
    <message>
        <source>Image</source>
        <translation>图片</translation>
    </message>
    <message>
        <source>Color</source>
        <translation>颜色</translation>
    </message>
    <message>
        <source>Text</source>
        <translation>文本</translation>
    </message>
    <message>
        <source>Rich Text</source>
        <translation>富文本</translation>
    </message>
    <message>
        <source>URL</source>
        <translation>链接</translation>
    </message>
    <message>
        <source>File</source>
        <translation>文件</translation>
    </message>
    <message>
        <source>accessibility_permission_title</source>
        <translation>无法直接粘贴</translation>
    </message>
    <message>
        <source>accessibility_permission_message</source>
        <translation>该条目已在剪贴板上：按 Ctrl+V 即可粘贴。要自动粘贴，Tindralume 需通过 X 服务器的 XTEST 扩展发送粘贴按键，而当前会话不允许它作用于其他窗口。请登录 X11 会话（Xorg，软件包 xserver-xorg-core）而不是 Wayland 会话，并保持 XTEST 启用：服务器命令行中不要有“-extension XTEST”选项，xorg.conf 的 Extensions 部分中也不要有 Option &quot;XTEST&quot; &quot;Disable&quot;。或者在设置中关闭直接粘贴。</translation>
    </message>
    <message>
        <source>open_settings</source>
        <translation>好</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>This entry could not be put on the clipboard.</source>
        <translation>无法将此条目放到剪贴板上。</translation>
    </message>
</context>
<context>
    <name>RelativeTime</name>
    <message numerus="yes">
        <source>%n sec. ago</source>
        <translation>
            <numerusform>%n 秒前</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>in %n sec.</source>
        <translation>
            <numerusform>%n 秒后</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n min. ago</source>
        <translation>
            <numerusform>%n 分钟前</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>in %n min.</source>
        <translation>
            <numerusform>%n 分钟后</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n hr. ago</source>
        <translation>
            <numerusform>%n 小时前</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>in %n hr.</source>
        <translation>
            <numerusform>%n 小时后</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n days ago</source>
        <translation>
            <numerusform>%n 天前</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>in %n days</source>
        <translation>
            <numerusform>%n 天后</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n wk. ago</source>
        <translation>
            <numerusform>%n 周前</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>in %n wk.</source>
        <translation>
            <numerusform>%n 周后</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n mo. ago</source>
        <translation>
            <numerusform>%n 个月前</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>in %n mo.</source>
        <translation>
            <numerusform>%n 个月后</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n yr. ago</source>
        <translation>
            <numerusform>%n 年前</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>in %n yr.</source>
        <translation>
            <numerusform>%n 年后</numerusform>
        </translation>
    </message>
    <message>
        <source>last year</source>
        <translation>去年</translation>
    </message>
    <message>
        <source>next year</source>
        <translation>明年</translation>
    </message>
    <message>
        <source>last month</source>
        <translation>上个月</translation>
    </message>
    <message>
        <source>next month</source>
        <translation>下个月</translation>
    </message>
    <message>
        <source>last week</source>
        <translation>上周</translation>
    </message>
    <message>
        <source>next week</source>
        <translation>下周</translation>
    </message>
    <message>
        <source>yesterday</source>
        <translation>昨天</translation>
    </message>
    <message>
        <source>tomorrow</source>
        <translation>明天</translation>
    </message>
    <message>
        <source>now</source>
        <translation>刚刚</translation>
    </message>
</context>
<context>
    <name>SettingsView</name>
    <message>
        <source>General</source>
        <translation>通用</translation>
    </message>
    <message>
        <source>About</source>
        <translation>关于</translation>
    </message>
</context>
<context>
    <name>ShortcutRecorderRow</name>
    <message>
        <source>Toggle panel</source>
        <translation>显示/隐藏面板</translation>
    </message>
    <message>
        <source>A shortcut needs Ctrl, Alt or Super. The shortcut stays %1.</source>
        <translation>快捷键需要包含 Ctrl、Alt 或 Super。快捷键仍为 %1。</translation>
    </message>
    <message>
        <source>%1 could not be registered (another application may use it). The shortcut stays %2.</source>
        <translation>无法注册 %1（可能已被其他应用程序占用）。快捷键仍为 %2。</translation>
    </message>
</context>
<context>
    <name>ShortcutText</name>
    <message>
        <source>Super</source>
        <translation>Super</translation>
    </message>
</context>
<context>
    <name>StatusBarManager</name>
    <message>
        <source>show_panel</source>
        <translation>显示面板</translation>
    </message>
    <message>
        <source>Tindralume</source>
        <translation>Tindralume</translation>
    </message>
    <message>
        <source>Settings...</source>
        <translation>设置...</translation>
    </message>
    <message>
        <source>Check for Updates…</source>
        <comment>Check for application updates</comment>
        <translation>检查更新…</translation>
    </message>
    <message>
        <source>Quit Tindralume</source>
        <translation>退出 Tindralume</translation>
    </message>
</context>
<context>
    <name>StoreFiles</name>
    <message>
        <source>Cannot create the directory %1: %2</source>
        <translation>无法创建目录 %1：%2</translation>
    </message>
    <message>
        <source>Cannot create the store file %1: %2</source>
        <translation>无法创建存储文件 %1：%2</translation>
    </message>
</context>
<context>
    <name>UpdateManager</name>
    <message>
        <source>A new version of Tindralume is available!</source>
        <translation>Tindralume 有新版本可用！</translation>
    </message>
    <message>
        <source>Tindralume %1 is now available. You have %2.</source>
        <translation>Tindralume %1 现已推出。您的版本为 %2。</translation>
    </message>
    <message>
        <source>Open Download Page</source>
        <translation>打开下载页面</translation>
    </message>
    <message>
        <source>Later</source>
        <translation>稍后</translation>
    </message>
    <message>
        <source>You&apos;re up to date!</source>
        <translation>已是最新版本！</translation>
    </message>
    <message>
        <source>Tindralume %1 is currently the newest version available.</source>
        <translation>Tindralume %1 是目前可用的最新版本。</translation>
    </message>
    <message>
        <source>Update Error!</source>
        <translation>更新出错！</translation>
    </message>
    <message>
        <source>No update feed is configured.</source>
        <translation>未配置更新源。</translation>
    </message>
</context>
<context>
    <name>Updater</name>
    <message>
        <source>The update feed is larger than %1 MB.</source>
        <translation>更新源大于 %1 MB。</translation>
    </message>
    <message>
        <source>The update feed could not be loaded: %1</source>
        <translation>无法加载更新源：%1</translation>
    </message>
    <message>
        <source>The update feed could not be loaded: HTTP status %1</source>
        <translation>无法加载更新源：HTTP 状态 %1</translation>
    </message>
    <message>
        <source>The update feed address &quot;%1&quot; is not an http or https URL.</source>
        <translation>更新源地址“%1”不是 http 或 https 网址。</translation>
    </message>
    <message>
        <source>The update feed did not finish loading within %1 seconds.</source>
        <translation>更新源未能在 %1 秒内加载完毕。</translation>
    </message>
    <message>
        <source>The update feed redirects to an address that is not http or https; it was not followed.</source>
        <translation>更新源重定向到一个不是 http 或 https 的地址；未跟随该重定向。</translation>
    </message>
    <message>
        <source>The update feed redirects from https to http; it was not followed.</source>
        <translation>更新源从 https 重定向到 http；未跟随该重定向。</translation>
    </message>
</context>
</TS>
