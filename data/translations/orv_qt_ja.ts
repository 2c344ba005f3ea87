<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<!-- Japanese texts of Qt's own dialogs that Qt's Japanese catalogue lacks
     (the type column of the file dialogs). Loaded after Qt's catalogue;
     lrelease makes orv_qt_ja.qm in the program folder from it. -->
<TS version="2.1" language="ja_JP">
<context>
    <name>QAbstractFileIconProvider</name>
    <message>
        <source>Drive</source>
        <translation>ドライブ</translation>
    </message>
    <message>
        <source>Folder</source>
        <comment>All other platforms</comment>
        <translation>フォルダ</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>不明</translation>
    </message>
</context>
</TS>
