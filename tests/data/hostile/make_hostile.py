#!/usr/bin/env python3
# Writes the hostile workbooks kept here; each is a few kilobytes that once crashed, hung or
# exhausted the import. Run from this folder: python3 make_hostile.py
import struct
import zipfile

HEADER = ('<row r="1"><c r="A1" t="inlineStr"><is><t>发票类型</t></is></c>'
          '<c r="B1" t="inlineStr"><is><t>金额</t></is></c><c r="C1" t="inlineStr"><is><t>税率</t></is></c></row>')


def sheet(rows):
    return ('<?xml version="1.0" encoding="UTF-8"?><worksheet xmlns="http://schemas.openxmlformats.org/'
            'spreadsheetml/2006/main"><sheetData>' + HEADER + rows + '</sheetData></worksheet>')


def book(name, sheet_xml, shared=None, target='worksheets/sheet1.xml', level=9):
    with zipfile.ZipFile(name, 'w', zipfile.ZIP_DEFLATED, compresslevel=level) as z:
        z.writestr('xl/workbook.xml', '<workbook xmlns:r="r"><sheets><sheet name="a" sheetId="1" r:id="rId1"/>'
                   '</sheets></workbook>')
        z.writestr('xl/_rels/workbook.xml.rels', '<Relationships><Relationship Id="rId1" Target="%s"/>'
                   '</Relationships>' % target)
        z.writestr('xl/worksheets/sheet1.xml', sheet_xml)
        if shared is not None:
            z.writestr('xl/sharedStrings.xml', shared)


deep = 100000
book('deep_inline.xlsx', sheet('<row r="2"><c r="A2" t="inlineStr"><is>' + '<r>' * deep + '<t>x</t>' +
                               '</r>' * deep + '</is></c></row>'))
book('deep_shared.xlsx', sheet('<row r="2"><c r="A2" t="s"><v>0</v></c></row>'),
     shared='<sst><si>' + '<r>' * deep + '<t>x</t>' + '</r>' * deep + '</si></sst>')
book('column_zzzzzz.xlsx', sheet('<row r="2"><c r="ZZZZZZ2"><v>1</v></c></row>'))
book('column_zzzzzzzz.xlsx', sheet('<row r="2"><c r="ZZZZZZZZ2"><v>1</v></c></row>'))
book('column_aaaaa.xlsx', sheet(''.join('<row r="%d"><c r="AAAAA%d"><v>1</v></c></row>' % (r, r)
                                        for r in range(2, 22))))
book('relationship_loop.xlsx', sheet(''), target='..//../y')
book('relationship_outside.xlsx', sheet(''), target='../../../etc/passwd')
# 16 MiB of shared strings in a few tens of kilobytes.
book('shared_strings_bomb.xlsx', sheet('<row r="2"><c r="A2" t="s"><v>0</v></c></row>'),
     shared='<sst>' + ('<si><t>' + 'a' * 1000 + '</t></si>') * (16 << 10) + '</sst>')
book('entity_expansion.xlsx', '<?xml version="1.0"?><!DOCTYPE w [<!ENTITY a "aaaaaaaaaa">'
     '<!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;"><!ENTITY c "&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;">]>'
     '<worksheet><sheetData><row><c t="inlineStr"><is><t>&c;&c;&c;</t></is></c></row></sheetData></worksheet>')
book('row_numbers_backwards.xlsx', sheet('<row r="3"><c r="A3"><v>1</v></c></row><row r="2"><c r="A2"><v>1</v>'
                                         '</c></row>'))
book('shared_index_missing.xlsx', sheet('<row r="2"><c r="A2" t="s"><v>99999999999</v></c></row>'), shared='<sst/>')

# Numbers that atof read as something else; each must be named by its own text.
book('numbers.xlsx', sheet(''.join(
    '<row r="%d"><c r="A%d" t="inlineStr"><is><t>普通发票</t></is></c><c r="B%d"><v>%s</v></c>'
    '<c r="C%d"><v>%s</v></c></row>' % (r, r, r, amount, r, rate)
    for r, (amount, rate) in enumerate([('12abc', '17'), ('0x10', '17'), ('100', 'NaN'), ('1e15', '17'),
                                        ('100', '1e400')], start=2))))

# An entry that claims 4 GiB uncompressed: the size fields of both headers are patched.
book('claims_4gib.xlsx', sheet('<row r="2"><c r="A2"><v>1</v></c></row>'), level=1)
data = bytearray(open('claims_4gib.xlsx', 'rb').read())
name = b'xl/worksheets/sheet1.xml'
for signature, offset in ((b'PK\x03\x04', 22), (b'PK\x01\x02', 24)):
    at = 0
    while (at := data.find(signature, at)) >= 0:
        name_length = struct.unpack_from('<H', data, at + (26 if signature == b'PK\x03\x04' else 28))[0]
        start = at + (30 if signature == b'PK\x03\x04' else 46)
        if bytes(data[start:start + name_length]) == name:
            struct.pack_into('<I', data, at + offset, 0xFFFFFFFE)
        at += 4
open('claims_4gib.xlsx', 'wb').write(bytes(data))
