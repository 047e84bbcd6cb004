<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1">
<context>
    <name>UpdateProfile</name>
    <message><source>梯度1</source><translation>Gamme 1</translation></message>
    <message><source>梯度2</source><translation>Gamme 2</translation></message>
    <message><source>梯度3</source><translation>Gamme 3</translation></message>
    <message><source>梯度4</source><translation>Gamme 4</translation></message>
    <message><source>样本类型</source><translation>Type d&apos;échantillon</translation></message>
</context>
</TS>
