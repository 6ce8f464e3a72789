#!/usr/bin/env python3
"""Writes everything.ov3: a template with every band and view kind, a JPEG
and a PNG picture, styles, variables, a data set, a dialog page with a
control and a class no one knows (twice).

Run from this folder: python3 make_everything.py
The pictures come from red-4x3.png and blue-4x3.jpg beside it.
"""
import struct


def picture_record(class_name, path):
    data = open(path, 'rb').read()
    payload = bytes([len(class_name)]) + class_name + data
    record = bytes([4]) + b'Data' + bytes([10]) + struct.pack('<I', len(payload)) + payload
    return record.hex().upper()


png = picture_record(b'TPngImage', 'red-4x3.png')
jpeg = picture_record(b'TJPEGImage', 'blue-4x3.jpg')

bands = ['TovxReportTitle', 'TovxPageHeader', 'TovxColumnHeader', 'TovxHeader',
         'TovxGroupHeader', 'TovxMasterData', 'TovxDetailData', 'TovxSubdetailData',
         'TovxDataBand4', 'TovxDataBand5', 'TovxDataBand6', 'TovxChild', 'TovxGroupFooter',
         'TovxFooter', 'TovxColumnFooter', 'TovxReportSummary', 'TovxPageFooter', 'TovxOverlay']

lines = [
    '<?xml version="1.0" encoding="utf-8"?>',
    '<TovxReport Version="6.3.3" DotMatrixReport="False" IniFile="\\Software\\Orvane Works" '
    'ScriptLanguage="PascalScript" ScriptText.Text="begin&#13;&#10;&#13;&#10;end.">',
    '  <Datasets>',
    '    <item DataSet="Orders" DataSetName="Orders"/>',
    '  </Datasets>',
    '  <Variables>',
    '    <item Name=" Rates"/>',
    '    <item Name="Vat" Value="0.2"/>',
    '  </Variables>',
    '  <Styles Name="House">',
    '    <item Name="Title" Font.Charset="1" Font.Color="255" Font.Height="-21" Font.Name="黑体" '
    'Font.Style="1" Frame.Typ="15" Fill.BackColor="65535"/>',
    '  </Styles>',
    '  <TovxDataPage Name="Data" Height="1000" Left="0" Top="0" Width="1000">',
    '    <TovxUserDataSet Name="Orders" Left="60" Top="20" UserName="Orders" Fields.Text="Id&#13;&#10;Total"/>',
    '  </TovxDataPage>',
    '  <TovxReportPage Name="Page1" PaperWidth="210" PaperHeight="297" PaperSize="9" LeftMargin="10" '
    'RightMargin="10" TopMargin="10" BottomMargin="10" BackPicture.PropData="' + jpeg + '">',
]
top = 0
for i, band in enumerate(bands):
    attributes = f'Name="{band[4:]}1" Left="0" Top="{top}" Width="718.1107" Height="30"'
    if band == 'TovxMasterData':
        attributes += ' DataSetName="Orders" Child="Child1" RowCount="0"'
    if band == 'TovxGroupHeader':
        attributes += ' Condition="Orders.&#34;Id&#34;"'
    top += 40
    if band != 'TovxMasterData':
        lines.append(f'    <{band} {attributes}/>')
        continue
    lines += [
        f'    <{band} {attributes}>',
        '      <TovxMemoView Name="Memo1" Left="0" Top="0" Width="200" Height="20" '
        'DataField="Total" DataSetName="Orders" DisplayFormat.FormatStr="%2.2m" '
        'DisplayFormat.Kind="fkNumeric" Frame.Typ="15" Frame.Width="2" Highlight.Font.Charset="1" '
        'Highlight.Font.Color="255" Highlight.Font.Height="-13" Highlight.Font.Name="Arial" '
        'Highlight.Font.Style="0" Highlight.Condition="Value &#60; 0" Style="Title" '
        'Text="[Orders.&#34;Total&#34;]"/>',
        '      <TovxMemoView Name="Memo2" Left="200" Top="0" Width="200" Height="20" '
        'Fill.BackColor="12632256" Text="两行&#13;&#10;文字">',
        '        <Formats>',
        '          <item FormatStr="#,##0.00" Kind="fkNumeric"/>',
        '          <item FormatStr="yyyy-mm-dd" Kind="fkDateTime"/>',
        '        </Formats>',
        '      </TovxMemoView>',
        '      <TovxSysMemoView Name="SysMemo1" Left="400" Top="0" Width="100" Height="20" Text="[Page#]"/>',
        '      <TovxPictureView Name="Picture1" Left="500" Top="0" Width="40" Height="30" '
        'Picture.PropData="' + png + '"/>',
        '      <TovxShapeView Name="Shape1" Left="540" Top="0" Width="30" Height="30" Shape="skEllipse"/>',
        '      <TovxLineView Name="Line1" Left="570" Top="0" Width="50" Height="0" ArrowEnd="True"/>',
        '      <TovxSubreport Name="Subreport1" Left="620" Top="0" Width="90" Height="30" Page="Page2"/>',
        '      <TovxNoSuchView Name="Unknown1" Left="0" Top="0"><TovxMemoView Name="Inside1"/></TovxNoSuchView>',
        '      <TovxNoSuchView Name="Unknown2"/>',
        f'    </{band}>',
    ]
lines += [
    '  </TovxReportPage>',
    '  <TovxReportPage Name="Page2"/>',
    '  <TovxDialogPage Name="DialogPage1" Caption="Choose" Height="200" Width="300" Position="poScreenCenter">',
    '    <TovxButtonControl Name="Button1" Left="10" Top="10" Width="75" Height="25" Caption="OK" ModalResult="1"/>',
    '  </TovxDialogPage>',
    '</TovxReport>',
]
with open('everything.ov3', 'wb') as out:
    out.write(('\r\n'.join(lines) + '\r\n').encode('utf-8'))
