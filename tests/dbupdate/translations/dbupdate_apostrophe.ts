<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1">
<context>
    <name>UpdateProfile</name>
    <message><source>梯度1</source><translation>Series &apos;A&apos;</translation></message>
    <message><source>样本类型</source><translation>Patient&apos;s sample</translation></message>
</context>
</TS>
