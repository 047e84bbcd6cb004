<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>UpdateProfile</name>
    <message>
        <source>梯度1</source>
        <translation>Series 1</translation>
    </message>
    <message>
        <source>梯度2</source>
        <translation>Series 2</translation>
    </message>
    <message>
        <source>梯度3</source>
        <translation>Series 3</translation>
    </message>
    <message>
        <source>梯度4</source>
        <translation>Series 4</translation>
    </message>
    <message>
        <source>样本类型</source>
        <translation>Sample type</translation>
    </message>
</context>
</TS>
