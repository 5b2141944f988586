#!/usr/bin/env python3
"""Writes the seed inputs of the property-list and keyed-archive fuzz targets: well-formed files
of every value type in both formats, and the damaged forms that the unit tests no longer list one
by one (truncations, bad trailers, references out of range, archives missing their parts).
Run it from this folder; the seeds are kept in the repository."""
import datetime
import os
import plistlib
import struct

UID = plistlib.UID


def write(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)


def binary_plist(objects, top=0):
    out = bytearray(b'bplist00')
    offsets = []
    for obj in objects:
        offsets.append(len(out))
        out += obj
    table = len(out)
    for offset in offsets:
        out += struct.pack('>I', offset)
    return bytes(out) + bytes(6) + bytes([4, 4]) + struct.pack('>QQQ', len(objects), top, table)


def property_lists():
    value = {'DisplayName': 'Layer \u00e9 <&>', 'ItemOrder': ['A', 'B', 'A'], 'Disabled': False,
             'Count': -7, 'Big': 2**63, 'Ratio': 0.5, 'Blob': b'\x00\x01\xff',
             'When': datetime.datetime(2020, 6, 15, 12, 34, 56),
             'Buttons': {'App0': {'Signature': 'a.b', 'Settings': {}}}, 'Empty': [], 'None': {}}
    xml = plistlib.dumps(value, fmt=plistlib.FMT_XML)
    binary = plistlib.dumps(value, fmt=plistlib.FMT_BINARY)
    seeds = {
        'layer.xml': xml,
        'layer.bin': binary,
        'long.bin': plistlib.dumps(list(range(300)), fmt=plistlib.FMT_BINARY),
        'uid.bin': plistlib.dumps({'root': UID(7)}, fmt=plistlib.FMT_BINARY),
        'truncated.bin': binary[:-5],
        'no-trailer.bin': binary[:20],
        'header-only.bin': b'bplist00',
        'top-out-of-range.bin': binary_plist([b'\x10\x05'], top=3),
        'reference-out-of-range.bin': binary_plist([b'\xa1' + struct.pack('>I', 9)]),
        'truncated.xml': xml[: len(xml) // 2],
        'trailing-garbage.xml': b'<plist><true/></plist><plist><false/></plist>',
        'mismatched.xml': b'<plist><array><string>x</array></string></plist>',
    }
    for name, data in seeds.items():
        write('property_list', name, data)


def archive(objects, root=UID(1), **changes):
    top = {'$archiver': 'NSKeyedArchiver', '$version': 100000, '$top': {'root': root}, '$objects': objects}
    for key, value in changes.items():
        key = '$' + key
        if value is None:
            top.pop(key)
        else:
            top[key] = value
    return top


def record(name, *ancestors):
    return {'$classname': name, '$classes': [name, *ancestors, 'NSObject']}


def keyed_archives():
    collections = archive([
        '$null',
        {'NS.keys': [UID(2), UID(3), UID(4), UID(5)], 'NS.objects': [UID(6), UID(8), UID(10), UID(12)],
         '$class': UID(14)},
        'name', 'blob', 'when', 'list',
        {'NS.string': 'Hello', '$class': UID(7)}, record('NSMutableString', 'NSString'),
        {'NS.data': b'\x01\x02', '$class': UID(9)}, record('NSData'),
        {'NS.time': 600000000.25, '$class': UID(11)}, record('NSDate'),
        {'NS.objects': [UID(6), UID(15), UID(0)], '$class': UID(13)}, record('NSArray'),
        record('NSDictionary'), -7])
    text = archive(['$null', 'plain'])
    seeds = {
        'collections.bin': collections,
        'text.bin': text,
        'no-archiver.bin': archive(['$null', 'plain'], archiver=None),
        'version-text.bin': archive(['$null', 'plain'], version='100000'),
        'objects-without-null.bin': archive(['plain', 'plain']),
        'root-not-reference.bin': archive(['$null', 'plain'], root=1),
        'class-without-name.bin': archive(['$null', {'$class': UID(2)}, {'$classes': ['NSArray']}]),
        'unknown-class.bin': archive(['$null', {'$class': UID(2)}, record('NSColor')]),
        'element-not-reference.bin': archive(['$null', {'NS.objects': ['inline'], '$class': UID(2)},
                                              record('NSArray')]),
        'number-as-key.bin': archive(['$null', {'NS.keys': [UID(3)], 'NS.objects': [UID(3)], '$class': UID(2)},
                                      record('NSDictionary'), 42]),
        'date-text-time.bin': archive(['$null', {'NS.time': 'now', '$class': UID(2)}, record('NSDate')]),
        'bare-array.bin': archive(['$null', [UID(0)]]),
    }
    for name, value in seeds.items():
        write('keyed_archive', name, plistlib.dumps(value, fmt=plistlib.FMT_BINARY))
    # XML archives carry references as {"CF$UID": n}.
    xml = archive(['$null', {'NS.objects': [{'CF$UID': 2}], '$class': {'CF$UID': 3}}, 'twice', record('NSArray')],
                  root={'CF$UID': 1})
    write('keyed_archive', 'references.xml', plistlib.dumps(xml, fmt=plistlib.FMT_XML))


if __name__ == '__main__':
    property_lists()
    keyed_archives()
