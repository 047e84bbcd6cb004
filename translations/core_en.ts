<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>Profile</name>
    <message>
        <source>M</source>
        <translation>M</translation>
    </message>
    <message>
        <source>!</source>
        <translation>!</translation>
    </message>
    <message>
        <source>&lt;</source>
        <translation>&lt;</translation>
    </message>
    <message>
        <source>&gt;</source>
        <translation>&gt;</translation>
    </message>
    <message>
        <source>↓</source>
        <translation>↓</translation>
    </message>
    <message>
        <source>↑</source>
        <translation>↑</translation>
    </message>
    <message>
        <source>不凝</source>
        <translation>Not clotted</translation>
    </message>
    <message>
        <source>---.-</source>
        <translation>---.-</translation>
    </message>
    <message>
        <source>无法加载配置文件 %1
%2</source>
        <translation>Cannot load the settings file %1
%2</translation>
    </message>
    <message>
        <source>错误的配置文件 %1</source>
        <translation>Wrong settings file %1: it holds no tables</translation>
    </message>
    <message>
        <source>无法打开数据库文件 %1</source>
        <translation>Cannot open the database file %1</translation>
    </message>
    <message>
        <source>错误的数据库文件 %1</source>
        <translation>Wrong database file %1: it holds no tables</translation>
    </message>
    <message>
        <source>the file is in use by another program; close that program and save again</source>
        <translation>the file is in use by another program; close that program and save again</translation>
    </message>
    <message>
        <source>the file or its folder is read-only; give the workstation&apos;s user write permission</source>
        <translation>the file or its folder is read-only; give the workstation's user write permission</translation>
    </message>
    <message>
        <source>the file has no profile table; run dbupdate or restore the file from a backup</source>
        <translation>the file has no profile table; run dbupdate or restore the file from a backup</translation>
    </message>
    <message>
        <source>the disk is full; free some space and save again</source>
        <translation>the disk is full; free some space and save again</translation>
    </message>
    <message>
        <source>check the file and save again</source>
        <translation>check the file and save again</translation>
    </message>
    <message>
        <source>%1: the setting &quot;%2&quot; was not saved (%3): %4. Until then it is kept in memory only.</source>
        <translation>%1: the setting "%2" was not saved (%3): %4. Until then it is kept in memory only.</translation>
    </message>
    <message>
        <source>not open</source>
        <translation>not open</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>无效的值</source>
        <translation>Invalid value</translation>
    </message>
    <message>
        <source>未知错误</source>
        <translation>Unknown error</translation>
    </message>
    <message>
        <source>结果为空</source>
        <translation>No result</translation>
    </message>
    <message>
        <source>无标准曲线</source>
        <translation>No standard curve</translation>
    </message>
    <message>
        <source>标准曲线无效</source>
        <translation>Invalid standard curve</translation>
    </message>
    <message>
        <source>标准曲线设置错误</source>
        <translation>The standard curve is set up wrongly</translation>
    </message>
    <message>
        <source>无效的计算方法</source>
        <translation>Invalid calculation method</translation>
    </message>
    <message>
        <source>计算所需的参数不存在</source>
        <translation>A parameter the calculation needs is missing</translation>
    </message>
</context>
<context>
    <name>Serial</name>
    <message>
        <source>%1 is not a serial port (not a terminal device)</source>
        <translation>%1 is not a serial port (not a terminal device)</translation>
    </message>
    <message>
        <source>The serial port is not open</source>
        <translation>The serial port is not open</translation>
    </message>
    <message>
        <source>Unsupported line settings: %1 baud, %2 data bits, parity %3, stop bits %4</source>
        <translation>Unsupported line settings: %1 baud, %2 data bits, parity %3, stop bits %4</translation>
    </message>
    <message>
        <source>Unsupported baud rate %1: %2</source>
        <translation>Unsupported baud rate %1: %2</translation>
    </message>
    <message>
        <source>Unknown flow control %1</source>
        <translation>Unknown flow control %1</translation>
    </message>
    <message>
        <source>The port has no modem control lines: %1</source>
        <translation>The port has no modem control lines: %1</translation>
    </message>
    <message>
        <source>The port cannot send a break: %1</source>
        <translation>The port cannot send a break: %1</translation>
    </message>
    <message>
        <source>The read timed out</source>
        <translation>The read timed out</translation>
    </message>
    <message>
        <source>The serial device is no longer available</source>
        <translation>The serial device is no longer available</translation>
    </message>
    <message>
        <source>The write timed out</source>
        <translation>The write timed out</translation>
    </message>
</context>
</TS>
