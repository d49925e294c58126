<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="en">
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
    <message>
        <source>Favorite</source>
        <translation>收藏</translation>
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
</context>
</TS>
